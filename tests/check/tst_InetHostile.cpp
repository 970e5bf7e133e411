// The transfer control against a misbehaving server: every request ends in exactly one of
// completed and failed, soon, and with bounded memory.
#include "HostileServer.h"
#include "check/ErrorInfo.h"
#include "check/Inet.h"
#include "support/ProcessMemory.h"
#include "support/TestHttpServer.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(TestResponse)

namespace
{
constexpr int TimeoutMs = 1500;
constexpr qint64 MemoryBoundKiB = 50 * 1024;

quint32 bitwiseCrc32(QByteArrayView data)
{
    quint32 crc = 0xFFFFFFFFu;
    for (char ch : data) {
        crc ^= uchar(ch);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}
} // namespace

class tst_InetHostile final : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void zeroBombIsValidDeflate_data();
    void zeroBombIsValidDeflate();
    void crcOfZeros();
    void hostileAnswer_data();
    void hostileAnswer();
    void listenerThatNeverAccepts();

private:
    TestHttpServer server_;
    QTemporaryDir dir_;
    QString filePage_;
    QList<Hostile::Case> cases_;
};

void tst_InetHostile::initTestCase()
{
    QVERIFY(server_.listen());
    filePage_ = dir_.filePath(u"page.html"_s);
    cases_ = Hostile::Serve(server_, filePage_);
    QVERIFY(!cases_.isEmpty());
}

void tst_InetHostile::zeroBombIsValidDeflate_data()
{
    QTest::addColumn<qint64>("matches");
    QTest::newRow("none") << qint64(0);
    QTest::newRow("one") << qint64(1);
    QTest::newRow("three") << qint64(3);
    QTest::newRow("1000") << qint64(1000);
    QTest::newRow("4001") << qint64(4001);
}

// The bomb's bytes decode, with zlib's own checks, to exactly the promised zeros.
void tst_InetHostile::zeroBombIsValidDeflate()
{
    QFETCH(qint64, matches);
    const qint64 size = Hostile::ZeroDeflateSize(matches);
    QByteArray framed(4, '\0');
    for (int i = 0; i < 4; ++i)
        framed[i] = char((size >> (8 * (3 - i))) & 0xFF);
    framed += Hostile::ZlibOfZeros(matches);
    QCOMPARE(qUncompress(framed), QByteArray(size, '\0'));
    QVERIFY(Hostile::ZeroDeflate(matches).size() <= 64 + matches / 4);
}

void tst_InetHostile::crcOfZeros()
{
    for (qint64 n : {0, 1, 2, 7, 258, 1000, 65536})
        QCOMPARE(Hostile::Crc32OfZeros(n), bitwiseCrc32(QByteArray(n, '\0')));
    QCOMPARE(Hostile::GzipOfZeros(Hostile::BombMatches).size(),
             10 + Hostile::ZeroDeflate(Hostile::BombMatches).size() + 8);
    QVERIFY(Hostile::ZeroDeflateSize(Hostile::BombMatches) > 1000LL * 1000 * 1000);
    QVERIFY(Hostile::GzipOfZeros(Hostile::BombMatches).size() < 1100 * 1000);
}

void tst_InetHostile::hostileAnswer_data()
{
    QTest::addColumn<int>("index");
    for (int i = 0; i < cases_.size(); ++i)
        QTest::newRow(cases_.at(i).name) << i;
}

void tst_InetHostile::hostileAnswer()
{
    QFETCH(int, index);
    const Hostile::Case& c = cases_.at(index);
    const bool isBomb = QByteArrayView(c.name).contains("bomb");

    ProcessMemory::ResetPeak();
    const qint64 before = ProcessMemory::RssKiB();
    RssSampler sampler(10);
    sampler.start();

    // A bomb must end by itself, not by the time-out; a page that must complete gets all the
    // time a slow machine may need. The short time-out is for the answers that never end.
    const int timeoutMs = isBomb || !c.mayFail ? Inet::DefaultTimeoutMs : TimeoutMs;
    Inet inet;
    inet.SetTimeoutMs(timeoutMs);
    QList<int> states;
    QString body;
    QString info;
    connect(&inet, &Inet::StateChanged, this, [&](int state) {
        states << state;
        if (state == Inet::icResponseCompleted || state == Inet::icError) {
            body = inet.GetChunk(Inet::MaxBodyBytes);
            info = inet.ResponseInfo();
        }
    });
    inet.Execute(server_.url(u"/h%1"_s.arg(index)));
    const auto terminals = [&] {
        return states.count(Inet::icResponseCompleted) + states.count(Inet::icError);
    };
    QVERIFY(QTest::qWaitFor([&] { return terminals() > 0; }, timeoutMs + 10000));
    QTest::qWait(200); // anything raised after the end would arrive now
    sampler.stop();

    QCOMPARE(terminals(), 1);
    const int terminal = states.constLast();
    if (terminal == Inet::icResponseCompleted) {
        QVERIFY2(c.mayComplete, qPrintable(u"completed with %1 bytes"_s.arg(body.size())));
        QVERIFY(body.size() <= Inet::MaxBodyBytes);
        if (isBomb)
            QCOMPARE(body, QString(Inet::MaxBodyBytes, QChar(0)));
    } else {
        QVERIFY2(c.mayFail, qPrintable(info));
        QVERIFY(!info.isEmpty());
        QVERIFY(!ErrorInfo(info).contains(u'\n') && !ErrorInfo(info).contains(u'\r'));
        QVERIFY(info.size() < 4096);
        if (isBomb)
            QVERIFY2(info != u"応答がタイムアウトしました"_s,
                     "the transfer waited for its time-out");
    }
    QVERIFY(!body.contains(QString::fromLatin1(Hostile::FileMarker)));

    const qint64 peak = std::max(sampler.maxKiB(), ProcessMemory::PeakKiB());
    qInfo("%s after %d states, %lld body bytes, %lld KiB above the start; %s",
          terminal == Inet::icResponseCompleted ? "completed" : "failed", int(states.size()),
          qint64(body.size()), peak - before, qPrintable(info.left(120)));
    if (ProcessMemory::BoundsMeaningful)
        QVERIFY2(peak - before < MemoryBoundKiB,
                 qPrintable(u"%1 KiB above the start"_s.arg(peak - before)));
}

void tst_InetHostile::listenerThatNeverAccepts()
{
    // The kernel completes the connection; nobody ever reads the request.
    QTcpServer deaf;
    QVERIFY(deaf.listen(QHostAddress::LocalHost));
    deaf.pauseAccepting();
    Inet inet;
    inet.SetTimeoutMs(TimeoutMs);
    QSignalSpy spy(&inet, &Inet::StateChanged);
    inet.Execute(u"http://127.0.0.1:%1/"_s.arg(deaf.serverPort()));
    QVERIFY(QTest::qWaitFor([&] { return !spy.isEmpty() && spy.constLast().at(0).toInt() >= 11; },
                            TimeoutMs + 5000));
    QCOMPARE(spy.constLast().at(0).toInt(), int(Inet::icError));
    QVERIFY(!inet.ResponseInfo().isEmpty());
}

QTEST_GUILESS_MAIN(tst_InetHostile)
#include "tst_InetHostile.moc"
