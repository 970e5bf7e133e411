// Transfer control figures: requests per second over a kept-alive connection, and the time
// and peak memory of pages that are large, endless or compressed far beyond the kept 64 KiB.
// The server runs on its own thread so that its work does not count as the client's.
#include "check/Inet.h"
#include "support/TestHttpServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QThread>
#include <QTimer>
#include <cstdio>

#include <zlib.h>

using namespace Qt::StringLiterals;

namespace
{
qint64 statusKb(const char* key)
{
    QFile file(u"/proc/self/status"_s);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(qstrlen(key)).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Runs one request to its end; returns the terminal state (0 when none came in time).
int fetch(Inet& inet, const QString& url, QString* body = nullptr)
{
    QEventLoop loop;
    int terminal = 0;
    const auto connection = QObject::connect(&inet, &Inet::StateChanged, &loop, [&](int state) {
        if (state == Inet::icError || state == Inet::icResponseCompleted) {
            terminal = state;
            loop.quit();
        }
    });
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    inet.Execute(url);
    loop.exec();
    QObject::disconnect(connection);
    if (body)
        *body = inet.GetChunk(Inet::MaxBodyBytes);
    return terminal;
}

QByteArray gzipZeros(qint64 zeroBytes)
{
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, 31, 9, Z_DEFAULT_STRATEGY);
    const QByteArray zeros(1 << 20, '\0');
    QByteArray out;
    char buffer[16384];
    for (qint64 left = zeroBytes; left >= 0; left -= zeros.size()) {
        const bool last = left <= zeros.size();
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.constData()));
        z.avail_in = uInt(std::min<qint64>(left, zeros.size()));
        do {
            z.next_out = reinterpret_cast<Bytef*>(buffer);
            z.avail_out = sizeof buffer;
            deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
            out.append(buffer, qsizetype(sizeof buffer - z.avail_out));
        } while (z.avail_out == 0);
        if (last)
            break;
    }
    deflateEnd(&z);
    return out;
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);

    QThread serverThread;
    auto* server = new TestHttpServer;
    if (!server->listen()) {
        std::fprintf(stderr, "cannot listen on 127.0.0.1\n");
        return 1;
    }
    TestResponse small;
    small.body = QByteArray("<html><body>").append(QByteArray(2000, 'x')).append("</body></html>");
    server->setResponse(u"/small"_s, small);
    TestResponse page64;
    page64.body = QByteArray(Inet::MaxBodyBytes, 'p');
    server->setResponse(u"/64k"_s, page64);
    TestResponse huge;
    huge.body = QByteArray(4096, 'h');
    huge.bodyLength = 1LL << 30;
    server->setResponse(u"/1g"_s, huge);
    TestResponse endless;
    endless.body = QByteArray(4096, 'e');
    endless.endless = true;
    server->setResponse(u"/endless"_s, endless);
    TestResponse bomb;
    bomb.body = gzipZeros(1LL << 30);
    bomb.headers = {{"Content-Encoding", "gzip"}};
    server->setResponse(u"/bomb"_s, bomb);
    const qsizetype bombSize = bomb.body.size();
    bomb = {};
    server->moveToThread(&serverThread);
    QObject::connect(&serverThread, &QThread::finished, server, &QObject::deleteLater);
    serverThread.start();

    Inet inet;
    const int requests = 500;
    QElapsedTimer clock;
    clock.start();
    int failures = 0;
    for (int i = 0; i < requests; ++i)
        failures += fetch(inet, server->url(u"/small"_s)) != Inet::icResponseCompleted;
    const double seconds = clock.nsecsElapsed() / 1e9;
    std::printf("small pages: %d requests in %.3f s, %.0f requests/s, %.3f ms each, %d failed, "
                "%d connections\n",
                requests, seconds, requests / seconds, 1000 * seconds / requests, failures,
                server->connectionCount());

    struct Case {
        const char* name;
        QString path;
    };
    const Case cases[] = {
        {"64 KiB page", u"/64k"_s},
        {"1 GiB page", u"/1g"_s},
        {"endless chunked page", u"/endless"_s},
        {"gzip bomb (1 GiB of zeros)", u"/bomb"_s},
    };
    std::printf("gzip bomb is %lld bytes on the wire\n", static_cast<long long>(bombSize));
    for (const Case& c : cases) {
        const qint64 sentBefore = server->bytesSent();
        const qint64 peakBefore = statusKb("VmHWM:");
        QString body;
        clock.restart();
        const int rounds = 5;
        int state = 0;
        for (int i = 0; i < rounds; ++i)
            state = fetch(inet, server->url(c.path), &body);
        const double ms = clock.nsecsElapsed() / 1e6 / rounds;
        QThread::msleep(200); // let the server notice the closed connections
        std::printf("%-28s state %d, kept %lld bytes, %.2f ms per request, server sent %.1f KiB "
                    "per request, peak memory +%lld KiB (now %lld KiB)\n",
                    c.name, state, static_cast<long long>(body.size()), ms,
                    (server->bytesSent() - sentBefore) / 1024.0 / rounds,
                    statusKb("VmHWM:") - peakBefore, statusKb("VmRSS:"));
    }

    serverThread.quit();
    serverThread.wait();
    return 0;
}
