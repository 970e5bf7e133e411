// Arbitrary bytes as an item file: reading never fails, and write-then-read settles after one
// round (what a rewrite produces reads back to the same record and rewrites to the same bytes).
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
    const ItemRecord first = ReadItemFile(folder, QStringLiteral("item.url"));
    if (first.Title != QStringLiteral("item") || (first.Check2Byte != 0 && first.Check2Byte != 1))
        abort();

    if (!WriteItemFile(folder, first).ok)
        abort();
    const ItemRecord second = ReadItemFile(folder, QStringLiteral("item.url"));
    const QByteArray bytes = readAll(path);
    if (!WriteItemFile(folder, second).ok)
        abort();
    const ItemRecord third = ReadItemFile(folder, QStringLiteral("item.url"));
    if (!sameRecord(second, third) || readAll(path) != bytes)
        abort();
    // The private section is always last, with exactly three value lines.
    const QList<QByteArray> lines = bytes.split('\n');
    if (lines.size() < 5 || lines.last() != "" || lines.at(lines.size() - 5) != "[SiteVigil]\r" ||
        !lines.at(lines.size() - 4).startsWith("Err=") ||
        !lines.at(lines.size() - 3).startsWith("Info=") ||
        !lines.at(lines.size() - 2).startsWith("Check2Byte="))
        abort();
    QDir(dir.path()).removeRecursively();
    QDir().mkpath(dir.path());
    return 0;
}
