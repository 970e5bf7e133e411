// Arbitrary bytes as an item file: reading never fails, and write-then-read settles after one
// round (what a rewrite produces reads back to the same record and rewrites to the same bytes).
// The round trip runs in memory; small inputs also take the road through a file, which must
// give the same bytes.
#include "SkipSync.h"
#include "app/Files.h"
#include "store/ItemFile.h"
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>

static bool sameRecord(const ItemRecord& a, const ItemRecord& b)
{
    return a.Title == b.Title && a.URL == b.URL && a.Err == b.Err && a.Info == b.Info &&
           a.Check2Byte == b.Check2Byte;
}

static ItemRecord parsed(const QByteArray& bytes)
{
    ItemRecord item;
    item.Title = QStringLiteral("item");
    ParseItemFile(bytes, item);
    return item;
}

// Inputs up to this size also go through ReadItemFile and WriteItemFile.
constexpr size_t MaxFileRoadBytes = 256;

static void fileRoad(const QByteArray& input, const ItemRecord& first, bool utf16,
                     const QByteArray& written)
{
    static QTemporaryDir dir;
    const QString folder = dir.path() + u'/';
    const QString path = folder + QStringLiteral("item.url");
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(input) != input.size())
            abort();
    }
    if (!sameRecord(ReadItemFile(folder, QByteArrayLiteral("item.url")), first))
        abort();
    // A UTF-16 file is never rewritten: the write fails and leaves it as it was.
    if (WriteItemFile(folder, first).ok == utf16)
        abort();
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || f.readAll() != (utf16 ? input : written))
        abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const ItemRecord first = parsed(input);
    if (first.Check2Byte != 0 && first.Check2Byte != 1)
        abort();
    const bool utf16 = Files::IsUtf16(input);
    const QByteArray bytes = utf16 ? QByteArray() : ComposeItemFile(input, first);
    if (size <= MaxFileRoadBytes)
        fileRoad(input, first, utf16, bytes);
    if (utf16)
        return 0;
    const ItemRecord second = parsed(bytes);
    const QByteArray again = ComposeItemFile(bytes, second);
    if (!sameRecord(parsed(again), second) || again != bytes)
        abort();
    // The private section is always last, with exactly three value lines (a lone LF kept
    // inside a line is no line end). Only the last four lines are kept.
    QByteArrayView last[4];
    qsizetype n = 0;
    Files::LineReader lines(bytes, true);
    for (QByteArrayView line; lines.Next(line); ++n)
        last[n % 4] = line;
    const auto fromEnd = [&](qsizetype k) { return last[(n - k) % 4]; };
    if (n < 4 || !bytes.endsWith("\r\n") || fromEnd(4) != "[SiteVigil]" ||
        !fromEnd(3).startsWith("Err=") || !fromEnd(2).startsWith("Info=") ||
        !fromEnd(1).startsWith("Check2Byte="))
        abort();
    return 0;
}
