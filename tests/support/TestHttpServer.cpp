#include "TestHttpServer.h"

#include <QHostAddress>
#include <QMutexLocker>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <algorithm>

namespace
{
// Bytes kept queued in a socket before waiting for the client to take them; keeps an
// endless or huge response from filling memory when the client reads slowly or not at all.
constexpr qint64 HighWater = 64 * 1024;
constexpr qint64 PieceSize = 16 * 1024;
constexpr qint64 MaxRequestHead = 1024 * 1024;
constexpr int TrickleTickMs = 20;

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 204:
        return "No Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 304:
        return "Not Modified";
    case 307:
        return "Temporary Redirect";
    case 308:
        return "Permanent Redirect";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

bool hasHeader(const TestResponse& r, QByteArrayView name)
{
    return std::any_of(r.headers.cbegin(), r.headers.cend(), [name](const auto& h) {
        return h.first.compare(name, Qt::CaseInsensitive) == 0;
    });
}

// Clients percent-encode what a test may write plainly ("/a b" is sent as "/a%20b"), and a
// test may write it either way: paths are compared decoded.
QString pathKey(const QByteArray& path)
{
    return QUrl::fromPercentEncoding(path);
}

QByteArray headerValue(const QByteArray& head, QByteArrayView name)
{
    const QList<QByteArray> lines = head.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray& line = lines.at(i);
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return line.mid(colon + 1).trimmed();
    }
    return {};
}
} // namespace

// One accepted connection: parses requests one after another and streams each response.
class TestHttpConnection final : public QObject
{
public:
    TestHttpConnection(TestHttpServer* owner, QTcpSocket* socket)
        : QObject(owner), owner_(owner), socket_(socket)
    {
        socket_->setParent(this);
        // Without it the last small piece of a response waits for the client's delayed ACK.
        socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(socket_, &QTcpSocket::readyRead, this, [this] {
            in_ += socket_->readAll();
            processBuffered();
        });
        connect(socket_, &QTcpSocket::bytesWritten, this, [this](qint64 n) {
            owner_->noteBytesSent(n);
            if (rate_ == 0)
                pump();
        });
        connect(socket_, &QTcpSocket::disconnected, this, &TestHttpConnection::onDisconnected);
        trickle_.setInterval(TrickleTickMs);
        connect(&trickle_, &QTimer::timeout, this, [this] {
            tickBudget_ = std::max<qint64>(1, qint64(rate_) * TrickleTickMs / 1000);
            pump();
        });
    }

private:
    void processBuffered()
    {
        while (!busy_ && !hanging_ && !closing_) {
            if (!looksLikeRequest()) {
                // A TLS handshake or other noise: answer as a plain HTTP server would.
                socket_->write("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n"
                               "Connection: close\r\n\r\n");
                close();
                return;
            }
            const qsizetype end = in_.indexOf("\r\n\r\n");
            if (end < 0) {
                if (in_.size() > MaxRequestHead)
                    close();
                return;
            }
            const QByteArray head = in_.left(end + 4);
            const qint64 contentLength = headerValue(head, "Content-Length").toLongLong();
            if (in_.size() < end + 4 + contentLength)
                return;
            in_.remove(0, end + 4 + contentLength);

            const QList<QByteArray> requestLine = head.left(head.indexOf("\r\n")).split(' ');
            const QByteArray method = requestLine.value(0);
            QByteArray path = requestLine.value(1);
            const QByteArray version = requestLine.value(2);
            if (path.startsWith("http://") || path.startsWith("https://")) {
                const qsizetype slash = path.indexOf('/', path.indexOf("//") + 2);
                path = slash < 0 ? QByteArray("/") : path.mid(slash);
            }
            const QByteArray connection = headerValue(head, "Connection").toLower();
            const bool keepAlive = version == "HTTP/1.1" ? !connection.contains("close")
                                                         : connection.contains("keep-alive");
            busy_ = true;
            owner_->noteInFlight(+1);
            const TestResponse response = owner_->responseFor(path, head);
            if (response.delayMs > 0) {
                QTimer::singleShot(response.delayMs, this, [this, response, keepAlive, method] {
                    begin(response, keepAlive, method == "HEAD");
                });
            } else {
                begin(response, keepAlive, method == "HEAD");
            }
        }
    }

    bool looksLikeRequest() const
    {
        const qsizetype n = std::min<qsizetype>(in_.size(), 16);
        for (qsizetype i = 0; i < n; ++i) {
            const char c = in_.at(i);
            if (c == ' ')
                return i > 0;
            if (c < 'A' || c > 'Z')
                return false;
        }
        return true;
    }

    void begin(const TestResponse& r, bool keepAlive, bool headOnly)
    {
        if (closing_)
            return;
        if (r.hang) {
            hanging_ = true;
            return;
        }
        active_ = true;
        countable_ = r.raw.isEmpty() && r.closeAfterBytes < 0;
        limit_ = r.closeAfterBytes;
        sent_ = 0;
        rate_ = r.bytesPerSecond;
        out_.clear();
        outPos_ = 0;
        trailerDone_ = false;
        if (!r.raw.isEmpty()) {
            head_ = r.raw;
            pattern_ = r.body;
            bodyTotal_ = r.endless && !pattern_.isEmpty() ? -1 : 0;
            chunked_ = false;
            closeAfter_ = true;
        } else {
            chunked_ = r.chunked || r.endless;
            pattern_ = r.body;
            bodyTotal_ = r.endless ? -1 : (r.bodyLength >= 0 ? r.bodyLength : r.body.size());
            if (pattern_.isEmpty() && bodyTotal_ != 0)
                pattern_ = QByteArray(1024, 'x');
            head_ =
                "HTTP/1.1 " + QByteArray::number(r.status) + ' ' + reasonPhrase(r.status) + "\r\n";
            for (const auto& [name, value] : r.headers)
                head_ += name + ": " + value + "\r\n";
            if (!chunked_ && !hasHeader(r, "Content-Length"))
                head_ += "Content-Length: " + QByteArray::number(bodyTotal_) + "\r\n";
            if (chunked_ && !hasHeader(r, "Transfer-Encoding"))
                head_ += "Transfer-Encoding: chunked\r\n";
            closeAfter_ = !keepAlive;
            for (const auto& [name, value] : r.headers) {
                if (name.compare("Connection", Qt::CaseInsensitive) == 0 &&
                    value.toLower().contains("close"))
                    closeAfter_ = true;
            }
            if (closeAfter_ && !hasHeader(r, "Connection"))
                head_ += "Connection: close\r\n";
            head_ += "\r\n";
            if (headOnly) {
                bodyTotal_ = 0;
                chunked_ = false;
            }
        }
        bodyPos_ = 0;
        if (rate_ > 0) {
            tickBudget_ = 0;
            trickle_.start();
        } else {
            pump();
        }
    }

    // Produces the next piece of the response into out_; empty when all is produced.
    void refill()
    {
        out_.clear();
        outPos_ = 0;
        if (!head_.isEmpty()) {
            out_.swap(head_);
            return;
        }
        const bool bodyLeft = bodyTotal_ < 0 || bodyPos_ < bodyTotal_;
        if (bodyLeft) {
            qint64 n = PieceSize;
            if (bodyTotal_ >= 0)
                n = std::min(n, bodyTotal_ - bodyPos_);
            QByteArray piece;
            piece.reserve(n);
            while (piece.size() < n) {
                const qint64 at = bodyPos_ % pattern_.size();
                const qint64 take = std::min<qint64>(n - piece.size(), pattern_.size() - at);
                piece.append(pattern_.constData() + at, take);
                bodyPos_ += take;
            }
            if (chunked_)
                out_ = QByteArray::number(piece.size(), 16) + "\r\n" + piece + "\r\n";
            else
                out_ = std::move(piece);
            return;
        }
        if (chunked_ && !trailerDone_) {
            trailerDone_ = true;
            out_ = "0\r\n\r\n";
        }
    }

    void pump()
    {
        while (active_ && !closing_) {
            qint64 budget = HighWater - socket_->bytesToWrite();
            if (rate_ > 0)
                budget = std::min(budget, tickBudget_);
            if (budget <= 0)
                return;
            if (outPos_ >= out_.size()) {
                refill();
                if (out_.isEmpty()) {
                    finish();
                    return;
                }
            }
            qint64 n = std::min<qint64>(budget, out_.size() - outPos_);
            if (limit_ >= 0)
                n = std::min(n, limit_ - sent_);
            if (n > 0) {
                socket_->write(out_.constData() + outPos_, n);
                outPos_ += n;
                sent_ += n;
                if (rate_ > 0)
                    tickBudget_ -= n;
            }
            if (limit_ >= 0 && sent_ >= limit_) {
                active_ = false;
                close();
                return;
            }
        }
    }

    void finish()
    {
        active_ = false;
        trickle_.stop();
        if (countable_)
            owner_->noteResponseEnd(true);
        busy_ = false;
        owner_->noteInFlight(-1);
        if (closeAfter_)
            close();
        else
            processBuffered();
    }

    void close()
    {
        closing_ = true;
        trickle_.stop();
        socket_->disconnectFromHost();
    }

    void onDisconnected()
    {
        if (active_ && countable_)
            owner_->noteResponseEnd(false);
        if (busy_)
            owner_->noteInFlight(-1);
        busy_ = false;
        owner_->noteClosed();
        active_ = false;
        closing_ = true;
        trickle_.stop();
        deleteLater();
    }

    TestHttpServer* owner_;
    QTcpSocket* socket_;
    QTimer trickle_{this};
    QByteArray in_;
    bool busy_ = false;    // a request is being answered (or waits for its delay)
    bool hanging_ = false; // a request is never answered; later ones neither
    bool closing_ = false;
    bool active_ = false; // a response is being streamed
    bool countable_ = false;
    bool closeAfter_ = false;
    bool chunked_ = false;
    bool trailerDone_ = false;
    QByteArray head_;
    QByteArray pattern_;
    qint64 bodyTotal_ = 0; // -1: endless
    qint64 bodyPos_ = 0;
    QByteArray out_;
    qint64 outPos_ = 0;
    qint64 limit_ = -1;
    qint64 sent_ = 0;
    int rate_ = 0;
    qint64 tickBudget_ = 0;
};

TestHttpServer::TestHttpServer(QObject* parent) : QObject(parent), server_(new QTcpServer(this))
{
    connect(server_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = server_->nextPendingConnection()) {
            {
                QMutexLocker lock(&mutex_);
                ++connections_;
            }
            new TestHttpConnection(this, socket);
        }
    });
}

TestHttpServer::~TestHttpServer()
{
    server_->close();
}

bool TestHttpServer::listen(const QString& address)
{
    return server_->listen(QHostAddress(address), 0);
}

quint16 TestHttpServer::port() const
{
    return server_->serverPort();
}

QString TestHttpServer::url(const QString& path) const
{
    return QStringLiteral("http://%1:%2").arg(server_->serverAddress().toString()).arg(port()) +
           path;
}

void TestHttpServer::setResponse(const QString& path, const TestResponse& response)
{
    QMutexLocker lock(&mutex_);
    responses_.insert(pathKey(path.toUtf8()), response);
}

void TestHttpServer::setHandler(std::function<TestResponse(const QByteArray&, int)> handler)
{
    QMutexLocker lock(&mutex_);
    handler_ = std::move(handler);
}

int TestHttpServer::hits(const QString& path) const
{
    QMutexLocker lock(&mutex_);
    return hits_.value(pathKey(path.toUtf8()));
}

int TestHttpServer::totalRequests() const
{
    QMutexLocker lock(&mutex_);
    return int(heads_.size());
}

QList<QByteArray> TestHttpServer::requestHeads() const
{
    QMutexLocker lock(&mutex_);
    return heads_;
}

qint64 TestHttpServer::bytesSent() const
{
    QMutexLocker lock(&mutex_);
    return bytesSent_;
}

int TestHttpServer::unfinishedResponses() const
{
    QMutexLocker lock(&mutex_);
    return unfinished_;
}

int TestHttpServer::finishedResponses() const
{
    QMutexLocker lock(&mutex_);
    return finished_;
}

int TestHttpServer::connectionCount() const
{
    QMutexLocker lock(&mutex_);
    return connections_;
}

TestResponse TestHttpServer::responseFor(const QByteArray& path, const QByteArray& head)
{
    std::function<TestResponse(const QByteArray&, int)> handler;
    int hit = 0;
    TestResponse response;
    bool known = false;
    {
        QMutexLocker lock(&mutex_);
        const QString key = pathKey(path);
        hit = ++hits_[key];
        heads_.append(head);
        handler = handler_;
        if (!handler) {
            const auto it = responses_.constFind(key);
            known = it != responses_.cend();
            if (known)
                response = *it;
        }
    }
    if (handler)
        return handler(path, hit);
    if (!known) {
        response.status = 404;
        response.body = "Not Found";
    }
    return response;
}

void TestHttpServer::noteBytesSent(qint64 n)
{
    QMutexLocker lock(&mutex_);
    bytesSent_ += n;
}

void TestHttpServer::noteResponseEnd(bool finished)
{
    QMutexLocker lock(&mutex_);
    if (finished)
        ++finished_;
    else
        ++unfinished_;
}

TestResponse Page(const QByteArray& body, const QByteArray& lastModified)
{
    TestResponse response;
    response.headers.append(qMakePair(QByteArray("Content-Type"), QByteArray("text/html")));
    if (!lastModified.isEmpty())
        response.headers.append(qMakePair(QByteArray("Last-Modified"), lastModified));
    response.body = body;
    return response;
}

QString PathTag()
{
    return QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('-'));
}

quint16 ClosedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort(); // closed again when probe goes
}

void TestHttpServer::noteInFlight(int delta)
{
    QMutexLocker lock(&mutex_);
    inFlight_ += delta;
    maxInFlight_ = std::max(maxInFlight_, inFlight_);
}

void TestHttpServer::noteClosed()
{
    QMutexLocker lock(&mutex_);
    ++closed_;
}

int TestHttpServer::maxInFlight() const
{
    QMutexLocker lock(&mutex_);
    return maxInFlight_;
}

int TestHttpServer::openConnections() const
{
    QMutexLocker lock(&mutex_);
    return connections_ - closed_;
}

void TestHttpServer::resetMaxInFlight()
{
    QMutexLocker lock(&mutex_);
    maxInFlight_ = inFlight_;
}
