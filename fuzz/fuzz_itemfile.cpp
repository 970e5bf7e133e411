// Arbitrary bytes as an item file: reading never fails, and write-then-read settles after one
// round (what a rewrite produces reads back to the same record and rewrites to the same bytes).
#include "app/Files.h"
#include "store/ItemFile.h"
#include <QDir>
#include <QFile>
#include <QList>
#include <QTemporaryDir>
#include <cstdlib>

static bool sameRecord(const ItemRecord& a, const ItemRecord& b)
{
    return a.Title == b.Title && a.URL == b.URL && a.Err == b.Err && a.Info == b.Info &&
           a.Check2Byte == b.Check2Byte;
}

static QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // In memory where possible: every write is synced to disk.
    static QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists()
                                 ? QStringLiteral("/dev/shm/sitevigil-fuzz-XXXXXX")
                                 : QDir::tempPath() + QStringLiteral("/sitevigil-fuzz-XXXXXX"));
    const QString folder = dir.path() + u'/';
    const QString path = folder + QStringLiteral("item.url");
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            abort();
        f.write(reinterpret_cast<const char*>(data), qsizetype(size));
    }
    const ItemRecord first = ReadItemFile(folder, QByteArrayLiteral("item.url"));
    if (first.Title != QStringLiteral("item") || (first.Check2Byte != 0 && first.Check2Byte != 1))
        abort();

    // A UTF-16 file is never rewritten: the write fails and leaves it as it was.
    const bool utf16 =
        size >= 2 && ((data[0] == 0xFF && data[1] == 0xFE) || (data[0] == 0xFE && data[1] == 0xFF));
    if (WriteItemFile(folder, first).ok == utf16)
        abort();
    if (utf16) {
        if (readAll(path) != QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)))
            abort();
        return 0;
    }
    const ItemRecord second = ReadItemFile(folder, QByteArrayLiteral("item.url"));
    const QByteArray bytes = readAll(path);
    if (!WriteItemFile(folder, second).ok)
        abort();
    const ItemRecord third = ReadItemFile(folder, QByteArrayLiteral("item.url"));
    if (!sameRecord(second, third) || readAll(path) != bytes)
        abort();
    // The private section is always last, with exactly three value lines (a lone LF kept
    // inside a line is no line end).
    const QList<QByteArray> lines = Files::SplitLinesAtCR(bytes);
    const qsizetype n = lines.size();
    if (n < 4 || !bytes.endsWith("\r\n") || lines.at(n - 4) != "[SiteVigil]" ||
        !lines.at(n - 3).startsWith("Err=") || !lines.at(n - 2).startsWith("Info=") ||
        !lines.at(n - 1).startsWith("Check2Byte="))
        abort();
    QDir(dir.path()).removeRecursively();
    QDir().mkpath(dir.path());
    return 0;
}
