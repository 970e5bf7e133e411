#include "support/TestProgramFolder.h"

#include "app/CodePage.h"
#include "app/Module1.h"
#include "store/ItemFolder.h"
#include "store/NativeFile.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace Qt::StringLiterals;

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

void AddFailingWriteRows()
{
    QTest::addColumn<bool>("folderGone");
    QTest::newRow("item folder gone") << true;
    QTest::newRow("read-only item file") << false;
}

QStringList ListedNames(const QString& folderPath)
{
    QStringList names;
    for (const QByteArray& name : ListItemFiles(folderPath))
        names.append(NativeFile::DecodeName(name));
    return names;
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

TestProgramFolder::TestProgramFolder(int exitAfterSave) : TestProgramFolder()
{
    WriteAll(ini(), "[Option]\r\nExitAfterSave=" + QByteArray::number(exitAfterSave) + "\r\n");
}

void TestProgramFolder::writeItem(const ItemRecord& item) const
{
    WriteAll(itemPath(item.Title),
             CodePage::ToAnsi(u"[InternetShortcut]\r\nURL="_s + item.URL +
                              u"\r\n\r\n[SiteVigil]\r\nErr="_s + QString::number(item.Err) +
                              u"\r\nInfo="_s + item.Info + u"\r\nCheck2Byte="_s +
                              QString::number(item.Check2Byte) + u"\r\n"_s));
}

QStringList TestProgramFolder::itemLines(const QString& title) const
{
    QStringList lines = CodePage::FromAnsi(ReadAll(itemPath(title))).split(u"\r\n"_s);
    if (lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

QString TestProgramFolder::storedInfo(const QString& title) const
{
    const QStringList lines = itemLines(title);
    if (lines.size() != 7 || lines.at(3) != u"[SiteVigil]"_s || !lines.at(5).startsWith(u"Info="_s))
        return QString();
    return lines.at(5).mid(5);
}

bool TestProgramFolder::failWrites(const QString& title, bool folderGone) const
{
    if (folderGone)
        return QDir(itemFolder()).removeRecursively();
    return QFile::setPermissions(itemPath(title),
                                 QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
}
