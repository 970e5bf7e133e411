// The store's bookkeeping: what the cap counts, what goes, and what a full store leaves alone.
#include "app/AtomicFile.h"
#include "check/KeptPages.h"

#include <QTemporaryDir>

#include <QtTest>
#include <sys/stat.h>
#include <utime.h>

using namespace Qt::StringLiterals;

namespace
{

QString url(int i)
{
    return u"http://a/%1"_s.arg(i);
}

QStringList urls(int from, int to)
{
    QStringList list;
    for (int i = from; i < to; ++i)
        list << url(i);
    return list;
}

// What each file in the folder is (inode and change time), and what they take on the disk.
struct Listing {
    QMap<QString, std::pair<qint64, qint64>> files;
    qint64 disk = 0;
};

Listing list(const QString& folder)
{
    Listing listing;
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden)) {
        struct stat st {
        };
        if (::lstat(QFile::encodeName(folder + name).constData(), &st) != 0)
            continue;
        listing.files.insert(
            name, {qint64(st.st_ino), qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec});
        listing.disk += qint64(st.st_blocks) * 512;
    }
    return listing;
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

bool has(const QString& folder, int i)
{
    return QFile::exists(folder + KeptPages::FileName(url(i)));
}

qint64 blockOf(const QString& folder)
{
    struct stat st {
    };
    QDir().mkpath(folder);
    return ::stat(QFile::encodeName(folder).constData(), &st) == 0 ? st.st_blksize : 4096;
}

// A page that compresses to about a block, different for every URL.
QByteArray pageOf(int i, int bytes)
{
    QByteArray body(bytes, Qt::Uninitialized);
    QRandomGenerator random(quint32(i) + 1);
    for (char& c : body)
        c = char('a' + random.bounded(16));
    return body;
}

} // namespace

class tst_KeptPages final : public QObject
{
    Q_OBJECT

private slots:
    void blocksCounted_data();
    void blocksCounted();
    void orphans_data();
    void orphans();
    void fullStoreLeftAlone_data();
    void fullStoreLeftAlone();
    void foreignFiles();
    void damagedInFullStore();
    void baselines_data();
    void baselines();
};

void tst_KeptPages::blocksCounted_data()
{
    QTest::addColumn<bool>("accepted");
    QTest::newRow("kept in advance") << false;
    QTest::newRow("accepted") << true;
}

// Tiny pages take a block each: the cap holds on the disk, not by their sizes.
void tst_KeptPages::blocksCounted()
{
    QFETCH(bool, accepted);
    QTemporaryDir dir;
    const QString folder = dir.path() + u"/"_s;
    const qint64 cap = 40 * blockOf(folder);
    {
        KeptPages store(folder, cap);
        for (int i = 0; i < 200; ++i) {
            const KeptPage page{url(i), "text/plain", "123456789"};
            accepted ? store.Accept(page) : store.KeepIfMissing(page);
        }
        store.WaitIdle();
    }
    const Listing listing = list(folder);
    QVERIFY2(listing.disk <= cap, qPrintable(QString::number(listing.disk)));
    QVERIFY(listing.files.size() >= 30);
    // The newest pages stay when pages are accepted, the first ones when kept in advance.
    QVERIFY(has(folder, accepted ? 199 : 0));
    QVERIFY(!has(folder, accepted ? 0 : 199));
}

void tst_KeptPages::orphans_data()
{
    QTest::addColumn<bool>("ended");     // CatalogueRunEnded
    QTest::addColumn<bool>("whole");     // the catalogue as SetCatalogue got it
    QTest::addColumn<bool>("meanwhile"); // the orphan is written after SetCatalogue
    QTest::addColumn<bool>("removed");
    QTest::newRow("a whole run") << true << true << false << true;
    QTest::newRow("a run stopped midway") << false << true << false << false;
    QTest::newRow("an item file unread") << true << false << false << false;
    QTest::newRow("kept by another instance meanwhile") << true << true << true << false;
}

// A page of a URL no item has goes after a run over every item, and only then.
void tst_KeptPages::orphans()
{
    QFETCH(bool, ended);
    QFETCH(bool, whole);
    QFETCH(bool, meanwhile);
    QTemporaryDir dir;
    const QString folder = dir.path() + u"/"_s;
    const auto keep = [&](int i) {
        KeptPages other(folder);
        other.Accept({url(i), "text/plain", "page"});
    };
    keep(0);
    if (!meanwhile)
        keep(1);
    QTest::qWait(10);
    KeptPages store(folder);
    store.SetCatalogue({url(0)}, whole);
    store.WaitIdle();
    QTest::qWait(10);
    if (meanwhile)
        keep(1);
    store.KeepIfMissing({url(0), "text/plain", "new"});
    if (ended)
        store.CatalogueRunEnded();
    store.WaitIdle();
    QFETCH(bool, removed);
    QCOMPARE(has(folder, 1), !removed);
    QVERIFY(has(folder, 0));
}

void tst_KeptPages::fullStoreLeftAlone_data()
{
    QTest::addColumn<bool>("baselines");
    QTest::newRow("a cache") << false;
    QTest::newRow("baselines") << true;
}

// The second run over a store at its cap writes and removes nothing.
void tst_KeptPages::fullStoreLeftAlone()
{
    QFETCH(bool, baselines);
    QTemporaryDir dir;
    const QString folder = dir.path() + u"/"_s;
    const qint64 cap = 30 * blockOf(folder);
    const QStringList catalogue = urls(0, 100);
    Listing first;
    for (int runNo = 0; runNo < 2; ++runNo) {
        KeptPages store(folder, cap);
        store.SetBaselines(baselines);
        store.SetCatalogue(catalogue);
        for (int i = 0; i < catalogue.size(); ++i)
            store.KeepIfMissing({catalogue.at(i), "text/plain", pageOf(i, 3000)});
        store.CatalogueRunEnded();
        store.WaitIdle();
        QCOMPARE(store.BaselinesOverCap(), baselines);
        if (runNo == 0)
            first = list(folder);
    }
    const Listing second = list(folder);
    QCOMPARE(second.files, first.files);
    QCOMPARE(qint64(first.files.size()), baselines ? 100 : second.disk / blockOf(folder));
    QVERIFY(baselines || second.disk <= cap);
}

// Files that are not the store's are counted and left; a stale temporary of its own goes.
void tst_KeptPages::foreignFiles()
{
    QTemporaryDir dir;
    const QString folder = dir.path() + u"/"_s;
    const qint64 block = blockOf(folder);
    const QString foreign = folder + u"notes.page"_s;
    const QString temporary =
        folder + QString::fromLatin1(AtomicFile::TemporaryPrefix.data()) + u"abcdefgh"_s;
    for (const QString& path : {foreign, temporary})
        WriteFile(path, QByteArray(20 * block, 'x'));
    const utimbuf old{1000, 1000};
    QCOMPARE(::utime(QFile::encodeName(temporary).constData(), &old), 0);
    {
        KeptPages store(folder, 40 * block);
        for (int i = 0; i < 100; ++i)
            store.Accept({url(i), "text/plain", "page"});
        store.WaitIdle();
    }
    QVERIFY(QFile::exists(foreign));
    QVERIFY(!QFile::exists(temporary));
    const Listing listing = list(folder);
    QVERIFY(listing.disk <= 40 * block);
    QVERIFY(listing.files.size() > 10);
}

// A damaged page that no room is left to replace is removed, not read in vain on every run.
void tst_KeptPages::damagedInFullStore()
{
    QTemporaryDir dir;
    const QString folder = dir.path() + u"/"_s;
    const qint64 block = blockOf(folder);
    const QString damaged = folder + KeptPages::FileName(url(0));
    WriteFile(damaged, "SVKP garbage");
    WriteFile(folder + u"other"_s, QByteArray(3 * block, 'x'));
    KeptPages store(folder, 4 * block);
    store.KeepIfMissing({url(0), "text/plain", pageOf(0, 3000)});
    store.WaitIdle();
    QVERIFY(!QFile::exists(damaged));
    QVERIFY(QFile::exists(folder + u"other"_s));
}

void tst_KeptPages::baselines_data()
{
    QTest::addColumn<bool>("baselines");
    QTest::addColumn<int>("items"); // pages of a block each; the cap holds 25
    QTest::addColumn<int>("itemsLeft");
    QTest::addColumn<int>("orphansLeft"); // of 10, kept before
    QTest::addColumn<bool>("overCap");
    QTest::newRow("cache with room") << false << 20 << 20 << 5 << false;
    QTest::newRow("baselines with room") << true << 20 << 20 << 5 << false;
    QTest::newRow("cache beyond the cap") << false << 30 << 25 << 0 << false;
    QTest::newRow("baselines beyond the cap") << true << 30 << 30 << 0 << true;
}

// As baselines, an item's page stays however full the store is; orphans make room, the oldest
// first, and the store tells when the baselines alone exceed the cap.
void tst_KeptPages::baselines()
{
    QFETCH(bool, baselines);
    QFETCH(int, items);
    QTemporaryDir dir;
    const QString folder = dir.path() + u"/"_s;
    const qint64 cap = 25 * blockOf(folder);
    {
        KeptPages before(folder, cap);
        for (int i = 100; i < 110; ++i) {
            before.Accept({url(i), "text/plain", pageOf(i, 3000)});
            before.WaitIdle();
            QTest::qWait(5);
        }
    }
    KeptPages store(folder, cap);
    store.SetBaselines(baselines);
    store.SetCatalogue(urls(0, items));
    for (int i = 0; i < items; ++i)
        store.Accept({url(i), "text/plain", pageOf(i, 3000)});
    store.WaitIdle();
    QFETCH(int, itemsLeft);
    QFETCH(int, orphansLeft);
    QFETCH(bool, overCap);
    int kept = 0;
    for (int i = 0; i < items; ++i)
        kept += has(folder, i);
    QCOMPARE(kept, itemsLeft);
    int orphans = 0;
    for (int i = 100; i < 110; ++i)
        orphans += has(folder, i);
    QCOMPARE(orphans, orphansLeft);
    // The oldest orphans went first.
    QVERIFY(orphans == 0 || has(folder, 109));
    QCOMPARE(store.BaselinesOverCap(), overCap);
}

QTEST_MAIN(tst_KeptPages)
#include "tst_KeptPages.moc"
