#pragma once
// A scriptable HTTP/1.1 server on 127.0.0.1 for tests and benchmarks. It runs on the event
// loop of the thread that owns it (the code under test is asynchronous, so the same thread
// works); for benchmarks it can be moved to a QThread of its own. Connections stay open
// between requests (keep-alive) unless the request or the response says otherwise.
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QPair>
#include <QString>
#include <functional>

class QTcpServer;
class QTcpSocket;

struct TestResponse {
    int status = 200;
    QList<QPair<QByteArray, QByteArray>> headers; // sent after the status line
    QByteArray body;                              // Content-Length is added unless chunked
    int delayMs = 0;                              // wait before answering
    bool hang = false;                            // read the request, never answer
    qint64 closeAfterBytes = -1; // close the connection after this many bytes of the response
    QByteArray raw;              // when set, sent verbatim instead of a built response
    int bytesPerSecond = 0;      // when set, trickle the response at this rate
    bool endless = false;        // chunked body that never ends (body repeated); with raw,
                                 // body repeated as it is after raw
    bool chunked = false;        // chunked transfer encoding instead of Content-Length
    // When set, the body is repeated up to this many bytes, produced while it is sent, so
    // very large pages cost the server no memory.
    qint64 bodyLength = -1;
};

// A 200 text/html page, with a Last-Modified header when lastModified is set.
TestResponse Page(const QByteArray& body, const QByteArray& lastModified = QByteArray());

// The current test's data tag as one URL path segment (blanks become '-'), so that every row
// of a data-driven test asks for a path of its own.
QString PathTag();

// A port on 127.0.0.1 that nothing listens on (connections to it are refused).
quint16 ClosedPort();

class TestHttpServer final : public QObject
{
    Q_OBJECT
public:
    explicit TestHttpServer(QObject* parent = nullptr);
    ~TestHttpServer() override;

    // A free port on a loopback address.
    bool listen(const QString& address = QStringLiteral("127.0.0.1"));
    quint16 port() const;
    QString url(const QString& path) const; // "http://<address>:<port>" + path

    // The response for a path ("/a", query included; "/a b" and "/a%20b" are the same path);
    // unknown paths get 404.
    void setResponse(const QString& path, const TestResponse& response);
    // Computes a response for every request; hit counts from 1 per path. Overrides setResponse.
    // The handler sees the path as the request line has it (percent-encoded).
    void setHandler(std::function<TestResponse(const QByteArray& path, int hit)> handler);

    int hits(const QString& path) const;
    int totalRequests() const;
    QList<QByteArray> requestHeads() const; // raw request heads, in arrival order

    // Bytes the clients have taken off the server's sockets, all connections together.
    qint64 bytesSent() const;
    // Responses whose connection closed before all of them was sent (closeAfterBytes,
    // raw and hang excluded: those close or stop on purpose).
    int unfinishedResponses() const;
    // Responses sent in full.
    int finishedResponses() const;
    // TCP connections accepted so far.
    int connectionCount() const;
    // Accepted connections not closed yet.
    int openConnections() const;
    // The most requests answered (or waited on) at one time since the last reset.
    int maxInFlight() const;
    void resetMaxInFlight();

private:
    friend class TestHttpConnection;
    TestResponse responseFor(const QByteArray& path, const QByteArray& head);
    void noteBytesSent(qint64 n);
    void noteResponseEnd(bool finished);
    void noteInFlight(int delta);
    void noteClosed();

    QTcpServer* server_ = nullptr;
    mutable QMutex mutex_; // the server may run on another thread than the one asking
    QHash<QString, TestResponse> responses_;
    std::function<TestResponse(const QByteArray&, int)> handler_;
    QHash<QString, int> hits_;
    QList<QByteArray> heads_;
    qint64 bytesSent_ = 0;
    int unfinished_ = 0;
    int finished_ = 0;
    int connections_ = 0;
    int closed_ = 0;
    int inFlight_ = 0;
    int maxInFlight_ = 0;
};
