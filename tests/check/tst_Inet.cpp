#include "app/CodePage.h"
#include "check/Fetch.h"
#include "check/Inet.h"
#include "check/WebAddress.h"
#include "support/TestHttpServer.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <zlib.h>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(TestResponse)

namespace
{
bool isTerminal(int state)
{
    return state == Inet::icError || state == Inet::icResponseCompleted;
}

// Records the states of one Inet and notes any that arrives while Execute is running.
class Recorder final
{
public:
    explicit Recorder(Inet& inet) : inet_(inet)
    {
        QObject::connect(&inet_, &Inet::StateChanged, &context_, [this](int state) {
            if (insideExecute_)
                emittedInsideExecute = true;
            states << state;
            if (isTerminal(state)) {
                if (readBody)
                    body = inet_.GetChunk(Inet::MaxBodyBytes);
                info = inet_.ResponseInfo();
                lastModified = inet_.GetHeader(u"Last-modified"_s);
            }
            if (onState)
                onState(state);
        });
    }

    void execute(const QString& url)
    {
        insideExecute_ = true;
        inet_.Execute(url);
        insideExecute_ = false;
    }

    // Waits for the terminal state, then a little longer to catch anything raised after it.
    bool waitForEnd(int timeoutMs = 15000)
    {
        const bool ended = QTest::qWaitFor([this] { return terminalCount() > 0; }, timeoutMs);
        QTest::qWait(100);
        return ended;
    }

    int terminalCount() const
    {
        return int(std::count_if(states.cbegin(), states.cend(), isTerminal));
    }
    int terminal() const { return states.isEmpty() ? -1 : states.constLast(); }

    // 1 first, then rising codes (so each at most once), exactly one terminal code, at the end.
    void verifySequence() const
    {
        QVERIFY2(!states.isEmpty(), "no state");
        QCOMPARE(states.constFirst(), int(Inet::icResolvingHost));
        for (qsizetype i = 1; i < states.size(); ++i)
            QVERIFY2(states.at(i) > states.at(i - 1), qPrintable(sequenceText()));
        QCOMPARE(terminalCount(), 1);
        QVERIFY(isTerminal(states.constLast()));
        QVERIFY(!emittedInsideExecute);
    }

    QString sequenceText() const
    {
        QStringList parts;
        for (int s : states)
            parts << QString::number(s);
        return parts.join(u',');
    }

    QList<int> states;
    QString body; // the first block, read at the end unless readBody is cleared
    bool readBody = true;
    QString info;
    QString lastModified;
    bool emittedInsideExecute = false;
    std::function<void(int)> onState;

private:
    Inet& inet_;
    QObject context_;
    bool insideExecute_ = false;
};

// windowBits as zlib takes them: 15 zlib wrapper, 31 gzip, -15 bare deflate.
QByteArray packed(const QByteArray& data, int windowBits, qint64 zeroBytes = 0)
{
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, windowBits, 9, Z_DEFAULT_STRATEGY);
    QByteArray out;
    char buffer[16384];
    const QByteArray zeros(1 << 20, '\0');
    auto run = [&](const QByteArray& in, int flush) {
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.constData()));
        z.avail_in = uInt(in.size());
        do {
            z.next_out = reinterpret_cast<Bytef*>(buffer);
            z.avail_out = sizeof buffer;
            deflate(&z, flush);
            out.append(buffer, qsizetype(sizeof buffer - z.avail_out));
        } while (z.avail_out == 0);
    };
    for (qint64 left = zeroBytes; left > 0; left -= zeros.size())
        run(zeros.left(std::min<qint64>(left, zeros.size())), Z_NO_FLUSH);
    run(data, Z_FINISH);
    deflateEnd(&z);
    return out;
}

TestResponse response(int status, const QByteArray& body,
                      QList<QPair<QByteArray, QByteArray>> headers = {})
{
    TestResponse r;
    r.status = status;
    r.body = body;
    r.headers = std::move(headers);
    return r;
}

QByteArray pattern(qsizetype size)
{
    QByteArray data;
    data.reserve(size);
    for (qsizetype i = 0; i < size; ++i)
        data += char('a' + i % 26);
    return data;
}
} // namespace

class tst_Inet final : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void outcome_data();
    void outcome();
    void noEventAfterCancel_data();
    void noEventAfterCancel();
    void executeRightAfterCancel();
    void executeFromInsideTerminalEvent_data();
    void executeFromInsideTerminalEvent();
    void timeOut();
    void largeBodyStopsTheTransfer_data();
    void largeBodyStopsTheTransfer();
    void compressedBody_data();
    void compressedBody();
    void getHeader_data();
    void getHeader();
    void getChunk_data();
    void getChunk();
    void webAddress_data();
    void webAddress();
    void requestHead();
    void urlPropertyAndKeepAlive();
    void serverOnItsOwnThread();
    void boundsPerRequest_data();
    void boundsPerRequest();
    void errorText_data();
    void errorText();
    void proxyFromEnvironment();

private:
    TestHttpServer server_;
};

void tst_Inet::initTestCase()
{
    QVERIFY(server_.listen());
}

void tst_Inet::outcome_data()
{
    QTest::addColumn<QString>("url"); // "/path" on the test server, or a full URL
    QTest::addColumn<TestResponse>("response");
    QTest::addColumn<int>("terminal");
    QTest::addColumn<QByteArray>("body");

    const QByteArray page = "<html><body>hello</body></html>";
    QTest::newRow("200") << u"/ok"_s << response(200, page) << 12 << page;
    QTest::newRow("empty 200") << u"/empty"_s << response(200, {}) << 12 << QByteArray();
    QTest::newRow("204") << u"/nocontent"_s << response(204, {}) << 12 << QByteArray();
    QTest::newRow("404 keeps its body")
        << u"/missing"_s << response(404, "no such page") << 12 << QByteArray("no such page");
    QTest::newRow("500 keeps its body")
        << u"/broken"_s << response(500, "server fault") << 12 << QByteArray("server fault");
    QTest::newRow("503") << u"/busy"_s << response(503, "later") << 12 << QByteArray("later");
    QTest::newRow("401 without challenge")
        << u"/auth"_s << response(401, "who are you") << 12 << QByteArray("who are you");
    TestResponse unscripted;
    unscripted.status = 0; // left out of the script
    QTest::newRow("unknown path is 404")
        << u"/not-scripted"_s << unscripted << 12 << QByteArray("Not Found");

    TestResponse chunked = response(200, page);
    chunked.chunked = true;
    QTest::newRow("path with blank and query")
        << u"/a page?x=1"_s << response(200, "spaced") << 12 << QByteArray("spaced");
    QTest::newRow("chunked") << u"/chunked"_s << chunked << 12 << page;

    TestResponse delayed = response(200, page);
    delayed.delayMs = 200;
    QTest::newRow("delayed") << u"/delayed"_s << delayed << 12 << page;

    TestResponse trickle = response(200, pattern(300));
    trickle.bytesPerSecond = 3000;
    QTest::newRow("trickled") << u"/trickle"_s << trickle << 12 << pattern(300);

    QTest::newRow("redirect") << u"/redirect"_s << response(302, "moved", {{"Location", "/ok"}})
                              << 12 << page;
    QTest::newRow("redirect to absolute URL")
        << u"/redirect-abs"_s << response(301, {}, {{"Location", "http://127.0.0.1:%1/ok"}}) << 12
        << page;
    QTest::newRow("redirect to ftp")
        << u"/redirect-ftp"_s << response(302, {}, {{"Location", "ftp://127.0.0.1/x"}}) << 11
        << QByteArray();
    QTest::newRow("redirect to file")
        << u"/redirect-file"_s << response(302, {}, {{"Location", "file:///etc/passwd"}}) << 11
        << QByteArray();
    QTest::newRow("seven redirects in a row") << u"/c1"_s << unscripted << 12 << QByteArray("end");
    QTest::newRow("redirect loop, connection closed")
        << u"/loopc"_s << response(302, {}, {{"Location", "/loopc"}, {"Connection", "close"}}) << 11
        << QByteArray();
    TestResponse hugeRedirect = response(307, {}, {{"Location", "/ok"}});
    hugeRedirect.endless = true;
    QTest::newRow("redirect with endless body")
        << u"/redirect-endless"_s << hugeRedirect << 12 << page;
    QTest::newRow("redirect loop")
        << u"/loop"_s << response(302, {}, {{"Location", "/loop"}}) << 11 << QByteArray();

    TestResponse cut = response(200, pattern(5000));
    cut.closeAfterBytes = 2000;
    QTest::newRow("closed mid-body") << u"/cut"_s << cut << 11 << QByteArray();

    TestResponse garbage;
    garbage.raw = "this is not HTTP at all\r\n\r\n";
    QTest::newRow("garbage") << u"/garbage"_s << garbage << 11 << QByteArray();

    TestResponse onlyInterim;
    onlyInterim.raw = "HTTP/1.1 100 Continue\r\n\r\n";
    QTest::newRow("interim response only") << u"/interim"_s << onlyInterim << 11 << QByteArray();

    TestResponse silent;
    silent.closeAfterBytes = 0;
    QTest::newRow("closed without answer") << u"/silent"_s << silent << 11 << QByteArray();

    QTest::newRow("refused") << u"http://127.0.0.1:%1/"_s.arg(ClosedPort()) << TestResponse{} << 11
                             << QByteArray();
    QTest::newRow("https to a plain HTTP server")
        << u"https://127.0.0.1:%1/ok"_s << TestResponse{} << 11 << QByteArray();
    QTest::newRow("ftp scheme") << u"ftp://127.0.0.1/file"_s << TestResponse{} << 11
                                << QByteArray();
    QTest::newRow("file scheme") << u"file:///etc/hostname"_s << TestResponse{} << 11
                                 << QByteArray();
    QTest::newRow("mailto") << u"mailto:someone@example.com"_s << TestResponse{} << 11
                            << QByteArray();
    QTest::newRow("empty URL") << QString() << TestResponse{} << 11 << QByteArray();
    QTest::newRow("no host") << u"http://"_s << TestResponse{} << 11 << QByteArray();
    QTest::newRow("line break in host")
        << u"http://bad\nhost name/\npath"_s << TestResponse{} << 11 << QByteArray();
    QTest::newRow("bad port") << u"http://127.0.0.1:99999/"_s << TestResponse{} << 11
                              << QByteArray();
}

void tst_Inet::outcome()
{
    QFETCH(QString, url);
    QFETCH(TestResponse, response);
    QFETCH(int, terminal);
    QFETCH(QByteArray, body);
    // Qt warns when a reply is misused, e.g. aborted from inside its own error report.
    QTest::failOnWarning(QRegularExpression(u"QNetworkReply"_s));

    server_.setResponse(u"/ok"_s, ::response(200, "<html><body>hello</body></html>"));
    const QString path = url.startsWith(u'/') ? url : QString();
    const int hitsBefore = server_.hits(path);
    for (int i = 1; i < 8; ++i) {
        server_.setResponse(u"/c%1"_s.arg(i),
                            ::response(303, {}, {{"Location", "/c" + QByteArray::number(i + 1)}}));
    }
    server_.setResponse(u"/c8"_s, ::response(200, "end"));
    if (url.startsWith(u'/')) {
        for (auto& header : response.headers)
            header.second.replace("%1", QByteArray::number(server_.port()));
        if (response.status != 0)
            server_.setResponse(url, response);
        url = server_.url(url);
    } else if (url.contains(u"%1")) {
        url = url.arg(server_.port());
    }

    Inet inet;
    Recorder recorder(inet);
    recorder.execute(url);
    QVERIFY(recorder.states.isEmpty());
    QVERIFY2(recorder.waitForEnd(), qPrintable(recorder.sequenceText()));
    recorder.verifySequence();
    QCOMPARE(recorder.terminal(), terminal);
    if (!path.isEmpty()) {
        QVERIFY(server_.hits(path) > hitsBefore);
        QCOMPARE(
            server_.hits(QString::fromLatin1(
                QUrl(server_.url(path)).toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority))),
            server_.hits(path));
    }
    if (terminal == Inet::icResponseCompleted) {
        QCOMPARE(recorder.body, CodePage::FromAnsi(body));

        QVERIFY(recorder.states.contains(Inet::icResponseReceived));
    } else {
        QVERIFY(!recorder.info.isEmpty());
    }
}

void tst_Inet::noEventAfterCancel_data()
{
    QTest::addColumn<int>("cancelAt"); // 0: right after Execute, else from inside that state

    QTest::newRow("right after Execute") << 0;
    QTest::newRow("on resolving") << int(Inet::icResolvingHost);
    QTest::newRow("on connecting") << int(Inet::icConnecting);
    QTest::newRow("on request sent") << int(Inet::icRequestSent);
    QTest::newRow("on receiving") << int(Inet::icReceivingResponse);
}

void tst_Inet::noEventAfterCancel()
{
    QFETCH(int, cancelAt);
    TestResponse slow = response(200, pattern(2000));
    slow.bytesPerSecond = 4000;
    server_.setResponse(u"/slow"_s, slow);

    Inet inet;
    Recorder recorder(inet);
    recorder.onState = [&](int state) {
        if (state == cancelAt)
            inet.Cancel();
    };
    recorder.execute(server_.url(u"/slow"_s));
    if (cancelAt == 0)
        inet.Cancel();
    QTest::qWait(1000);
    if (cancelAt == 0) {
        QVERIFY(recorder.states.isEmpty());
    } else {
        QVERIFY2(!recorder.states.isEmpty(), "the state to cancel on never came");
        QCOMPARE(recorder.states.constLast(), cancelAt);
    }
    QCOMPARE(recorder.terminalCount(), 0);
}

void tst_Inet::executeRightAfterCancel()
{
    TestResponse slow = response(200, "first");
    slow.delayMs = 300;
    server_.setResponse(u"/first"_s, slow);
    server_.setResponse(u"/second"_s, response(200, "second"));

    Inet inet;
    Recorder recorder(inet);
    recorder.execute(server_.url(u"/first"_s));
    inet.Cancel();
    recorder.execute(server_.url(u"/second"_s));
    QVERIFY(recorder.waitForEnd());
    QTest::qWait(400); // the first answer would have come by now
    recorder.verifySequence();
    QCOMPARE(recorder.terminal(), int(Inet::icResponseCompleted));
    QCOMPARE(recorder.body, u"second"_s);

    // A second Execute without Cancel replaces the request in flight the same way.
    recorder.states.clear();
    recorder.execute(server_.url(u"/first"_s));
    recorder.execute(server_.url(u"/second"_s));
    QVERIFY(recorder.waitForEnd());
    QTest::qWait(400);
    recorder.verifySequence();
    QCOMPARE(recorder.body, u"second"_s);
}

void tst_Inet::executeFromInsideTerminalEvent_data()
{
    QTest::addColumn<QString>("firstPath");
    QTest::addColumn<int>("firstTerminal");

    QTest::newRow("after completion") << u"/chain-ok"_s << int(Inet::icResponseCompleted);
    QTest::newRow("after error") << u"/chain-garbage"_s << int(Inet::icError);
}

void tst_Inet::executeFromInsideTerminalEvent()
{
    QFETCH(QString, firstPath);
    QFETCH(int, firstTerminal);
    TestResponse garbage;
    garbage.raw = "garbage\r\n\r\n";
    server_.setResponse(u"/chain-garbage"_s, garbage);
    server_.setResponse(u"/chain-ok"_s, response(200, "one"));
    server_.setResponse(u"/chain-next"_s, response(200, "two"));

    // The check run starts the next request from inside the handler of the last one.
    Inet inet;
    QList<int> states;
    QString secondBody;
    connect(&inet, &Inet::StateChanged, this, [&](int state) {
        states << state;
        if (states.count(Inet::icResponseCompleted) + states.count(Inet::icError) == 1 &&
            isTerminal(state)) {
            inet.Execute(server_.url(u"/chain-next"_s));
            states << -1;
        } else if (isTerminal(state)) {
            secondBody = inet.GetChunk(Inet::MaxBodyBytes);
        }
    });
    inet.Execute(server_.url(firstPath));
    QVERIFY(QTest::qWaitFor([&] { return !secondBody.isEmpty(); }, 10000));
    QTest::qWait(100);
    const qsizetype split = states.indexOf(-1);
    QVERIFY(split > 0);
    QCOMPARE(states.at(split - 1), firstTerminal);
    QCOMPARE(states.at(split + 1), int(Inet::icResolvingHost));
    QCOMPARE(states.constLast(), int(Inet::icResponseCompleted));
    QCOMPARE(states.count(Inet::icResolvingHost), 2);
    QCOMPARE(secondBody, u"two"_s);
}

void tst_Inet::timeOut()
{
    TestResponse hang;
    hang.hang = true;
    server_.setResponse(u"/hang"_s, hang);
    TestResponse slow = response(200, pattern(10000));
    slow.bytesPerSecond = 1000;
    server_.setResponse(u"/endless-trickle"_s, slow);

    for (const QString& path : {u"/hang"_s, u"/endless-trickle"_s}) {
        Inet inet;
        inet.SetTimeoutMs(300);
        Recorder recorder(inet);
        QElapsedTimer clock;
        clock.start();
        recorder.execute(server_.url(path));
        QVERIFY(recorder.waitForEnd(5000));
        recorder.verifySequence();
        QCOMPARE(recorder.terminal(), int(Inet::icError));
        QVERIFY(!recorder.info.isEmpty());
        QVERIFY(clock.elapsed() >= 300);
    }
}

void tst_Inet::largeBodyStopsTheTransfer_data()
{
    QTest::addColumn<TestResponse>("response");
    QTest::addColumn<bool>("endless");

    TestResponse big = response(200, pattern(1040));
    big.bodyLength = 256LL * 1024 * 1024;
    QTest::newRow("256 MB with length") << big << false;
    TestResponse bigChunked = big;
    bigChunked.chunked = true;
    QTest::newRow("256 MB chunked") << bigChunked << false;
    TestResponse bigError = big;
    bigError.status = 500;
    QTest::newRow("256 MB error page") << bigError << false;
    TestResponse endless = response(200, pattern(1040));
    endless.endless = true;
    QTest::newRow("endless") << endless << true;
    TestResponse justOver = response(200, pattern(Inet::MaxBodyBytes + 1));
    QTest::newRow("one byte over") << justOver << false;
}

void tst_Inet::largeBodyStopsTheTransfer()
{
    QFETCH(TestResponse, response);
    QFETCH(bool, endless);
    server_.setResponse(u"/large"_s, response);
    const int unfinishedBefore = server_.unfinishedResponses();
    const qint64 sentBefore = server_.bytesSent();

    Inet inet;
    Recorder recorder(inet);
    recorder.execute(server_.url(u"/large"_s));
    QVERIFY(recorder.waitForEnd());
    recorder.verifySequence();
    QCOMPARE(recorder.terminal(), int(Inet::icResponseCompleted));
    QCOMPARE(recorder.body.size(), Inet::MaxBodyBytes);
    QCOMPARE(recorder.body,
             QString::fromLatin1(pattern(Inet::MaxBodyBytes + 1000).left(Inet::MaxBodyBytes)));
    QCOMPARE(inet.GetChunk(Inet::MaxBodyBytes), QString());

    if (response.bodyLength > 0 || endless) {
        // The server notices the closed connection long before it could send everything.
        QVERIFY(QTest::qWaitFor(
            [&] { return server_.unfinishedResponses() == unfinishedBefore + 1; }, 5000));
        QVERIFY(server_.bytesSent() - sentBefore < 64LL * 1024 * 1024);
    }
}

void tst_Inet::compressedBody_data()
{
    QTest::addColumn<QByteArray>("encoding");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("chunked");
    QTest::addColumn<int>("terminal");
    QTest::addColumn<QByteArray>("body");

    const QByteArray text = QByteArray("<p>compressed page</p>").repeated(50);
    const QByteArray big = pattern(200000);
    QTest::newRow("gzip") << QByteArray("gzip") << packed(text, 31) << false << 12 << text;
    QTest::newRow("gzip, chunked") << QByteArray("gzip") << packed(text, 31) << true << 12 << text;
    QTest::newRow("x-gzip") << QByteArray("x-gzip") << packed(text, 31) << false << 12 << text;
    QTest::newRow("deflate") << QByteArray("deflate") << packed(text, 15) << false << 12 << text;
    QTest::newRow("deflate without zlib wrapper")
        << QByteArray("deflate") << packed(text, -15) << false << 12 << text;
    QTest::newRow("identity") << QByteArray("identity") << text << false << 12 << text;
    QTest::newRow("gzip over the limit")
        << QByteArray("gzip") << packed(big, 31) << false << 12 << big.left(Inet::MaxBodyBytes);
    // 64 MB of zeros in about 64 KB, then the text: only the first 65,535 zeros are kept.
    QTest::newRow("gzip bomb") << QByteArray("gzip") << packed(text, 31, 64LL << 20) << false << 12
                               << QByteArray(Inet::MaxBodyBytes, '\0');
    QTest::newRow("gzip bomb, chunked") << QByteArray("gzip") << packed(text, 31, 32LL << 20)
                                        << true << 12 << QByteArray(Inet::MaxBodyBytes, '\0');
    // A server's compression mistakes are measured as the bytes came.
    QTest::newRow("corrupt gzip") << QByteArray("gzip") << QByteArray("\x1f\x8b\x08garbage!")
                                  << false << 12 << QByteArray("\x1f\x8b\x08garbage!");
    QTest::newRow("not compressed at all") << QByteArray("gzip") << QByteArray("plain text here")
                                           << false << 12 << QByteArray("plain text here");
    QTest::newRow("unsupported coding") << QByteArray("br") << text << false << 12 << text;
    QTest::newRow("coding none") << QByteArray("none") << text << true << 12 << text;
    const QByteArray layered = packed(packed(text, 31), 31);
    QTest::newRow("layered codings")
        << QByteArray("gzip, gzip") << layered << false << 12 << layered;
}

void tst_Inet::compressedBody()
{
    QFETCH(QByteArray, encoding);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, chunked);
    QFETCH(int, terminal);
    QFETCH(QByteArray, body);
    TestResponse r = response(200, bytes, {{"Content-Encoding", encoding}});
    r.chunked = chunked;
    server_.setResponse(u"/packed"_s, r);

    Inet inet;
    Recorder recorder(inet);
    recorder.execute(server_.url(u"/packed"_s));
    QVERIFY(recorder.waitForEnd());
    recorder.verifySequence();
    QVERIFY2(recorder.terminal() == terminal, qPrintable(recorder.info));
    QCOMPARE(recorder.body, CodePage::FromAnsi(body));
    if (terminal == Inet::icError)
        QVERIFY(!recorder.info.isEmpty());
    QVERIFY(server_.requestHeads().constLast().contains("\r\nAccept-Encoding: gzip, deflate\r\n"));
}

void tst_Inet::getHeader_data()
{
    QTest::addColumn<QByteArray>("sentName");
    QTest::addColumn<QByteArray>("sentValue");
    QTest::addColumn<QString>("askedName");
    QTest::addColumn<QString>("expected");

    const QByteArray date = "Wed, 21 Oct 2015 07:28:00 GMT";
    QTest::newRow("usual spelling")
        << QByteArray("Last-Modified") << date << u"Last-modified"_s << QString::fromLatin1(date);
    QTest::newRow("lower case sent")
        << QByteArray("last-modified") << date << u"Last-modified"_s << QString::fromLatin1(date);
    QTest::newRow("upper case asked")
        << QByteArray("Last-Modified") << date << u"LAST-MODIFIED"_s << QString::fromLatin1(date);
    QTest::newRow("absent") << QByteArray("X-Other") << date << u"Last-modified"_s << QString();
    QTest::newRow("value kept as sent")
        << QByteArray("Last-Modified") << QByteArray("wed, 21 OCT 2015  07:28:00 gmt")
        << u"Last-modified"_s << u"wed, 21 OCT 2015  07:28:00 gmt"_s;
    QTest::newRow("CP932 bytes") << QByteArray("Last-Modified")
                                 << CodePage::ToAnsi(u"更新日 2015年"_s) << u"Last-modified"_s
                                 << u"更新日 2015年"_s;
}

void tst_Inet::getHeader()
{
    QFETCH(QByteArray, sentName);
    QFETCH(QByteArray, sentValue);
    QFETCH(QString, askedName);
    QFETCH(QString, expected);
    server_.setResponse(u"/header"_s, response(200, "x", {{sentName, sentValue}}));

    Inet inet;
    Recorder recorder(inet);
    QString seen = u"not read"_s;
    recorder.onState = [&](int state) {
        if (state == Inet::icResponseCompleted)
            seen = inet.GetHeader(askedName);
    };
    recorder.execute(server_.url(u"/header"_s));
    QVERIFY(recorder.waitForEnd());
    QCOMPARE(recorder.terminal(), int(Inet::icResponseCompleted));
    QCOMPARE(seen, expected);
}

void tst_Inet::getChunk_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("size");
    QTest::addColumn<QStringList>("chunks");

    const QByteArray sjis = CodePage::ToAnsi(u"日本語のページ abc ｱｲｳ"_s);
    QTest::newRow("whole Shift-JIS body")
        << sjis << 65535 << QStringList{u"日本語のページ abc ｱｲｳ"_s};
    QTest::newRow("never split a double-byte character")
        << CodePage::ToAnsi(u"あい"_s) << 3 << QStringList{u"あ"_s, u"い"_s};
    QTest::newRow("single byte before a double-byte one")
        << CodePage::ToAnsi(u"aあb"_s) << 2 << QStringList{u"a"_s, u"あ"_s, u"b"_s};
    QTest::newRow("trail byte in lead range")
        << CodePage::ToAnsi(u"ソ表"_s) << 3 << QStringList{u"ソ"_s, u"表"_s};
    QTest::newRow("half-width katakana are single bytes")
        << CodePage::ToAnsi(u"ｱｲｳ"_s) << 2 << QStringList{u"ｱｲ"_s, u"ｳ"_s};
    QTest::newRow("block of one lead byte cannot be kept whole")
        << CodePage::ToAnsi(u"あ"_s) << 1
        << QStringList{QString(QChar(0xFFFD)), QString(QChar(0xFFFD))};
    QTest::newRow("invalid byte") << QByteArray("a\xff"
                                                "b")
                                  << 65535 << QStringList{u"a"_s + QChar(0xFFFD) + u"b"_s};
    QTest::newRow("empty body") << QByteArray() << 65535 << QStringList{};
}

void tst_Inet::getChunk()
{
    QFETCH(QByteArray, body);
    QFETCH(int, size);
    QFETCH(QStringList, chunks);
    server_.setResponse(u"/chunk"_s, response(200, body));

    Inet inet;
    Recorder recorder(inet);
    recorder.readBody = false;
    recorder.execute(server_.url(u"/chunk"_s));
    QVERIFY(recorder.waitForEnd());
    QCOMPARE(recorder.terminal(), int(Inet::icResponseCompleted));
    QStringList got;
    for (QString chunk = inet.GetChunk(size); !chunk.isEmpty(); chunk = inet.GetChunk(size))
        got << chunk;
    QCOMPARE(got, chunks);
}

void tst_Inet::webAddress_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("address");
    QTest::newRow("no scheme") << u" www.example.com/news "_s << u"http://www.example.com/news"_s;
    QTest::newRow("scheme kept") << u"https://example.com/a"_s << u"https://example.com/a"_s;
}

// Execute fetches what OpenInBrowser opens, so a URL without a scheme is http, not an error.
void tst_Inet::webAddress()
{
    QFETCH(QString, text);
    QFETCH(QString, address);
    QCOMPARE(WebAddress(text).toString(), address);
}

void tst_Inet::requestHead()
{
    server_.setResponse(u"/head"_s, response(200, "x"));
    Inet inet;
    Recorder recorder(inet);
    recorder.execute(server_.url(u"/head"_s));
    QVERIFY(recorder.waitForEnd());
    const QByteArray head = server_.requestHeads().constLast();
    QVERIFY2(head.startsWith("GET /head HTTP/1.1\r\n"), head.constData());
    QVERIFY2(head.contains("\r\nUser-Agent: SiteVigil/" SITEVIGIL_VERSION "\r\n"),
             head.constData());
}

void tst_Inet::urlPropertyAndKeepAlive()
{
    server_.setResponse(u"/k1"_s, response(200, "one"));
    server_.setResponse(u"/k2"_s, response(200, "two"));
    Inet inet;
    Recorder recorder(inet);
    const int connectionsBefore = server_.connectionCount();
    const QList<QString> paths{u"/k1"_s, u"/k2"_s, u"/k1"_s};
    for (const QString& path : paths) {
        recorder.states.clear();
        inet.URL = server_.url(path);
        inet.Execute();
        QVERIFY(recorder.waitForEnd());
        recorder.verifySequence();
        QCOMPARE(recorder.body, path == u"/k1" ? u"one"_s : u"two"_s);
    }
    QCOMPARE(server_.connectionCount(), connectionsBefore + 1);
}

void tst_Inet::serverOnItsOwnThread()
{
    QThread thread;
    auto* server = new TestHttpServer;
    QVERIFY(server->listen());
    TestResponse big = response(200, pattern(700));
    big.bodyLength = 100LL * 1024 * 1024;
    server->setResponse(u"/big"_s, big);
    server->setResponse(u"/small"_s, response(200, "small"));
    server->moveToThread(&thread);
    connect(&thread, &QThread::finished, server, &QObject::deleteLater);
    thread.start();

    Inet inet;
    Recorder recorder(inet);
    for (const QString& path : {u"/small"_s, u"/big"_s, u"/small"_s}) {
        recorder.states.clear();
        recorder.execute(server->url(path));
        QVERIFY(recorder.waitForEnd());
        recorder.verifySequence();
        QCOMPARE(recorder.body.size(), path == u"/big" ? Inet::MaxBodyBytes : 5);
    }
    QCOMPARE(server->totalRequests(), 3);
    thread.quit();
    QVERIFY(thread.wait(5000));
}

void tst_Inet::boundsPerRequest_data()
{
    QTest::addColumn<TestResponse>("response");
    QTest::addColumn<int>("terminal");
    QTest::addColumn<QString>("info");

    TestResponse silent;
    silent.closeAfterBytes = 0;
    QTest::newRow("closed without answer, asked once")
        << silent << 11 << u"サーバーから応答がありませんでした"_s;
    TestResponse flood;
    flood.raw = "HTTP/1.1 200 OK\r\n";
    flood.body = "X-Flood: " + QByteArray(100, 'f') + "\r\n";
    flood.endless = true;
    QTest::newRow("header lines without end") << flood << 11 << u"ヘッダーが大きすぎます"_s;
    QTest::newRow("just under 64 KiB of headers")
        << response(200, "x", {{"X-Big", QByteArray(Fetch::MaxHeaderBytes - 200, 'b')}}) << 12
        << QString();
    QTest::newRow("just over 64 KiB of headers")
        << response(200, "x", {{"X-Big", QByteArray(Fetch::MaxHeaderBytes, 'b')}}) << 11
        << u"ヘッダーが大きすぎます"_s;
}

// Each request is sent once and stops at the header bound.
void tst_Inet::boundsPerRequest()
{
    QFETCH(TestResponse, response);
    QFETCH(int, terminal);
    QFETCH(QString, info);
    const QString path = u"/bound-"_s + PathTag();
    server_.setResponse(path, response);
    Inet inet;
    Recorder recorder(inet);
    recorder.execute(server_.url(path));
    QVERIFY(recorder.waitForEnd());
    recorder.verifySequence();
    QCOMPARE(recorder.terminal(), terminal);
    QCOMPARE(recorder.info, info);
    QTest::qWait(200);
    QCOMPARE(server_.hits(path), 1);
}

void tst_Inet::errorText_data()
{
    QTest::addColumn<int>("result"); // a CURLcode
    QTest::addColumn<int>("osError");
    QTest::addColumn<QString>("detail");
    QTest::addColumn<QString>("text");
    QTest::newRow("time-out, plain")
        << 28 << 0 << u"Operation timed out"_s << u"応答がタイムアウトしました"_s;
    QTest::newRow("refused, by the system's reason")
        << 7 << int(ECONNREFUSED) << u"Failed to connect"_s << u"接続が拒否されました"_s;
    QTest::newRow("host unknown, with its name")
        << 6 << 0 << u"Could not resolve host: nohost"_s
        << u"ホストが見つかりません (Could not resolve host: nohost)"_s;
    QTest::newRow("other code, detail on one line")
        << 1000 << 0 << u"odd\r\nthing"_s << u"通信に失敗しました (odd thing)"_s;
}

void tst_Inet::errorText()
{
    QFETCH(int, result);
    QFETCH(int, osError);
    QFETCH(QString, detail);
    QFETCH(QString, text);
    QCOMPARE(Fetch::ErrorText(result, osError, detail), text);
}

// The desktop's proxy setting: the request for a name nobody resolves goes to the proxy.
void tst_Inet::proxyFromEnvironment()
{
    qputenv("http_proxy", server_.url(QString()).toLatin1());
    qunsetenv("no_proxy");
    Inet inet;
    Recorder recorder(inet);
    recorder.execute(u"http://sitevigil.invalid/proxied"_s);
    const bool ended = recorder.waitForEnd();
    qunsetenv("http_proxy");
    QVERIFY(ended);
    QCOMPARE(recorder.terminal(), int(Inet::icResponseCompleted));
    QVERIFY(server_.requestHeads().constLast().startsWith(
        "GET http://sitevigil.invalid/proxied HTTP/1.1\r\n"));
}

QTEST_GUILESS_MAIN(tst_Inet)
#include "tst_Inet.moc"
