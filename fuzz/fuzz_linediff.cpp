// Two texts (split at the first NUL byte) compared line by line: the diff stays within its
// time budget, is empty exactly for equal texts, and its lines come from the texts.
#include "check/LineDiff.h"

#include <QElapsedTimer>
#include <QSet>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView input(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype cut = input.indexOf('\0');
    const QStringList before = QString::fromUtf8(cut < 0 ? input : input.first(cut)).split(u'\n');
    const QStringList after =
        QString::fromUtf8(cut < 0 ? QByteArrayView() : input.sliced(cut + 1)).split(u'\n');
    QElapsedTimer timer;
    timer.start();
    const LineDiff diff = LineDiff::Compare(before, after, 50);
    if (timer.elapsed() > 2000)
        abort();
    if (diff.gaveUp)
        return 0;
    if (diff.lines.isEmpty() != (before == after))
        abort();
    const QSet<QString> old(before.cbegin(), before.cend());
    const QSet<QString> now(after.cbegin(), after.cend());
    for (const DiffLine& line : diff.lines) {
        const QString text = line.text.mid(1);
        if ((line.kind == DiffLine::Removed && !old.contains(text)) ||
            (line.kind == DiffLine::Added && !now.contains(text)))
            abort();
    }
    return 0;
}
