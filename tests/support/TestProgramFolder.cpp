#include "support/TestProgramFolder.h"

#include "app/Module1.h"

#include <QDir>
#include <QFile>
#include <QTest>

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    QCOMPARE(f.write(bytes), bytes.size());
}

QStringList ItemFields(const ItemRecord& item)
{
    return {item.Title, item.URL, QString::number(item.Err), item.Info,
            QString::number(item.Check2Byte)};
}

TestProgramFolder::TestProgramFolder()
{
    valid = dir.isValid() && QDir().mkpath(itemFolder());
    SetAppFolderForTesting(dir.path());
}

TestProgramFolder::~TestProgramFolder()
{
    SetAppFolderForTesting({});
}
