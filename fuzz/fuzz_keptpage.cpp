// Arbitrary bytes as a kept-page file: either nothing or a page within the limits, which
// encodes back to a file that decodes to the same page.
#include "check/KeptPages.h"
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView file(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<KeptPage> page = KeptPages::Decode(file);
    if (!page)
        return 0;
    if (page->body.size() > KeptPages::MaxBodyBytes)
        abort();
    const std::optional<KeptPage> again = KeptPages::Decode(KeptPages::Encode(*page));
    if (!again || again->body != page->body || again->contentType != page->contentType ||
        again->url != page->url || again->digest != page->digest ||
        again->rulesKey != page->rulesKey)
        abort();
    return 0;
}
