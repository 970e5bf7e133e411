#include "app/Files.h"
#include "store/ItemFolder.h"

#include "support/TestProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class tst_ItemFolder final : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void listing_data();
    void listing();
    void plainPrefix();
    void missingFolderListsNothing();
    void findItemFile_data();
    void findItemFile();

    void fileExists_data();
    void fileExists();
    void deleteFile();
    void deleteRefused_data();
    void deleteRefused();
    void copyFile_data();
    void copyFile();
    void copyRefused_data();
    void copyRefused();

private:
    QString folder() const { return dir_->path() + u'/'; }
    void put(const QString& name, const QByteArray& bytes = "x"_ba) const
    {
        WriteAll(folder() + name, bytes);
    }
    QByteArray get(const QString& name) const { return ReadAll(folder() + name); }
    std::unique_ptr<QTemporaryDir> dir_;
};

void tst_ItemFolder::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
}

void tst_ItemFolder::cleanup()
{
    dir_.reset();
}

void tst_ItemFolder::listing_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("empty folder") << QStringList() << QStringList();
    QTest::newRow("ordered by name without regard to case")
        << QStringList{u"b.url"_s, u"A.url"_s, u"C.URL"_s, u"a2.Url"_s}
        << QStringList{u"A.url"_s, u"a2.Url"_s, u"b.url"_s, u"C.URL"_s};
    QTest::newRow("upper-cased order puts _ after letters")
        << QStringList{u"_x.url"_s, u"z.url"_s, u"a.url"_s, u"[k].url"_s}
        << QStringList{u"a.url"_s, u"z.url"_s, u"[k].url"_s, u"_x.url"_s};
    QTest::newRow("other extensions ignored")
        << QStringList{u"a.url"_s, u"b.txt"_s, u"c.url.bak"_s, u"durl"_s, u"e.urls"_s}
        << QStringList{u"a.url"_s};
    QTest::newRow("hidden files ignored")
        << QStringList{u".h.url"_s, u".url"_s, u"v.url"_s} << QStringList{u"v.url"_s};
    QTest::newRow("japanese names") << QStringList{u"ニュース.url"_s, u"News.url"_s}
                                    << QStringList{u"News.url"_s, u"ニュース.url"_s};
    QTest::newRow("case variants both listed, fixed order")
        << QStringList{u"foo.url"_s, u"Foo.url"_s} << QStringList{u"Foo.url"_s, u"foo.url"_s};
}

void tst_ItemFolder::listing()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, expected);
    for (const QString& f : files)
        put(f);
    QVERIFY(QDir(folder()).mkdir(u"folder.url"_s));
    QVERIFY(QFile::link(folder() + u"nowhere"_s, folder() + u"broken.url"_s));
    QCOMPARE(ListedNames(folder()), expected);
}

void tst_ItemFolder::plainPrefix()
{
    QVERIFY(QDir(folder()).mkdir(u"URLs"_s));
    put(u"URLs/inside.url"_s);
    put(u"URLsNews.url"_s);
    put(u"urlsLower.url"_s);
    put(u"Other.url"_s);
    put(u"target.txt"_s);
    QVERIFY(QFile::link(folder() + u"target.txt"_s, folder() + u"URLs/link.url"_s));
    QCOMPARE(ListedNames(folder() + u"URLs"_s),
             (QStringList{u"urlsLower.url"_s, u"URLsNews.url"_s}));
    QCOMPARE(ListedNames(folder() + u"URLs/"_s), (QStringList{u"inside.url"_s, u"link.url"_s}));
}

void tst_ItemFolder::missingFolderListsNothing()
{
    QCOMPARE(ListedNames(folder() + u"missing/"_s), QStringList());
    put(u"file"_s);
    QCOMPARE(ListedNames(folder() + u"file/"_s), QStringList());
}

void tst_ItemFolder::findItemFile_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("wanted");
    QTest::addColumn<QString>("found");
    QTest::newRow("exact") << QStringList{u"Foo.url"_s} << u"Foo.url"_s << u"Foo.url"_s;
    QTest::newRow("other case") << QStringList{u"Foo.URL"_s} << u"foo.url"_s << u"Foo.URL"_s;
    QTest::newRow("exact preferred")
        << QStringList{u"FOO.url"_s, u"foo.url"_s} << u"foo.url"_s << u"foo.url"_s;
    QTest::newRow("none") << QStringList{u"Bar.url"_s} << u"Foo.url"_s << QString();
    QTest::newRow("folder is no file") << QStringList() << u"dir.url"_s << QString();
}

void tst_ItemFolder::findItemFile()
{
    QFETCH(QStringList, files);
    QFETCH(QString, wanted);
    QFETCH(QString, found);
    for (const QString& f : files)
        put(f);
    QVERIFY(QDir(folder()).mkdir(u"DIR.url"_s));
    QCOMPARE(FindItemFile(folder(), wanted), found.toUtf8());
}

void tst_ItemFolder::fileExists_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("exists");
    QTest::newRow("file") << u"a.url"_s << true;
    QTest::newRow("link to file") << u"link.url"_s << true;
    QTest::newRow("folder") << u"dir"_s << false;
    QTest::newRow("missing") << u"b.url"_s << false;
    QTest::newRow("other case") << u"A.URL"_s << false;
}

void tst_ItemFolder::fileExists()
{
    QFETCH(QString, name);
    QFETCH(bool, exists);
    put(u"a.url"_s);
    QVERIFY(QFile::link(folder() + u"a.url"_s, folder() + u"link.url"_s));
    QVERIFY(QDir(folder()).mkdir(u"dir"_s));
    QCOMPARE(Files::IsFile(Files::Path(folder() + name)), exists);
    QVERIFY(!Files::IsFile(QByteArray()));
}

void tst_ItemFolder::deleteFile()
{
    put(u"a.url"_s);
    put(u"b.url"_s);
    const FileResult r = Files::Delete(Files::Path(folder() + u"a.url"_s));
    QVERIFY2(r.ok, qPrintable(r.message));
    QCOMPARE(QDir(folder()).entryList(QDir::Files), QStringList{u"b.url"_s});
}

void tst_ItemFolder::deleteRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("missing") << u"missing.url"_s;
    QTest::newRow("read-only") << u"ro.url"_s;
    QTest::newRow("folder") << u"dir.url"_s;
}

void tst_ItemFolder::deleteRefused()
{
    QFETCH(QString, name);
    put(u"ro.url"_s);
    QVERIFY(QFile::setPermissions(folder() + u"ro.url"_s, QFile::ReadOwner | QFile::ReadGroup));
    QVERIFY(QDir(folder()).mkdir(u"dir.url"_s));
    const FileResult r = Files::Delete(Files::Path(folder() + name));
    QVERIFY(!r.ok);
    QVERIFY(r.message.contains(name));
    QVERIFY(QFileInfo::exists(folder() + u"ro.url"_s));
    QVERIFY(QFileInfo(folder() + u"dir.url"_s).isDir());
}

void tst_ItemFolder::copyFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("destinationExists");
    QTest::newRow("new destination") << "[InternetShortcut]\r\nURL=x\r\n\x82\xa0\0\xff"_ba << false;
    QTest::newRow("replaces the destination") << "[InternetShortcut]\nURL=y"_ba << true;
    QTest::newRow("empty file") << QByteArray() << true;
    QTest::newRow("larger than one block") << QByteArray(200000, '\x8a') << false;
}

void tst_ItemFolder::copyFile()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, destinationExists);
    QVERIFY(QDir(folder()).mkdir(u"items"_s));
    put(u"src.url"_s, content);
    if (destinationExists)
        put(u"items/src.url"_s, "old content that is longer than the new one"_ba);
    FileResult r = Files::Copy(Files::Path(folder() + u"src.url"_s),
                               Files::Path(folder() + u"items/src.url"_s));
    QVERIFY2(r.ok, qPrintable(r.message));
    QCOMPARE(get(u"items/src.url"_s), content);
    QCOMPARE(get(u"src.url"_s), content);

    // A link is copied as the file it points to, not as a link.
    QVERIFY(QFile::link(folder() + u"src.url"_s, folder() + u"link.url"_s));
    r = Files::Copy(Files::Path(folder() + u"link.url"_s),
                    Files::Path(folder() + u"items/link.url"_s));
    QVERIFY2(r.ok, qPrintable(r.message));
    QVERIFY(!QFileInfo(folder() + u"items/link.url"_s).isSymLink());
    QCOMPARE(get(u"items/link.url"_s), content);
    QCOMPARE(QDir(folder() + u"items"_s).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

void tst_ItemFolder::copyRefused_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("destination");
    QTest::newRow("onto itself") << u"items/a.url"_s << u"items/a.url"_s;
    QTest::newRow("onto itself through a link") << u"alias.url"_s << u"items/a.url"_s;
    QTest::newRow("onto itself, other spelling of the path")
        << u"items/../items/a.url"_s << u"items/a.url"_s;
    QTest::newRow("source is a folder") << u"folder.url"_s << u"items/folder.url"_s;
    QTest::newRow("source missing") << u"missing.url"_s << u"items/missing.url"_s;
    QTest::newRow("destination is a folder") << u"b.url"_s << u"items/sub.url"_s;
    QTest::newRow("destination folder missing") << u"b.url"_s << u"nowhere/b.url"_s;
    QTest::newRow("destination read-only") << u"b.url"_s << u"items/ro.url"_s;
}

void tst_ItemFolder::copyRefused()
{
    QFETCH(QString, source);
    QFETCH(QString, destination);
    QVERIFY(QDir(folder()).mkpath(u"items/sub.url"_s));
    QVERIFY(QDir(folder()).mkdir(u"folder.url"_s));
    put(u"items/a.url"_s, "item a"_ba);
    put(u"items/ro.url"_s, "read-only"_ba);
    QVERIFY(QFile::setPermissions(folder() + u"items/ro.url"_s, QFile::ReadOwner));
    put(u"b.url"_s, "b"_ba);
    QVERIFY(QFile::link(folder() + u"items/a.url"_s, folder() + u"alias.url"_s));

    const FileResult r =
        Files::Copy(Files::Path(folder() + source), Files::Path(folder() + destination));
    QVERIFY(!r.ok);
    QVERIFY(!r.message.isEmpty());
    QCOMPARE(get(u"items/a.url"_s), "item a"_ba);
    QCOMPARE(get(u"items/ro.url"_s), "read-only"_ba);
    QVERIFY(QFileInfo(folder() + u"items/sub.url"_s).isDir());
    QVERIFY(!QFileInfo::exists(folder() + u"nowhere"_s));
    QCOMPARE(QDir(folder() + u"items"_s).entryList(QDir::Files | QDir::Hidden),
             (QStringList{u"a.url"_s, u"ro.url"_s}));
}

QTEST_GUILESS_MAIN(tst_ItemFolder)
#include "tst_ItemFolder.moc"
