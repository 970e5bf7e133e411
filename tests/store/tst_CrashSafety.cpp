// Nothing is lost when a write fails. A writer process killed at random moments while it saves
// item files or the settings file leaves every file with its old or its new content, and no
// temporary that would be listed as an item; so does a full disk, which is reported. The
// writer is this executable, started again with "--writer" or "--full". Also: long names,
// symlinked items, stale temporaries, and files in encodings a rewrite must not mix.
#include "app/AtomicFile.h"
#include "app/CodePage.h"
#include "app/Profile.h"
#include "store/ItemFile.h"
#include "store/ItemFolder.h"
#include "support/TestProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <utime.h>

using namespace Qt::StringLiterals;

namespace
{

constexpr int KillsPerMode = 120;
constexpr int MaxDelayUs = 12000;
constexpr int MaxWritesBefore = 5;

// Titles: plain, CP932, one with a run of X where a name template puts its random part.
const QStringList Titles = {u"Daily page"_s, u"ニュース速報"_s, u"NewsXXXXXX"_s, u"z"_s};

// Two versions of every item; long Info lines make each write take a while.
ItemRecord version(const QString& title, int v)
{
    ItemRecord item;
    item.Title = title;
    item.URL = v == 0 ? u"http://127.0.0.1/old/"_s + title : u"http://127.0.0.1/new/"_s;
    item.Err = qint16(v == 0 ? 3 : -7);
    item.Info = QString(v == 0 ? 20000 : 30000, v == 0 ? u'旧' : u'n');
    item.Check2Byte = qint16(v);
    return item;
}

QString folderValue(int v)
{
    return v == 0 ? u"C:\\old\\"_s + QString(4000, u'o') : u"D:\\新しい\\"_s + QString(9000, u'n');
}

// A shortcut with lines of its own, which every rewrite keeps.
QByteArray foreignShortcut(const QString& title)
{
    return CodePage::ToAnsi(u"[InternetShortcut]\r\nURL=http://x/"_s + title +
                            u"\r\nIconIndex=0\r\n[Other]\r\nk=v\r\n"_s);
}

const QByteArray SettingsStart =
    "; settings\r\n[Option]\r\nExitAfterSave=0\r\nFolderPath=start\r\n[Window]\r\nLeft=10\r\n";

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

bool writeRaw(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

int runWriter(const QString& mode, const QString& dir)
{
    const QString items = dir + u"/URLs/"_s;
    const QString settings = dir + u"/SiteVigil.ini"_s;
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
    // One line after each write, so the test can let some writes finish before the kill.
    for (int v = 1;; v ^= 1) {
        if (mode == u"items") {
            for (const QString& title : Titles) {
                if (!WriteItemFile(items, version(title, v)).ok)
                    return 2;
                std::fputs("w\n", stdout);
                std::fflush(stdout);
            }
        } else {
            if (!Profile::WritePrivateProfileString(u"Option"_s, u"FolderPath"_s, folderValue(v),
                                                    settings))
                return 2;
            std::fputs("w\n", stdout);
            std::fflush(stdout);
        }
    }
}

// Writes the new version of the item "Daily page" (0) or of the settings file's folder (1) into
// dir, as the program does, with the file size limited to fileSizeLimit bytes when it is not
// 0; prints the message the write gave, in UTF-8.
int runFullWriter(const QString& kind, const QString& dir, qint64 fileSizeLimit)
{
    if (fileSizeLimit > 0) {
        std::signal(SIGXFSZ, SIG_IGN); // as the program does: the write fails with EFBIG
        const rlimit limit{rlim_t(fileSizeLimit), rlim_t(fileSizeLimit)};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return 3;
    }
    QString message;
    bool ok = false;
    if (kind == u"item") {
        const FileResult result = WriteItemFile(dir + u"/URLs/"_s, version(Titles[0], 0));
        ok = result.ok;
        message = result.message;
    } else {
        ok = Profile::WritePrivateProfileString(u"Option"_s, u"FolderPath"_s, folderValue(1),
                                                dir + u"/SiteVigil.ini"_s, &message);
    }
    std::fputs(message.toUtf8().constData(), stdout);
    return ok ? 1 : 0;
}

// A folder for the full-disk test: a 256 KiB tmpfs mounted on it when this runs as root and
// may mount, otherwise a plain folder (and the writer's file size is limited instead).
struct SmallDisk {
    QTemporaryDir dir;
    bool mounted = false;
    SmallDisk()
    {
        mounted = ::geteuid() == 0 && ::mount("tmpfs", QFile::encodeName(dir.path()).constData(),
                                              "tmpfs", 0, "size=256k") == 0;
    }
    ~SmallDisk()
    {
        if (mounted)
            ::umount2(QFile::encodeName(dir.path()).constData(), MNT_DETACH);
    }
    // Fills the rest of the file system with a file that is no item.
    bool fill() const
    {
        QFile filler(dir.filePath(u"filler.bin"_s));
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return false;
        const QByteArray block(4096, 'f');
        while (filler.write(block) == block.size()) {
        }
        for (char c = 0; filler.write(&c, 1) == 1;) {
        }
        return true;
    }
};

// The names in the folder, hidden ones too.
QStringList entries(const QString& dir)
{
    return QDir(dir).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

class tst_CrashSafety final : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void oneRoad();
    void fullDisk_data();
    void fullDisk();
    void manyAtOnce_data();
    void manyAtOnce();
    void longTitleWrittenTwice_data();
    void longTitleWrittenTwice();
    void symlinkedItem_data();
    void symlinkedItem();
    void staleTemporaries_data();
    void staleTemporaries();
    void encodings_data();
    void encodings();
    void killedWriter();

private:
    QTemporaryDir reference_;
    QHash<QString, QByteArray> itemBytes_[2];
    QByteArray settingsBytes_[2];
};

// The two versions of every file, as the writers produce them from the starting files.
void tst_CrashSafety::initTestCase()
{
    const QString items = reference_.path() + u"/URLs/"_s;
    QVERIFY(QDir().mkpath(items));
    for (const QString& title : Titles) {
        QVERIFY(writeRaw(items + title + u".url"_s, foreignShortcut(title)));
        for (int v : {0, 1, 0}) {
            QVERIFY(WriteItemFile(items, version(title, v)).ok);
            const QByteArray bytes = readAll(items + title + u".url"_s);
            if (!itemBytes_[v].contains(title))
                itemBytes_[v].insert(title, bytes);
            QCOMPARE(bytes, itemBytes_[v].value(title)); // a rewrite depends on the record only
        }
        QVERIFY(itemBytes_[0].value(title).contains("IconIndex=0\r\n[Other]\r\nk=v\r\n"));
    }
    const QString settings = reference_.path() + u"/SiteVigil.ini"_s;
    QVERIFY(writeRaw(settings, SettingsStart));
    for (int v : {0, 1, 0}) {
        QVERIFY(Profile::WritePrivateProfileString(u"Option"_s, u"FolderPath"_s, folderValue(v),
                                                   settings));
        const QByteArray bytes = readAll(settings);
        if (settingsBytes_[v].isEmpty())
            settingsBytes_[v] = bytes;
        QCOMPARE(bytes, settingsBytes_[v]);
    }
    QVERIFY(settingsBytes_[1].endsWith("[Window]\r\nLeft=10\r\n"));
    QCOMPARE(QDir(items).entryList(QDir::Files | QDir::Hidden).size(), Titles.size());
}

// The one road replaces the file, keeps its permissions, leaves it alone when cancelled or
// when a folder stands there, and leaves nothing else behind. The name has a run of X that
// QSaveFile would have put its random part in.
void tst_CrashSafety::oneRoad()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"NewsXXXXXX.url"_s);
    {
        AtomicFile file(path);
        QVERIFY(file.open());
        QCOMPARE(file.write("first"), qint64(5));
        QVERIFY(file.commit());
    }
    QCOMPARE(readAll(path), QByteArray("first"));
    const QFileDevice::Permissions restricted = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    QVERIFY(QFile::setPermissions(path, restricted));
    {
        AtomicFile file(path);
        QVERIFY(file.open());
        QCOMPARE(file.write("second"), qint64(6));
        file.cancelWriting();
    }
    QCOMPARE(readAll(path), QByteArray("first"));
    {
        AtomicFile file(path);
        QVERIFY(file.open());
        QCOMPARE(file.write("third"), qint64(5));
        QVERIFY(file.commit());
    }
    QCOMPARE(readAll(path), QByteArray("third"));
    QCOMPARE(QFile::permissions(path) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser),
             restricted);
    {
        // The replace check is asked with the new content whole beside the old file.
        AtomicFile file(path);
        QByteArrayList seen;
        file.setReplaceCheck([&] {
            for (const QString& name : QDir(dir.path()).entryList(QDir::Files | QDir::Hidden))
                seen << readAll(dir.filePath(name));
            return u"refused"_s;
        });
        QVERIFY(file.open());
        QCOMPARE(file.write("fourth"), qint64(6));
        QVERIFY(!file.commit());
        QVERIFY(file.refused());
        QCOMPARE(file.errorString(), u"refused"_s);
        std::sort(seen.begin(), seen.end());
        QCOMPARE(seen, (QByteArrayList{"fourth", "third"}));
    }
    QCOMPARE(readAll(path), QByteArray("third"));
    QVERIFY(QDir().mkdir(dir.filePath(u"Folder.url"_s)));
    AtomicFile onFolder(dir.filePath(u"Folder.url"_s));
    QVERIFY(!onFolder.open());
    QCOMPARE(onFolder.errorString(), u"同じ名前のフォルダがあります"_s);
    QCOMPARE(entries(dir.path()), QStringList({u"Folder.url"_s, u"NewsXXXXXX.url"_s}));
}

void tst_CrashSafety::fullDisk_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("item file") << u"item"_s;
    QTest::newRow("settings file") << u"settings"_s;
}

// The old content stays whole and the failure names the file and the reason.
void tst_CrashSafety::fullDisk()
{
    QFETCH(QString, kind);
    SmallDisk disk;
    QVERIFY(disk.dir.isValid());
    const QString items = disk.dir.path() + u"/URLs/"_s;
    const QString settings = disk.dir.path() + u"/SiteVigil.ini"_s;
    QVERIFY(QDir().mkpath(items));
    // The old versions are the smaller ones: the new one does not fit beside the filler, nor
    // under the file size limit.
    QVERIFY(writeRaw(items + Titles[0] + u".url"_s, foreignShortcut(Titles[0])));
    QVERIFY(WriteItemFile(items, version(Titles[0], 1)).ok);
    QVERIFY(writeRaw(settings, SettingsStart));
    QVERIFY(
        Profile::WritePrivateProfileString(u"Option"_s, u"FolderPath"_s, folderValue(0), settings));
    const QString target = kind == u"item" ? items + Titles[0] + u".url"_s : settings;
    const QByteArray before = readAll(target);
    const QByteArray after = kind == u"item" ? itemBytes_[0].value(Titles[0]) : settingsBytes_[1];
    QVERIFY(after.size() > before.size());
    qint64 limit = 0;
    if (disk.mounted)
        QVERIFY(disk.fill());
    else
        limit = (before.size() + after.size()) / 2;
    qInfo("%s", disk.mounted ? "full tmpfs" : "file size limit (not root: no tmpfs)");

    QProcess writer;
    writer.start(QCoreApplication::applicationFilePath(),
                 {u"--full"_s, kind, disk.dir.path(), QString::number(limit)});
    QVERIFY(writer.waitForFinished(30000));
    const QString message = QString::fromUtf8(writer.readAllStandardOutput());
    QCOMPARE(writer.exitCode(), 0); // the write reported a failure
    QVERIFY2(message.contains(disk.mounted ? u"空き容量が足りません"_s : u"大きすぎます"_s),
             qPrintable(message));
    QVERIFY2(message.contains(target), qPrintable(message));
    QCOMPARE(readAll(target), before);
    QCOMPARE(entries(items), QStringList{Titles[0] + u".url"_s});
    QCOMPARE(entries(disk.dir.path()),
             disk.mounted ? QStringList({u"SiteVigil.ini"_s, u"URLs"_s, u"filler.bin"_s})
                          : QStringList({u"SiteVigil.ini"_s, u"URLs"_s}));
}

void tst_CrashSafety::manyAtOnce_data()
{
    QTest::addColumn<bool>("full");
    QTest::newRow("room for all") << false;
    QTest::newRow("full disk: none written, none left") << true;
}

// Many items written together give the files that writing them one by one gives, each told
// apart; the one that cannot be made is refused alone.
void tst_CrashSafety::manyAtOnce()
{
    QFETCH(bool, full);
    SmallDisk disk;
    QVERIFY(disk.dir.isValid());
    if (full && !disk.mounted)
        QSKIP("needs a tmpfs of its own (root)");
    const QString items = disk.dir.path() + u"/URLs/"_s;
    QVERIFY(QDir().mkpath(items));
    QVERIFY(writeRaw(items + Titles[1] + u".url"_s, foreignShortcut(Titles[1])));
    QList<ItemRecord> batch;
    for (const QString& title : Titles)
        batch.append(version(title, 1));
    batch.insert(2, version(u"a/b"_s, 1)); // no file may bear that name
    QTemporaryDir oneByOne;
    const QString single = oneByOne.path() + u'/';
    QVERIFY(writeRaw(single + Titles[1] + u".url"_s, foreignShortcut(Titles[1])));
    for (const ItemRecord& item : std::as_const(batch))
        WriteItemFile(single, item);
    if (full)
        QVERIFY(disk.fill());

    const QList<FileResult> results = WriteItemFiles(items, batch);
    QCOMPARE(results.size(), batch.size());
    for (qsizetype i = 0; i < batch.size(); ++i) {
        const QString name = batch.at(i).Title + u".url"_s;
        QCOMPARE(results.at(i).ok, i != 2 && !full);
        if (!results.at(i).ok && i != 2)
            QVERIFY2(results.at(i).message.contains(name), qPrintable(results.at(i).message));
        if (i != 2 && (!full || i == 1))
            QCOMPARE(readAll(items + name),
                     full ? foreignShortcut(Titles[1]) : readAll(single + name));
    }
    QCOMPARE(entries(items).size(), full ? 1 : Titles.size());
}

void tst_CrashSafety::longTitleWrittenTwice_data()
{
    QTest::addColumn<QString>("title");
    QTest::newRow("245 bytes") << QString(245, u'a');
    QTest::newRow("245 bytes of UTF-8") << QString(81, u'長') + u"ab"_s;
    QTest::newRow("251 bytes: a 255-byte name") << QString(251, u'b');
}

// The temporary's name does not grow with the item's: the longest titles are rewritten too.
void tst_CrashSafety::longTitleWrittenTwice()
{
    QFETCH(QString, title);
    QTemporaryDir dir;
    const QString items = dir.path() + u'/';
    for (int v : {0, 1}) {
        const FileResult result = WriteItemFile(items, version(title, v));
        QVERIFY2(result.ok, qPrintable(result.message));
        QCOMPARE(ReadItemFile(items, Files::Path(title + u".url"_s)).Info, version(title, v).Info);
    }
    QCOMPARE(entries(items), QStringList{title + u".url"_s});
}

void tst_CrashSafety::symlinkedItem_data()
{
    QTest::addColumn<QString>("link");  // what the link holds; "@" stands for the other folder
    QTest::addColumn<bool>("existing"); // whether the file it points to exists
    QTest::newRow("relative") << u"../elsewhere/real.url"_s << true;
    QTest::newRow("absolute") << u"@/real.url"_s << true;
    QTest::newRow("dangling: the file is made where it points") << u"@/real.url"_s << false;
}

// The item is written to the file the link points to, and the link stays a link.
void tst_CrashSafety::symlinkedItem()
{
    QFETCH(QString, link);
    QFETCH(bool, existing);
    QTemporaryDir dir;
    const QString items = dir.path() + u"/URLs/"_s;
    const QString elsewhere = dir.path() + u"/elsewhere"_s;
    QVERIFY(QDir().mkpath(items) && QDir().mkpath(elsewhere));
    const QString real = elsewhere + u"/real.url"_s;
    if (existing)
        QVERIFY(writeRaw(real, foreignShortcut(Titles[0])));
    link.replace(u'@', elsewhere);
    const QString path = items + Titles[0] + u".url"_s;
    QVERIFY(::symlink(QFile::encodeName(link).constData(), QFile::encodeName(path).constData()) ==
            0);

    for (int v : {1, 0}) {
        const FileResult result = WriteItemFile(items, version(Titles[0], v));
        QVERIFY2(result.ok, qPrintable(result.message));
    }
    QByteArray held(4096, '\0');
    const ssize_t n = ::readlink(QFile::encodeName(path).constData(), held.data(), 4096);
    QCOMPARE(n > 0 ? held.left(n) : QByteArray(), QFile::encodeName(link)); // the same link
    if (existing)
        QCOMPARE(readAll(real), itemBytes_[0].value(Titles[0]));
    QCOMPARE(ReadItemFile(items, Files::Path(Titles[0] + u".url"_s)).Info,
             version(Titles[0], 0).Info);
    QCOMPARE(entries(elsewhere), QStringList{u"real.url"_s});
}

void tst_CrashSafety::staleTemporaries_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("ageSeconds");
    QTest::addColumn<bool>("removed");
    QTest::newRow("own, stale") << u".sitevigil-Ab3dE6gH"_s << 120 << true;
    QTest::newRow("own, of the former road") << u".sitevigil-x7YzQ1"_s << 3600 << true;
    QTest::newRow("own, fresh: another process is writing it")
        << u".sitevigil-Fresh123"_s << 5 << false;
    QTest::newRow("another program's") << u".other-Ab3dE6gH"_s << 3600 << false;
    QTest::newRow("QSaveFile's of older versions") << u"item041.url.ppFtCc"_s << 3600 << false;
}

// Listing the item folder removes this program's temporaries older than a minute, no others.
void tst_CrashSafety::staleTemporaries()
{
    QFETCH(QString, name);
    QFETCH(int, ageSeconds);
    QFETCH(bool, removed);
    QTemporaryDir dir;
    const QString items = dir.path() + u'/';
    QVERIFY(writeRaw(items + u"item.url"_s, foreignShortcut(u"item"_s)));
    QVERIFY(writeRaw(items + name, "half a write"));
    const time_t then = std::time(nullptr) - ageSeconds;
    const utimbuf times{then, then};
    QVERIFY(::utime(QFile::encodeName(items + name).constData(), &times) == 0);
    QCOMPARE(ListedNames(items), QStringList{u"item.url"_s});
    QCOMPARE(QFile::exists(items + name), !removed);
}

void tst_CrashSafety::encodings_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("readUrl");  // what reading finds
    QTest::addColumn<QByteArray>("after"); // empty: the write fails and leaves the file
    const QByteArray tail = "\r\n[SiteVigil]\r\nErr=2\r\nInfo=新\r\nCheck2Byte=0\r\n";
    QTest::newRow("UTF-8 byte-order mark: read as UTF-8, kept")
        << "\xEF\xBB\xBF[InternetShortcut]\r\nURL=http://x/ä\r\nName=日本\r\n"_ba << u"http://x/ä"_s
        << "\xEF\xBB\xBF[InternetShortcut]\r\nURL=http://new/é\r\nName=日本"_ba + tail;
    QTest::newRow("UTF-16 LE: left untouched")
        << QByteArray("\xFF\xFE[\0I\0]\0\r\0\n\0U\0R\0L\0=\0h\0\r\0\n\0", 24) << QString()
        << QByteArray();
    QTest::newRow("UTF-16 BE: left untouched")
        << QByteArray("\xFE\xFF\0[\0I\0]\0\r\0\n\0U\0R\0L\0=\0h\0\r\0\n", 24) << QString()
        << QByteArray();
    QTest::newRow("CP932 whose foreign line would come first looking like a mark")
        << "[SiteVigil]\r\nErr=1\r\nInfo=a\r\nCheck2Byte=0\r\n\xFF\xFEx\r\n"_ba << QString()
        << "\r\n\xFF\xFEx\r\n[SiteVigil]\r\nErr=2\r\nInfo=\x90V\r\nCheck2Byte=0\r\n"_ba;
}

// A rewrite never mixes encodings: a UTF-8 file stays UTF-8 with its mark, a UTF-16 file is
// not rewritten at all, and the failure says why.
void tst_CrashSafety::encodings()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, readUrl);
    QFETCH(QByteArray, after);
    QTemporaryDir dir;
    const QString items = dir.path() + u'/';
    QVERIFY(writeRaw(items + u"Page.url"_s, before));
    QCOMPARE(ReadItemFile(items, Files::Path(u"Page.url"_s)).URL, readUrl);
    const FileResult result =
        WriteItemFile(items, ItemRecord{u"Page"_s, u"http://new/é"_s, 2, u"新"_s, 0});
    QCOMPARE(result.ok, !after.isEmpty());
    QCOMPARE(readAll(items + u"Page.url"_s), after.isEmpty() ? before : after);
    if (after.isEmpty())
        QVERIFY2(result.message.contains(u"UTF-16"_s), qPrintable(result.message));
    else
        QCOMPARE(ReadItemFile(items, Files::Path(u"Page.url"_s)).Info, u"新"_s);
    QCOMPARE(entries(items), QStringList{u"Page.url"_s});
}

void tst_CrashSafety::killedWriter()
{
    QTemporaryDir work;
    const QString items = work.path() + u"/URLs/"_s;
    const QString settings = work.path() + u"/SiteVigil.ini"_s;
    QVERIFY(QDir().mkpath(items));
    for (const QString& title : Titles) {
        QVERIFY(writeRaw(items + title + u".url"_s, foreignShortcut(title)));
        QVERIFY(WriteItemFile(items, version(title, 0)).ok);
    }
    QVERIFY(writeRaw(settings, SettingsStart));
    QVERIFY(
        Profile::WritePrivateProfileString(u"Option"_s, u"FolderPath"_s, folderValue(0), settings));
    QStringList expectedNames;
    for (const QString& title : Titles)
        expectedNames << title + u".url"_s;
    expectedNames.sort(Qt::CaseInsensitive);

    const quint32 seed = QRandomGenerator::global()->generate();
    qInfo("seed %u", seed);
    QRandomGenerator random(seed);
    int seen[2][2] = {{0, 0}, {0, 0}}; // [items, settings][version] found after a kill
    QElapsedTimer clock;
    clock.start();
    for (int round = 0; round < 2 * KillsPerMode; ++round) {
        const bool itemMode = round % 2 == 0;
        QProcess writer;
        writer.start(QCoreApplication::applicationFilePath(),
                     {u"--writer"_s, itemMode ? u"items"_s : u"settings"_s, work.path()});
        QVERIFY(writer.waitForStarted(10000));
        QVERIFY(writer.waitForReadyRead(10000));
        QVERIFY(writer.readLine() == "ready\n");
        // Up to a few writes done, then a random moment: the kill may fall anywhere in a
        // write however slow the disk is.
        const int writesBefore = int(random.bounded(MaxWritesBefore + 1));
        int written = 0;
        while (written < writesBefore) {
            if (!writer.canReadLine())
                QVERIFY(writer.waitForReadyRead(10000));
            while (writer.canReadLine() && written < writesBefore)
                written += writer.readLine() == "w\n";
        }
        std::this_thread::sleep_for(std::chrono::microseconds(random.bounded(MaxDelayUs)));
        writer.kill();
        QVERIFY(writer.waitForFinished(10000));
        QCOMPARE(writer.exitStatus(), QProcess::CrashExit);

        for (const QString& title : Titles) {
            const QByteArray bytes = readAll(items + title + u".url"_s);
            const int v = bytes == itemBytes_[0].value(title)   ? 0
                          : bytes == itemBytes_[1].value(title) ? 1
                                                                : -1;
            QVERIFY2(
                v >= 0,
                qPrintable(
                    u"round %1: %2 is neither old nor new (%3 bytes)"_s.arg(round).arg(title).arg(
                        bytes.size())));
            ++seen[0][v];
        }
        const QByteArray settingsNow = readAll(settings);
        const int sv = settingsNow == settingsBytes_[0]   ? 0
                       : settingsNow == settingsBytes_[1] ? 1
                                                          : -1;
        QVERIFY2(sv >= 0,
                 qPrintable(u"round %1: the settings file is neither old nor new"_s.arg(round)));
        ++seen[1][sv];

        QCOMPARE(ListedNames(items), expectedNames);
        for (const QString& name :
             QDir(items).entryList(QDir::Files | QDir::Hidden | QDir::System)) {
            if (!expectedNames.contains(name))
                QVERIFY2(!name.endsWith(u".url"_s, Qt::CaseInsensitive), qPrintable(name));
        }
        for (const QString& name : QDir(work.path()).entryList(QDir::Files | QDir::Hidden)) {
            if (name != u"SiteVigil.ini"_s)
                QVERIFY2(!name.endsWith(u".ini"_s, Qt::CaseInsensitive), qPrintable(name));
        }
    }
    // The kills fell while both versions were being written.
    QVERIFY(seen[0][0] > 0 && seen[0][1] > 0);
    QVERIFY(seen[1][0] > 0 && seen[1][1] > 0);
    const int leftovers =
        int(QDir(items).entryList(QDir::Files | QDir::Hidden).size() - Titles.size());
    qInfo("%d kills in %lld ms; %d temporaries left in the item folder", 2 * KillsPerMode,
          clock.elapsed(), leftovers);
    for (const QString& title : Titles) {
        const ItemRecord read = ReadItemFile(items, Files::Path(title + u".url"_s));
        QVERIFY(read.Info == version(title, 0).Info || read.Info == version(title, 1).Info);
    }
}

int main(int argc, char* argv[])
{
    if (argc == 4 && qstrcmp(argv[1], "--writer") == 0) {
        QCoreApplication app(argc, argv);
        return runWriter(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    }
    if (argc == 5 && qstrcmp(argv[1], "--full") == 0) {
        QCoreApplication app(argc, argv);
        return runFullWriter(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                             QByteArray(argv[4]).toLongLong());
    }
    QCoreApplication app(argc, argv);
    tst_CrashSafety test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_CrashSafety.moc"
