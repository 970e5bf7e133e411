// The real check run over items whose servers misbehave: every item ends completed or failed,
// the run goes on to the next one and reaches its end, nothing but http and https is fetched,
// and the process stays within a fixed amount of memory.
#include "HostileServer.h"
#include "check/Inet.h"
#include "support/ProcessMemory.h"
#include "support/TestHttpServer.h"
#include "support/TestProgramFolder.h"
#include "support/WindowTesting.h"
#include "support/frmMainProbe.h"

#include <QListWidget>
#include <QTcpServer>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace
{
constexpr int TimeoutMs = 3000; // ends the silent servers; ample for the rest
constexpr qint64 MemoryBoundKiB = 50 * 1024;
} // namespace

class tst_frmMain_HostileServers final : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void runOverHostileServers();

private:
    TestHttpServer server_;
    QTemporaryDir files_;
    QString filePage_;
    QList<Hostile::Case> cases_;
    MsgBoxCapture msgBox_;
};

void tst_frmMain_HostileServers::initTestCase()
{
    QVERIFY(server_.listen());
    filePage_ = files_.filePath(u"page.html"_s);
    cases_ = Hostile::Serve(server_, filePage_);
    QVERIFY(!cases_.isEmpty());
}

void tst_frmMain_HostileServers::runOverHostileServers()
{
    struct Expect {
        QString title;
        bool mayComplete;
        bool mayFail;
    };
    QList<Expect> expected;
    TestProgramFolder folder(0);
    frmMain window; // over an empty folder: no run starts before the items are written
    frmMainProbe probe(window);
    // Every completed page counts as changed against this stored measure.
    const QString info = u"-1"_s;
    auto add = [&](const QString& title, const QString& url, bool mayComplete, bool mayFail) {
        folder.writeItem(MakeItem(title, url, 0, info));
        expected.append({title, mayComplete, mayFail});
    };
    for (int i = 0; i < cases_.size(); ++i) {
        QString name = QString::fromLatin1(cases_.at(i).name);
        name.replace(u'/', u' ').replace(u':', u' ');
        add(u"%1 %2"_s.arg(i, 2, 10, QChar(u'0')).arg(name.simplified()),
            server_.url(u"/h%1"_s.arg(i)), cases_.at(i).mayComplete, cases_.at(i).mayFail);
    }
    QTcpServer deaf; // the kernel accepts; nobody reads
    QVERIFY(deaf.listen(QHostAddress::LocalHost));
    deaf.pauseAccepting();
    add(u"50 listener that never accepts"_s, u"http://127.0.0.1:%1/"_s.arg(deaf.serverPort()),
        false, true);
    add(u"51 file URL"_s, QUrl::fromLocalFile(filePage_).toString(), false, true);
    add(u"52 ftp URL"_s, u"ftp://127.0.0.1/page.html"_s, false, true);
    add(u"53 ordinary page"_s, server_.url(u"/ok"_s), true, false);

    probe.Inet1()->SetTimeoutMs(TimeoutMs);
    // The window handles each state first and starts the next item from inside a terminal
    // one, so the item a request belongs to is taken at its first state.
    QHash<int, QList<int>> terminals; // item index -> terminal codes seen for it
    int requestItem = -1;
    connect(probe.Inet1(), &Inet::StateChanged, this, [&](int state) {
        if (state == Inet::icResolvingHost)
            requestItem = probe.CurrentIndex();
        else if (state == Inet::icResponseCompleted || state == Inet::icError)
            terminals[requestItem].append(state);
    });
    QSignalSpy unloaded(&window, &frmMain::Unloaded);

    QTest::qWait(100); // let start-up allocations settle before the baseline
    ProcessMemory::ResetPeak();
    const qint64 before = ProcessMemory::RssKiB();
    QVERIFY(before > 0);
    RssSampler sampler(20);
    sampler.start();
    probe.LoadItems();
    QCOMPARE(probe.LastIndex(), qint16(expected.size() - 1));
    QVERIFY(WaitForRunEnd(window, unloaded, 120000));
    sampler.stop();

    QCOMPARE(unloaded.count(), 0);
    QCOMPARE(window.windowTitle(), FinishedCaption);
    QCOMPARE(probe.CurrentIndex(), probe.LastIndex());

    QStringList completed;
    for (int i = 0; i < expected.size(); ++i) {
        const Expect& e = expected.at(i);
        const QList<int> codes = terminals.value(i);
        QVERIFY2(codes.size() == 1,
                 qPrintable(e.title + u": %1 terminal codes"_s.arg(codes.size())));
        const QString stored = folder.storedInfo(e.title);
        if (codes.first() == Inet::icResponseCompleted) {
            QVERIFY2(e.mayComplete, qPrintable(e.title + u" completed"_s));
            completed << e.title;
            QCOMPARE(stored, info); // nothing written without Save
        } else {
            QVERIFY2(e.mayFail, qPrintable(e.title + u" failed: "_s + stored));
            QVERIFY2(stored.startsWith(u"エラー:"_s), qPrintable(e.title + u": "_s + stored));
            QVERIFY(stored.size() < 4096);
        }
    }
    QCOMPARE(Lines(probe.lstCheck()), completed);
    for (const ItemRecord& result : probe.Results()) {
        bool ok = false;
        const int measure = result.Info.toInt(&ok);
        QVERIFY2(ok && measure >= 0 && measure <= Inet::MaxBodyBytes, qPrintable(result.Info));
    }
    for (const QByteArray& head : server_.requestHeads())
        QVERIFY(head.startsWith("GET /"));
    QVERIFY(msgBox_.messages.isEmpty());

    const qint64 peak = std::max(sampler.maxKiB(), ProcessMemory::PeakKiB());
    qInfo("memory at start %lld KiB, highest during the run %lld KiB", before, peak);
    if (ProcessMemory::BoundsMeaningful)
        QVERIFY2(peak - before < MemoryBoundKiB,
                 qPrintable(u"%1 KiB above the start"_s.arg(peak - before)));
}

QTEST_MAIN(tst_frmMain_HostileServers)
#include "tst_frmMain_HostileServers.moc"
