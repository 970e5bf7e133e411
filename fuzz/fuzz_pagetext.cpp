// Arbitrary bytes as a page: its lines are found without crashing and without taking long
// (the change view shows it on the user-interface thread). The time guard is far above the
// goal of 50 ms so that a sanitizer build on a busy machine does not trip it.
#include "check/PageText.h"

#include <QElapsedTimer>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView body(reinterpret_cast<const char*>(data), qsizetype(size));
    QElapsedTimer timer;
    timer.start();
    qsizetype count = 0;
    for (const char* type : {"text/html", "text/plain", ""})
        count += PageText::Lines(body, type).size();
    if (count > 3 * qsizetype(size) + 3)
        abort(); // more lines than the bytes could make
    if (timer.elapsed() > 2000) {
        std::fprintf(stderr, "page text took %lld ms for %zu bytes\n", timer.elapsed(), size);
        abort();
    }
    return 0;
}
