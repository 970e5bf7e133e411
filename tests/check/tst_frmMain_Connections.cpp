// The check run with several connections: requests ahead, the visible run unchanged.
#include "app/CodePage.h"
#include "check/Inet.h"
#include "support/TestHttpServer.h"
#include "support/TestProgramFolder.h"
#include "support/WindowTesting.h"
#include "support/frmMainProbe.h"

#include <QListWidget>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace
{
const QByteArray Stored = "Wed, 01 Jan 2025 10:00:00 GMT";

TestResponse page(int delayMs, const QByteArray& lastModified, const QByteArray& body = "page")
{
    TestResponse r = Page(body, lastModified);
    r.delayMs = delayMs;
    r.headers.append(qMakePair(QByteArray("Connection"),
                               QByteArray("close"))); // every item connects, whatever N
    return r;
}

void writeSettings(const TestProgramFolder& folder, int connections)
{
    WriteAll(folder.ini(), "[Option]\r\nConnections=" + QByteArray::number(connections) + "\r\n");
}

struct Run {
    QStringList captions, list;
    QList<QStringList> results;
    QList<QByteArray> files;
};
} // namespace

class tst_frmMain_Connections final : public QObject
{
    Q_OBJECT
private slots:
    void sameRunForAnyNumber();
    void skipEndsOnlyTheCurrentRequest();
    void leavingCheckTabEndsEveryRequest();
    void headerFloodHarmsOnlyItself_data();
    void headerFloodHarmsOnlyItself();

private:
    Run run(int connections);
    TestHttpServer server_;
    MsgBoxCapture msgBox_;
};

// Out-of-order answers on one host: captions, list, results and files as one at a time.
Run tst_frmMain_Connections::run(int connections)
{
    const QList<TestResponse> pages{page(300, "Thu, 02 Jan 2025"), page(0, Stored),
                                    page(200, {}, "a longer page"), page(150, Stored),
                                    page(0, "Fri, 03 Jan 2025")};
    TestProgramFolder folder(0);
    frmMain window;
    frmMainProbe probe(window);
    writeSettings(folder, connections);
    QStringList titles;
    for (int i = 0; i < pages.size(); ++i) {
        server_.setResponse(u"/n%1"_s.arg(i), pages.at(i));
        titles << u"item %1"_s.arg(i);
        folder.writeItem(
            MakeItem(titles.last(), server_.url(u"/n%1"_s.arg(i)), 0, QString::fromLatin1(Stored)));
    }
    titles << u"refused"_s;
    static const quint16 refused = ClosedPort();
    folder.writeItem(MakeItem(titles.last(), u"http://127.0.0.1:%1/"_s.arg(refused)));
    Run r;
    connect(&window, &QWidget::windowTitleChanged, this,
            [&](const QString& caption) { r.captions << caption; });
    QSignalSpy unloaded(&window, &frmMain::Unloaded);
    server_.resetMaxInFlight();
    probe.LoadItems();
    [&] { QVERIFY(WaitForRunEnd(window, unloaded)); }();
    r.list = Lines(probe.lstCheck());
    for (const ItemRecord& item : probe.Results())
        r.results << ItemFields(item);
    for (const QString& title : titles)
        r.files << ReadAll(folder.itemPath(title));
    return r;
}

void tst_frmMain_Connections::sameRunForAnyNumber()
{
    QVERIFY(server_.listen());
    const Run one = run(1);
    QCOMPARE(server_.maxInFlight(), 1);
    const Run four = run(4);
    QCOMPARE(server_.maxInFlight(), 2); // four allowed, two to one host
    // Qt reports connecting to the request that opened the connection, which may be another
    // one when two start together; every other caption is the same.
    const auto withoutConnecting = [](QStringList captions) {
        captions.removeIf([](const QString& c) { return c.startsWith(u"接続中..."); });
        return captions;
    };
    QCOMPARE(withoutConnecting(four.captions), withoutConnecting(one.captions));
    QCOMPARE(four.list, one.list);
    QCOMPARE(four.results, one.results);
    QCOMPARE(four.files, one.files);
    QCOMPARE(one.list, QStringList({u"item 0"_s, u"item 2"_s, u"item 4"_s}));
    QVERIFY(one.files.last().contains(CodePage::ToAnsi(u"Info=エラー:")));
}

void tst_frmMain_Connections::skipEndsOnlyTheCurrentRequest()
{
    TestResponse hang;
    hang.hang = true;
    server_.setResponse(u"/hang"_s, hang);
    server_.setResponse(u"/s1"_s, page(0, "Sat, 04 Jan 2025"));
    TestProgramFolder folder(0);
    frmMain window;
    frmMainProbe probe(window);
    writeSettings(folder, 4);
    folder.writeItem(MakeItem(u"a hang"_s, server_.url(u"/hang"_s)));
    folder.writeItem(MakeItem(u"b page"_s, server_.url(u"/s1"_s)));
    QSignalSpy unloaded(&window, &frmMain::Unloaded);
    server_.resetMaxInFlight();
    probe.LoadItems();
    QTRY_COMPARE(server_.hits(u"/s1"_s), 1); // fetched ahead while the first hangs
    QCOMPARE(probe.CurrentIndex(), qint16(0));
    probe.SkipItem();
    QVERIFY(WaitForRunEnd(window, unloaded));
    QCOMPARE(Lines(probe.lstCheck()), QStringList{u"b page"_s});
    QCOMPARE(server_.hits(u"/s1"_s), 1);
    QTRY_COMPARE(server_.openConnections(), 0);
}

void tst_frmMain_Connections::leavingCheckTabEndsEveryRequest()
{
    TestHttpServer other;
    QVERIFY(other.listen(u"127.0.0.2"_s));
    TestResponse hang;
    hang.hang = true;
    server_.setResponse(u"/h"_s, hang);
    other.setResponse(u"/h"_s, hang);
    TestProgramFolder folder(0);
    frmMain window;
    frmMainProbe probe(window);
    writeSettings(folder, 8);
    for (int i = 0; i < 6; ++i)
        folder.writeItem(MakeItem(u"item %1"_s.arg(i), (i < 3 ? server_ : other).url(u"/h"_s)));
    server_.resetMaxInFlight();
    const int requestsBefore = server_.totalRequests();
    probe.LoadItems();
    QTRY_COMPARE(other.maxInFlight(), 2);
    QCOMPARE(server_.maxInFlight(), 2); // the third to the first host waits
    QSignalSpy states(probe.Inet1(), &Inet::StateChanged);
    probe.ShowSettingPane();
    QTRY_COMPARE(server_.openConnections() + other.openConnections(), 0);
    QTest::qWait(100);
    QCOMPARE(states.count(), 0);
    QCOMPARE(server_.totalRequests() - requestsBefore + other.totalRequests(), 4);
}

void tst_frmMain_Connections::headerFloodHarmsOnlyItself_data()
{
    QTest::addColumn<int>("connections");
    QTest::newRow("1 connection") << 1;
    QTest::newRow("8 connections") << 8;
}

// Header lines without end fail their own item at the header bound, long before the
// time-out; the good items around it, answered meanwhile, keep their files.
void tst_frmMain_Connections::headerFloodHarmsOnlyItself()
{
    QFETCH(int, connections);
    TestResponse flood;
    flood.raw = "HTTP/1.1 200 OK\r\n";
    flood.body = "X-Flood: " + QByteArray(100, 'f') + "\r\n";
    flood.endless = true;
    server_.setResponse(u"/flood"_s, flood);
    TestProgramFolder folder(0);
    frmMain window;
    frmMainProbe probe(window);
    probe.Inet1()->SetTimeoutMs(30000);
    writeSettings(folder, connections);
    QStringList titles;
    for (int i = 0; i < 6; ++i) {
        server_.setResponse(u"/good%1"_s.arg(i), page(100, Stored));
        titles << u"good %1"_s.arg(i);
        folder.writeItem(MakeItem(titles.last(), server_.url(u"/good%1"_s.arg(i)), 0,
                                  QString::fromLatin1(Stored)));
    }
    folder.writeItem(MakeItem(u"flood"_s, server_.url(u"/flood"_s)));
    QList<QByteArray> files;
    for (const QString& title : titles)
        files << ReadAll(folder.itemPath(title));
    QSignalSpy unloaded(&window, &frmMain::Unloaded);
    probe.LoadItems();
    QVERIFY(WaitForRunEnd(window, unloaded, 20000));
    QCOMPARE(folder.storedInfo(u"flood"_s), u"エラー:ヘッダーが大きすぎます"_s);
    for (qsizetype i = 0; i < titles.size(); ++i)
        QCOMPARE(ReadAll(folder.itemPath(titles.at(i))), files.at(i));
}

QTEST_MAIN(tst_frmMain_Connections)
#include "tst_frmMain_Connections.moc"
