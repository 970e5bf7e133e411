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

// Each file's identity (inode, change time) and the blocks of all.
std::pair<QMap<QString, std::pair<qint64, qint64>>, qint64> list(const QString& folder)
{
    std::pair<QMap<QString, std::pair<qint64, qint64>>, qint64> listing{{}, 0};
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden)) {
        struct stat st {
        };
        if (::lstat(QFile::encodeName(folder + name).constData(), &st) == 0) {
            listing.first.insert(
                name, {qint64(st.st_ino), st.st_ctim.tv_sec * 1000000000LL + st.st_ctim.tv_nsec});
            listing.second += st.st_blocks * 512LL;
        }
    }
    return listing;
}

int count(const QString& folder, int from, int to)
{
    int n = 0;
    for (int i = from; i < to; ++i)
        n += QFile::exists(folder + KeptPages::FileName(url(i)));
    return n;
}

// 9 bytes, or a page that compresses into one block.
QByteArray pageOf(int i, int bytes)
{
    QByteArray body(bytes, 'a');
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
    void cap_data();
    void cap();
    void orphans_data();
    void orphans();
};

void tst_KeptPages::cap_data()
{
    QTest::addColumn<bool>("baselines");
    QTest::addColumn<bool>("accepted"); // else kept in advance
    QTest::addColumn<int>("items");
    QTest::addColumn<int>("pageBytes");
    QTest::addColumn<int>("orphans"); // pages of a block of URLs no item has
    QTest::addColumn<int>("foreign"); // blocks of a foreign file (and of a stale temporary)
    QTest::addColumn<int>("cap");     // blocks
    QTest::addColumn<int>("itemsLeft");
    QTest::addColumn<int>("orphansLeft");
    QTest::addColumn<int>("marked"); // the first items, as items with rules
    QTest::newRow("tiny pages kept") << false << false << 200 << 9 << 0 << 0 << 40 << 39 << 0 << 0;
    QTest::newRow("tiny pages accepted")
        << false << true << 200 << 9 << 0 << 0 << 40 << 40 << 0 << 0;
    QTest::newRow("foreign file") << false << true << 100 << 9 << 0 << 20 << 40 << 20 << 0 << 0;
    QTest::newRow("cache, room") << false << true << 20 << 3000 << 10 << 0 << 25 << 20 << 5 << 0;
    QTest::newRow("baselines, room") << true << true << 20 << 3000 << 10 << 0 << 25 << 20 << 5 << 0;
    QTest::newRow("cache, beyond") << false << true << 30 << 3000 << 10 << 0 << 25 << 25 << 0 << 0;
    QTest::newRow("baselines, beyond")
        << true << true << 30 << 3000 << 10 << 0 << 25 << 30 << 0 << 0;
    QTest::newRow("baselines kept") << true << false << 60 << 3000 << 0 << 0 << 25 << 60 << 0 << 0;
    QTest::newRow("rules, beyond") << false << true << 30 << 3000 << 10 << 0 << 25 << 25 << 0 << 10;
}

// The cap holds on the disk: pages of URLs no item has go first, then (a cache) the pages used
// least recently; baselines stay and are told. An unchanged run then writes and removes nothing.
void tst_KeptPages::cap()
{
    QFETCH(bool, baselines);
    QFETCH(bool, accepted);
    QFETCH(int, items);
    QFETCH(int, pageBytes);
    QFETCH(int, orphans);
    QFETCH(int, foreign);
    QFETCH(int, marked);
    QTemporaryDir dir;
    const QString folder = dir.path() + u"/"_s;
    QDir().mkpath(folder);
    struct stat st {
    };
    QCOMPARE(::stat(QFile::encodeName(folder).constData(), &st), 0);
    const qint64 block = st.st_blksize;
    const QString temporary =
        folder + QString::fromLatin1(AtomicFile::TemporaryPrefix.data()) + u"x"_s;
    for (const QString& path : {folder + u"notes.page"_s, temporary}) {
        QFile file(path);
        QVERIFY(foreign == 0 ||
                (file.open(QIODevice::WriteOnly) && file.write(QByteArray(foreign * block, 'x'))));
    }
    const utimbuf old{1000, 1000};
    ::utime(QFile::encodeName(temporary).constData(), &old);
    QFETCH(int, cap);
    for (int i = 1000; i < 1000 + orphans; ++i) {
        KeptPages(folder, cap * block).Accept({url(i), "text/plain", pageOf(i, pageBytes)});
        // Newer than any item's page: they go first for being no item's, not for their age.
        const utimbuf ahead{std::time(nullptr) + 3600 + i, std::time(nullptr) + 3600 + i};
        ::utime(QFile::encodeName(folder + KeptPages::FileName(url(i))).constData(), &ahead);
    }
    QStringList catalogue;
    for (int i = 0; i < items; ++i)
        catalogue << url(i);
    decltype(list(folder)) first;
    for (const bool again : {false, true}) {
        KeptPages store(folder, cap * block);
        store.SetBaselines(baselines);
        store.SetCatalogue(catalogue);
        for (int i = 0; i < marked; ++i)
            store.MarkBaseline(url(i));
        for (int i = 0; i < items; ++i) {
            const KeptPage page{url(i), "text/plain", pageOf(i, pageBytes)};
            accepted && !again ? store.Accept(page) : store.KeepIfMissing(page);
        }
        store.WaitIdle();
        QCOMPARE(store.BaselinesOverCap(), baselines && items > cap);
        if (!again)
            first = list(folder);
    }
    QCOMPARE(list(folder).first, first.first);
    QVERIFY(first.second <= cap * block || (baselines && items > cap));
    QFETCH(int, itemsLeft);
    QFETCH(int, orphansLeft);
    QCOMPARE(count(folder, 0, items), itemsLeft);
    QCOMPARE(count(folder, 1000, 1000 + orphans), orphansLeft);
    QCOMPARE(count(folder, 0, marked), marked);
    // The oldest went first; a page kept in advance never evicts.
    QVERIFY(count(folder, accepted ? items - 1 : 0, accepted ? items : 1));
    QVERIFY(orphansLeft == 0 || count(folder, 1000 + orphans - 1, 1000 + orphans));
    QCOMPARE(QFile::exists(folder + u"notes.page"_s), foreign > 0);
    QVERIFY(!QFile::exists(temporary));
}

void tst_KeptPages::orphans_data()
{
    QTest::addColumn<bool>("ended");     // CatalogueRunEnded
    QTest::addColumn<bool>("whole");     // as SetCatalogue got it
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
    const auto keep = [&](int i) { KeptPages(folder).Accept({url(i), "text/plain", "page"}); };
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
    QCOMPARE(count(folder, 0, 2), removed ? 1 : 2);
}

QTEST_MAIN(tst_KeptPages)
#include "tst_KeptPages.moc"
