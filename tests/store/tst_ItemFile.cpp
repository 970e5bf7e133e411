#include "store/ItemFile.h"
#include "store/ItemFolder.h"

#include "support/TestProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(ItemRecord)

namespace
{

ItemRecord record(const QString& title, const QString& url, qint16 err, const QString& info,
                  qint16 check2Byte)
{
    ItemRecord r;
    r.Title = title;
    r.URL = url;
    r.Err = err;
    r.Info = info;
    r.Check2Byte = check2Byte;
    return r;
}

const QByteArray NewFileA =
    "[InternetShortcut]\r\nURL=u\r\n\r\n[SiteVigil]\r\nErr=3\r\nInfo=\r\nCheck2Byte=1\r\n"_ba;

} // namespace

class tst_ItemFile final : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void write_data();
    void write();
    void read_data();
    void read();
    void readMissingFileGivesTitleOnly();
    void roundTrip_data();
    void roundTrip();
    void titleProblem_data();
    void titleProblem();
    void refusedTitleWritesNothing_data();
    void refusedTitleWritesNothing();
    void failedWriteLeavesOldFile();
    void missingFolderIsReported();
    void caseVariantIsReadAndRewritten();
    void untouchableFiles_data();
    void untouchableFiles();
    void linesPassedOver_data();
    void linesPassedOver();

private:
    QString folder() const { return dir_->path() + u'/'; }
    void put(const QString& name, const QByteArray& bytes) const
    {
        WriteAll(folder() + name, bytes);
    }
    QByteArray get(const QString& name) const { return ReadAll(folder() + name); }
    std::unique_ptr<QTemporaryDir> dir_;
};

void tst_ItemFile::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
}

void tst_ItemFile::cleanup()
{
    dir_.reset();
}

void tst_ItemFile::write_data()
{
    QTest::addColumn<QString>("existingName"); // empty: no file before
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<ItemRecord>("item");
    QTest::addColumn<QByteArray>("after");

    const ItemRecord a = record(u"a"_s, u"u"_s, 3, QString(), 1);
    const QByteArray newPrivate = "[SiteVigil]\r\nErr=5\r\nInfo=i\r\nCheck2Byte=0\r\n"_ba;
    const ItemRecord item = record(u"a"_s, u"new"_s, 5, u"i"_s, 0);

    QTest::newRow("new file") << QString() << QByteArray() << a << NewFileA;
    QTest::newRow("rewrite is idempotent") << u"a.url"_s << NewFileA << a << NewFileA;
    QTest::newRow("foreign lines and sections kept, private section moved last")
        << u"a.url"_s
        << "[InternetShortcut]\r\nURL=old\r\nIconIndex=0\r\n[SiteVigil]\r\nErr=1\r\nInfo=x\r\n"
           "Check2Byte=0\r\n[Other]\r\nk=v\r\n"_ba
        << item
        << "[InternetShortcut]\r\nURL=new\r\nIconIndex=0\r\n[Other]\r\nk=v\r\n"_ba + newPrivate;
    QTest::newRow("shortcut without private section, no final line end")
        << u"a.url"_s << "[InternetShortcut]\r\nURL=old\r\nIconIndex=0"_ba << item
        << "[InternetShortcut]\r\nURL=new\r\nIconIndex=0\r\n"_ba + newPrivate;
    QTest::newRow("shortcut without private section, final line end")
        << u"a.url"_s << "[InternetShortcut]\r\nURL=old\r\n"_ba << item
        << "[InternetShortcut]\r\nURL=new\r\n"_ba + newPrivate;
    QTest::newRow("no URL line, none added")
        << u"a.url"_s << "[InternetShortcut]\r\nIconIndex=0\r\n"_ba << item
        << "[InternetShortcut]\r\nIconIndex=0\r\n"_ba + newPrivate;
    QTest::newRow("lower-case url= replaced by URL=")
        << u"a.url"_s << "[InternetShortcut]\r\nurl=old\r\n"_ba << item
        << "[InternetShortcut]\r\nURL=new\r\n"_ba + newPrivate;
    QTest::newRow("every URL line of the section replaced, others kept")
        << u"a.url"_s
        << "URL=before\r\n[InternetShortcut]\r\nURL=1\r\nURL=2\r\n[Other]\r\nURL=3\r\n"
           "[internetshortcut]\r\nURL=4\r\n"_ba
        << item
        << "URL=before\r\n[InternetShortcut]\r\nURL=new\r\nURL=new\r\n[Other]\r\nURL=3\r\n"
           "[internetshortcut]\r\nURL=4\r\n"_ba +
               newPrivate;
    QTest::newRow("only a private section gives an empty first line")
        << u"a.url"_s << "[SiteVigil]\r\nErr=1\r\nInfo=x\r\nCheck2Byte=1\r\n"_ba << item
        << "\r\n"_ba + newPrivate;
    QTest::newRow("empty file gives an empty first line")
        << u"a.url"_s << ""_ba << item << "\r\n"_ba + newPrivate;
    QTest::newRow("LF line ends read, CRLF written")
        << u"a.url"_s
        << "[InternetShortcut]\nURL=old\nIconIndex=0\n[SiteVigil]\nErr=1\nInfo=x\nCheck2Byte=0\n"_ba
        << item << "[InternetShortcut]\r\nURL=new\r\nIconIndex=0\r\n"_ba + newPrivate;
    QTest::newRow("CR line ends read, CRLF written")
        << u"a.url"_s << "[InternetShortcut]\rURL=old\r\r"_ba << item
        << "[InternetShortcut]\r\nURL=new\r\n\r\n"_ba + newPrivate;
    QTest::newRow("private section cut short at the end")
        << u"a.url"_s << "[InternetShortcut]\r\nURL=old\r\n[SiteVigil]\r\nErr=1"_ba << item
        << "[InternetShortcut]\r\nURL=new\r\n"_ba + newPrivate;
    QTest::newRow("URL line left behind a dropped private section is replaced")
        << u"a.url"_s
        << "[InternetShortcut]\r\nURL=old\r\n[SiteVigil]\r\nErr=1\r\nInfo=x\r\nCheck2Byte=0\r\n"
           "URL=stray\r\n[Other]\r\nURL=kept\r\n"_ba
        << item
        << "[InternetShortcut]\r\nURL=new\r\nURL=new\r\n[Other]\r\nURL=kept\r\n"_ba + newPrivate;
    QTest::newRow("undecodable foreign bytes kept byte for byte")
        << u"a.url"_s << "[InternetShortcut]\r\nURL=old\r\n[X]\r\nk=\xff\x85\x40\x82\xa0\r\n"_ba
        << item
        << "[InternetShortcut]\r\nURL=new\r\n[X]\r\nk=\xff\x85\x40\x82\xa0\r\n"_ba + newPrivate;
    QTest::newRow("line breaks inside values written as blanks, a lone LF in Info kept")
        << QString() << QByteArray()
        << record(u"a"_s, u"http://x/\r\ny\nz"_s, -7, u"エラー:line1\nline2\rline3\r\n"_s, 2)
        << "[InternetShortcut]\r\nURL=http://x/ y z\r\n\r\n[SiteVigil]\r\nErr=-7\r\n"
           "Info=\x83\x47\x83\x89\x81\x5b:line1\nline2 line3 \r\nCheck2Byte=2\r\n"_ba;
    QTest::newRow("lone LF stays inside its line")
        << u"a.url"_s
        << "[InternetShortcut]\r\nURL=old\r\nIconFile=x\ny\r\n[SiteVigil]\r\nErr=1\r\n"
           "Info=a\nb\r\nCheck2Byte=0\r\n"_ba
        << item << "[InternetShortcut]\r\nURL=new\r\nIconFile=x\ny\r\n"_ba + newPrivate;
    QTest::newRow("CP932 text, URL characters CP932 lacks percent-encoded")
        << QString() << QByteArray() << record(u"a"_s, u"http://例え.jp/€"_s, 0, u"12€"_s, 1)
        << "[InternetShortcut]\r\nURL=http://\x97\xe1\x82\xa6.jp/%E2%82%AC\r\n\r\n"
           "[SiteVigil]\r\nErr=0\r\nInfo=12?\r\nCheck2Byte=1\r\n"_ba;
    QTest::newRow("file spelt Foo.URL is rewritten, not doubled")
        << u"a.URL"_s << "[InternetShortcut]\r\nURL=old\r\n"_ba << item
        << "[InternetShortcut]\r\nURL=new\r\n"_ba + newPrivate;
}

void tst_ItemFile::write()
{
    QFETCH(QString, existingName);
    QFETCH(QByteArray, before);
    QFETCH(ItemRecord, item);
    QFETCH(QByteArray, after);
    if (!existingName.isEmpty())
        put(existingName, before);
    const QString name = existingName.isEmpty() ? item.Title + u".url"_s : existingName;

    const FileResult result = WriteItemFile(folder(), item);
    QVERIFY2(result.ok, qPrintable(result.message));
    QCOMPARE(get(name), after);
    QCOMPARE(QDir(folder()).entryList(QDir::Files | QDir::Hidden), QStringList{name});

    // A second write of the same record changes nothing.
    QVERIFY(WriteItemFile(folder(), item).ok);
    QCOMPARE(get(name), after);
}

void tst_ItemFile::read_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<ItemRecord>("expected");
    const auto file = [](const QByteArray& err, const QByteArray& check) {
        return "[InternetShortcut]\r\nURL=u\r\n[SiteVigil]\r\n" + err + "\r\nInfo=i\r\n" + check +
               "\r\n";
    };
    const auto rec = [](qint16 err, qint16 check) {
        return record(u"t"_s, u"u"_s, err, u"i"_s, check);
    };
    QTest::newRow("plain") << file("Err=3", "Check2Byte=1") << rec(3, 1);
    QTest::newRow("Check2Byte=2 reads 0") << file("Err=3", "Check2Byte=2") << rec(3, 0);
    QTest::newRow("Check2Byte=-1 reads 0") << file("Err=3", "Check2Byte=-1") << rec(3, 0);
    QTest::newRow("Check2Byte=0.6 rounds to 1") << file("Err=0", "Check2Byte=0.6") << rec(0, 1);
    QTest::newRow("Check2Byte=1.5 rounds to 2, reads 0")
        << file("Err=0", "Check2Byte=1.5") << rec(0, 0);
    QTest::newRow("Err=abc") << file("Err=abc", "Check2Byte=0") << rec(0, 0);
    QTest::newRow("Err= 7") << file("Err= 7", "Check2Byte=0") << rec(7, 0);
    QTest::newRow("Err=12.5") << file("Err=12.5", "Check2Byte=0") << rec(12, 0);
    QTest::newRow("Err=13.5") << file("Err=13.5", "Check2Byte=0") << rec(14, 0);
    QTest::newRow("Err=40000 leaves 0") << file("Err=40000", "Check2Byte=0") << rec(0, 0);
    QTest::newRow("Err=-32768") << file("Err=-32768", "Check2Byte=0") << rec(-32768, 0);
    QTest::newRow("Err=1E400 leaves 0") << file("Err=1E400", "Check2Byte=0") << rec(0, 0);
    QTest::newRow("Err=&H10") << file("Err=&H10", "Check2Byte=0") << rec(16, 0);
    QTest::newRow("keys not compared") << file("Tol=7", "Flag=0000001") << rec(7, 1);
    QTest::newRow("short value lines leave fields")
        << "[InternetShortcut]\r\nURL=u\r\n[SiteVigil]\r\nErr\r\nInf\r\nCheck2Byte\r\n"_ba
        << record(u"t"_s, u"u"_s, 0, QString(), 0);
    QTest::newRow("Info kept unchanged, blanks and CP932")
        << "[SiteVigil]\r\nErr=1\r\nInfo= \x8d\x58\x90\x56 \r\nCheck2Byte=1\r\n"_ba
        << record(u"t"_s, QString(), 1, u" 更新 "_s, 1);
    QTest::newRow("lower-case url= and last URL wins")
        << "[InternetShortcut]\r\nurl=first\r\nUrL=second\r\n"_ba
        << record(u"t"_s, u"second"_s, 0, QString(), 0);
    QTest::newRow("URL lines outside the section ignored")
        << "URL=a\r\n[Other]\r\nURL=b\r\n[internetshortcut]\r\nURL=c\r\n"_ba
        << record(u"t"_s, QString(), 0, QString(), 0);
    QTest::newRow("URL value kept whole") << "[InternetShortcut]\r\nURL=http://x/?a=b c \r\n"_ba
                                          << record(u"t"_s, u"http://x/?a=b c "_s, 0, QString(), 0);
    QTest::newRow("lone LF inside Info")
        << "[InternetShortcut]\r\nURL=u\r\n[SiteVigil]\r\nErr=3\r\nInfo=i\nj\r\nCheck2Byte=1"_ba
        << record(u"t"_s, u"u"_s, 3, u"i\nj"_s, 1);
    QTest::newRow("LF line ends")
        << "[InternetShortcut]\nURL=u\n[SiteVigil]\nErr=3\nInfo=i\nCheck2Byte=1\n"_ba << rec(3, 1);
    QTest::newRow("CR line ends, no final terminator")
        << "[InternetShortcut]\rURL=u\r[SiteVigil]\rErr=3\rInfo=i\rCheck2Byte=1"_ba << rec(3, 1);
    QTest::newRow("private section cut after Err")
        << "[InternetShortcut]\r\nURL=u\r\n[SiteVigil]\r\nErr=9\r\n"_ba
        << record(u"t"_s, u"u"_s, 9, QString(), 0);
    QTest::newRow("private section cut after its header")
        << "[InternetShortcut]\r\nURL=u\r\n[SiteVigil]"_ba
        << record(u"t"_s, u"u"_s, 0, QString(), 0);
    QTest::newRow("last private section wins")
        << "[SiteVigil]\r\nErr=1\r\nInfo=a\r\nCheck2Byte=1\r\n[SiteVigil]\r\nErr=2\r\nInfo=b\r\n"
           "Check2Byte=0\r\n"_ba
        << record(u"t"_s, QString(), 2, u"b"_s, 0);
    QTest::newRow("value lines are taken even when they look like headers")
        << "[SiteVigil]\r\n[InternetShortcut]\r\nInfo=x\r\nURL=zzzzzzz1\r\nURL=v\r\n"_ba
        << record(u"t"_s, QString(), 0, u"x"_s, 1);
    QTest::newRow("private header with blanks is no private section")
        << "[SiteVigil] \r\nErr=4\r\nInfo=x\r\nCheck2Byte=1\r\n"_ba
        << record(u"t"_s, QString(), 0, QString(), 0);
    QTest::newRow("empty file") << ""_ba << record(u"t"_s, QString(), 0, QString(), 0);
}

void tst_ItemFile::read()
{
    QFETCH(QByteArray, bytes);
    QFETCH(ItemRecord, expected);
    put(u"t.url"_s, bytes);
    QCOMPARE(ItemFields(ReadItemFile(folder(), Files::Path(u"t.url"_s))), ItemFields(expected));
}

void tst_ItemFile::readMissingFileGivesTitleOnly()
{
    QCOMPARE(ItemFields(ReadItemFile(folder(), Files::Path(u"ニュース.url"_s))),
             ItemFields(record(u"ニュース"_s, {}, 0, {}, 0)));
    QCOMPARE(ReadItemFile(folder() + u"missing/"_s, Files::Path(u"x.url"_s)).Title, u"x"_s);
}

void tst_ItemFile::roundTrip_data()
{
    QTest::addColumn<ItemRecord>("item");
    QTest::newRow("ascii") << record(u"News"_s, u"http://example.com/"_s, 12, u"Sat, 01 Jan"_s, 0);
    QTest::newRow("japanese") << record(u"日本語のタイトル ｶﾅ"_s, u"http://例.jp/パス"_s, -3,
                                        u"エラー:接続できません"_s, 1);
    QTest::newRow("extremes") << record(u"x"_s, QString(), -32768, u"="_s, 1);
    QTest::newRow("info with brackets") << record(u"y"_s, u"u"_s, 32767, u"[SiteVigil]"_s, 0);
}

void tst_ItemFile::roundTrip()
{
    QFETCH(ItemRecord, item);
    QVERIFY(WriteItemFile(folder(), item).ok);
    QCOMPARE(ItemFields(ReadItemFile(folder(), Files::Path(item.Title + u".url"_s))),
             ItemFields(item));
}

void tst_ItemFile::titleProblem_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("refused");
    QTest::newRow("plain") << u"News"_s << false;
    QTest::newRow("japanese") << u"新着情報"_s << false;
    QTest::newRow("blanks and dots inside") << u"a b.c"_s << false;
    QTest::newRow("CONSOLE is fine") << u"CONSOLE"_s << false;
    QTest::newRow("COM0 is fine") << u"COM0"_s << false;
    QTest::newRow("empty") << QString() << true;
    QTest::newRow(".") << u"."_s << true;
    QTest::newRow("..") << u".."_s << true;
    QTest::newRow("hidden on this platform") << u".profile"_s << true;
    QTest::newRow("slash") << u"a/b"_s << true;
    QTest::newRow("parent path") << u"../evil"_s << true;
    QTest::newRow("backslash") << u"a\\b"_s << true;
    QTest::newRow("colon") << u"a:b"_s << true;
    QTest::newRow("asterisk") << u"a*"_s << true;
    QTest::newRow("question mark") << u"a?"_s << true;
    QTest::newRow("double quote") << u"\"a\""_s << true;
    QTest::newRow("angle brackets") << u"<a>"_s << true;
    QTest::newRow("bar") << u"a|b"_s << true;
    QTest::newRow("tab") << u"a\tb"_s << true;
    QTest::newRow("line feed") << u"a\nb"_s << true;
    QTest::newRow("NUL") << QString(u"a"_s + QChar(0)) << true;
    QTest::newRow("CON") << u"CON"_s << true;
    QTest::newRow("nul lower case") << u"nul"_s << true;
    QTest::newRow("COM1") << u"COM1"_s << true;
    QTest::newRow("lpt9") << u"lpt9"_s << true;
    QTest::newRow("AUX with extension") << u"aux.backup"_s << true;
    QTest::newRow("251 bytes fits") << QString(251, u'x') << false;
    QTest::newRow("252 bytes too long") << QString(252, u'x') << true;
    QTest::newRow("84 kanji too long in UTF-8") << QString(84, u'漢') << true;
    QTest::newRow("83 kanji fit") << QString(83, u'漢') << false;
}

void tst_ItemFile::titleProblem()
{
    QFETCH(QString, title);
    QFETCH(bool, refused);
    QCOMPARE(!TitleProblem(title).isEmpty(), refused);
}

void tst_ItemFile::refusedTitleWritesNothing_data()
{
    QTest::addColumn<QString>("title");
    QTest::newRow("parent path") << u"../escape"_s;
    QTest::newRow("sub folder") << u"sub/x"_s;
    QTest::newRow("dot dot") << u".."_s;
    QTest::newRow("empty") << QString();
    QTest::newRow("device") << u"PRN"_s;
}

void tst_ItemFile::refusedTitleWritesNothing()
{
    QFETCH(QString, title);
    QVERIFY(QDir(folder()).mkdir(u"items"_s));
    QVERIFY(QDir(folder()).mkdir(u"items/sub"_s));
    const FileResult r = WriteItemFile(folder() + u"items/"_s, record(title, u"u"_s, 0, {}, 0));
    QVERIFY(!r.ok);
    QVERIFY(!r.message.isEmpty());
    QCOMPARE(QDir(folder()).entryList(QDir::Files | QDir::Hidden), QStringList());
    QCOMPARE(QDir(folder() + u"items"_s).entryList(QDir::Files | QDir::Hidden), QStringList());
    QCOMPARE(QDir(folder() + u"items/sub"_s).entryList(QDir::Files | QDir::Hidden), QStringList());
}

void tst_ItemFile::failedWriteLeavesOldFile()
{
    put(u"a.url"_s, NewFileA);
    QVERIFY(QFile::setPermissions(folder() + u"a.url"_s, QFile::ReadOwner | QFile::ReadGroup));
    const FileResult r = WriteItemFile(folder(), record(u"a"_s, u"other"_s, 1, u"x"_s, 0));
    QVERIFY(!r.ok);
    QVERIFY(r.message.contains(u"a.url"_s));
    QCOMPARE(get(u"a.url"_s), NewFileA);
    QCOMPARE(QDir(folder()).entryList(QDir::Files | QDir::Hidden), QStringList{u"a.url"_s});
}

void tst_ItemFile::missingFolderIsReported()
{
    const FileResult r = WriteItemFile(folder() + u"missing/"_s, record(u"a"_s, u"u"_s, 0, {}, 0));
    QVERIFY(!r.ok);
    QVERIFY(!r.message.isEmpty());
    QVERIFY(!QFileInfo::exists(folder() + u"missing"_s));
}

void tst_ItemFile::caseVariantIsReadAndRewritten()
{
    put(u"Foo.URL"_s,
        "[InternetShortcut]\r\nURL=old\r\n[SiteVigil]\r\nErr=4\r\nInfo=x\r\nCheck2Byte=1\r\n"_ba);
    // The Setting list gives the title Foo; the item is read from "Foo.url".
    ItemRecord r = ReadItemFile(folder(), FindItemFile(folder(), u"Foo.url"_s));
    QCOMPARE(r.Title, u"Foo"_s);
    QCOMPARE(r.URL, u"old"_s);
    QCOMPARE(r.Err, qint16(4));
    r.URL = u"new"_s;
    QVERIFY(WriteItemFile(folder(), r).ok);
    r.Title = u"FOO"_s;
    QVERIFY(WriteItemFile(folder(), r).ok);
    QCOMPARE(QDir(folder()).entryList(QDir::Files | QDir::Hidden), QStringList{u"Foo.URL"_s});
    QCOMPARE(
        get(u"Foo.URL"_s),
        "[InternetShortcut]\r\nURL=new\r\n[SiteVigil]\r\nErr=4\r\nInfo=x\r\nCheck2Byte=1\r\n"_ba);
}

void tst_ItemFile::untouchableFiles_data()
{
    QTest::addColumn<QString>("file"); // a.url itself, or what a.url links to
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("refusal"); // empty: written
    QTest::newRow("link to a text file outside") << u"out/notes.txt"_s << 100 << u"notes.txt"_s;
    QTest::newRow("link to an item file") << u"out/b.URL"_s << 100 << QString();
    QTest::newRow("over 1 MiB") << u"a.url"_s << 2'000'000 << u"大きすぎます"_s;
}

void tst_ItemFile::untouchableFiles()
{
    QFETCH(QString, file);
    QFETCH(int, size);
    QFETCH(QString, refusal);
    QVERIFY(QDir(folder()).mkdir(u"out"_s));
    const QByteArray content = "[InternetShortcut]\r\nURL=u\r\n" + QByteArray(size, 'x');
    put(file, content);
    if (file != u"a.url"_s)
        QVERIFY(QFile::link(folder() + file, folder() + u"a.url"_s));
    const FileResult r = WriteItemFile(folder(), record(u"a"_s, u"u"_s, 0, u"エラー:x"_s, 0));
    QCOMPARE(r.ok, refusal.isEmpty());
    QVERIFY2(r.ok || (r.message.contains(refusal) && r.message.contains(u"a.url"_s)),
             qPrintable(r.message));
    QCOMPARE(get(file) == content, !r.ok);
    QVERIFY(file == u"a.url"_s || QFileInfo(folder() + u"a.url"_s).isSymLink());
    if (size > MaxItemFileBytes) {
        QCOMPARE(ReadItemFile(folder(), "a.url"_ba).URL, QString());
        QVERIFY(StoredErrorInfo(folder(), "a.url"_ba).contains(refusal));
    }
}

void tst_ItemFile::linesPassedOver_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("atCR");
    QTest::newRow("CR LF") << "a\r\nb\r\n[c]\r\nd\r\n[e]"_ba << true;
    QTest::newRow("lone CR") << "a\rb\r\n[c]\rd\r"_ba << true;
    QTest::newRow("lone LF inside a line") << "a\nb\r\nx\n[c]\r\n\n[d]\r"_ba << true;
    QTest::newRow("LF alone ends") << "a\nb\n[c]\nd"_ba << true;
    QTest::newRow("every end") << "a\r\nb\rc\n[d]\n\r[e]\r\nf"_ba << false;
    QTest::newRow("header first") << "[a]\r\n[b]\r\n"_ba << false;
    QTest::newRow("no header") << "a\r\n\r\nb"_ba << true;
    QTest::newRow("empty lines") << "\r\r\n\n[a]\r\r"_ba << false;
}

// Passing over the lines before each '[' gives them, and the lines after, as Next does.
void tst_ItemFile::linesPassedOver()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, atCR);
    QByteArray expected, joined;
    Files::LineReader each(bytes, atCR), skipping(bytes, atCR);
    for (QByteArrayView line; each.Next(line);)
        expected += line.toByteArray() + "\r\n";
    for (QByteArrayView line;;) {
        skipping.AppendWithCRLF(joined, skipping.SkipToLineWith('['));
        if (!skipping.Next(line))
            break;
        QVERIFY(line.contains('['));
        joined += line.toByteArray() + "\r\n";
    }
    QCOMPARE(joined, expected);
}

QTEST_GUILESS_MAIN(tst_ItemFile)
#include "tst_ItemFile.moc"
