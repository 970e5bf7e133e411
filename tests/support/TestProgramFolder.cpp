#include "support/TestProgramFolder.h"

#include "app/CodePage.h"
#include "app/Files.h"
#include "app/Module1.h"
#include "store/ItemFolder.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <algorithm>
#include <filesystem>
#include <fstream>

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

QByteArray ReadNative(const QByteArray& path)
{
    std::ifstream in(path.toStdString(), std::ios::binary);
    return QByteArray::fromStdString(std::string(std::istreambuf_iterator<char>(in), {}));
}

void WriteNative(const QByteArray& path, const QByteArray& bytes)
{
    std::ofstream out(path.toStdString(), std::ios::binary | std::ios::trunc);
    out.write(bytes.constData(), bytes.size());
    QVERIFY2(out.good(), path.constData());
}

QList<QByteArray> NativeNames(const QString& folder)
{
    QList<QByteArray> names;
    std::error_code ec;
    for (const auto& entry :
         std::filesystem::directory_iterator(QFile::encodeName(folder).toStdString(), ec))
        names.append(QByteArray::fromStdString(entry.path().filename().native()));
    std::sort(names.begin(), names.end());
    return names;
}

QStringList ListedNames(const QString& folderPath)
{
    QStringList names;
    for (const QByteArray& name : ListItemFiles(folderPath))
        names.append(Files::DecodeName(name));
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
    // QTemporaryDir cannot reach names that are no UTF-8.
    std::error_code ec;
    std::filesystem::remove_all(QFile::encodeName(dir.path()).toStdString(), ec);
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
