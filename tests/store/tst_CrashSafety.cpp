// A writer process killed at random moments while it saves item files or the settings file
// leaves every file with its old or its new content, and no temporary that would be listed
// as an item. The writer is this executable, started again with "--writer".
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

#include <chrono>
#include <cstdio>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

constexpr int KillsPerMode = 120;
constexpr int MaxDelayUs = 12000;
constexpr int MaxWritesBefore = 5;

// Titles: plain, CP932, one with a run of X that QSaveFile would use for its random part.
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
    return CodePage::ToAnsi(u"[InternetShortcut]\r\nURL=http://x/"_s + title
                            + u"\r\nIconIndex=0\r\n[Other]\r\nk=v\r\n"_s);
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

} // namespace

class tst_CrashSafety final : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void placeholderNames_data();
    void placeholderNames();
    void placeholderNameWrite();
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

void tst_CrashSafety::placeholderNames_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("placeholder");
    QTest::newRow("plain") << u"/a/News.url"_s << false;
    QTest::newRow("five X") << u"/a/XXXXX.url"_s << false;
    QTest::newRow("six X") << u"/a/NewsXXXXXX.url"_s << true;
    QTest::newRow("six X split") << u"/a/XXX XXX.url"_s << false;
    QTest::newRow("lower case") << u"/a/xxxxxx.url"_s << false;
    QTest::newRow("X in the folder only") << u"/XXXXXX/a.url"_s << false;
}

void tst_CrashSafety::placeholderNames()
{
    QFETCH(QString, path);
    QFETCH(bool, placeholder);
    QCOMPARE(AtomicFile::NameHasPlaceholder(path), placeholder);
}

// The hidden-temporary path replaces the file, keeps its permissions and leaves nothing else.
void tst_CrashSafety::placeholderNameWrite()
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
    QVERIFY(QFile::permissions(path).testFlag(QFileDevice::ReadOther));
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
    QCOMPARE(QFile::permissions(path) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser), restricted);
    QVERIFY(QDir().mkdir(dir.filePath(u"FolderXXXXXX.url"_s)));
    AtomicFile onFolder(dir.filePath(u"FolderXXXXXX.url"_s));
    QVERIFY(!onFolder.open() || onFolder.write("x") < 0 || !onFolder.commit());
    QVERIFY(!onFolder.errorString().isEmpty());
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList({u"FolderXXXXXX.url"_s, u"NewsXXXXXX.url"_s}));
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
    QVERIFY(Profile::WritePrivateProfileString(u"Option"_s, u"FolderPath"_s, folderValue(0),
                                               settings));
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
            const int v = bytes == itemBytes_[0].value(title) ? 0
                : bytes == itemBytes_[1].value(title)         ? 1
                                                              : -1;
            QVERIFY2(v >= 0, qPrintable(u"round %1: %2 is neither old nor new (%3 bytes)"_s
                                            .arg(round).arg(title).arg(bytes.size())));
            ++seen[0][v];
        }
        const QByteArray settingsNow = readAll(settings);
        const int sv = settingsNow == settingsBytes_[0] ? 0 : settingsNow == settingsBytes_[1] ? 1 : -1;
        QVERIFY2(sv >= 0, qPrintable(u"round %1: the settings file is neither old nor new"_s.arg(round)));
        ++seen[1][sv];

        QCOMPARE(ListedNames(items), expectedNames);
        for (const QString& name : QDir(items).entryList(QDir::Files | QDir::Hidden | QDir::System)) {
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
    const int leftovers = int(QDir(items).entryList(QDir::Files | QDir::Hidden).size()
                              - Titles.size());
    qInfo("%d kills in %lld ms; %d temporaries left in the item folder", 2 * KillsPerMode,
          clock.elapsed(), leftovers);
    for (const QString& title : Titles) {
        const ItemRecord read = ReadItemFile(items, title + u".url"_s);
        QVERIFY(read.Info == version(title, 0).Info || read.Info == version(title, 1).Info);
    }
}

int main(int argc, char* argv[])
{
    if (argc == 4 && qstrcmp(argv[1], "--writer") == 0) {
        QCoreApplication app(argc, argv);
        return runWriter(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    }
    QCoreApplication app(argc, argv);
    tst_CrashSafety test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_CrashSafety.moc"
