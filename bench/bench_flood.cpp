// A check run of 20 good items with and without one item whose server sends 22 MB of header
// lines, with 1 and 8 connections: time, peak resident memory above the run without
// the flood, and how many good items ended in an error. The server runs in a child process,
// so its own buffers stay out of the figures.
// Goals: no good item fails; the flood costs at most 5 MB of peak memory.
#include "BenchSupport.h"
#include "app/MsgBox.h"
#include "app/frmMain.h"
#include "support/ProcessMemory.h"
#include "support/TestHttpServer.h"
#include "support/frmMainProbe.h"

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace
{
constexpr int GoodItems = 20;
constexpr int FloodAt = 3;
constexpr qsizetype PageBytes = 16 * 1024;
constexpr int FloodLines = 200000; // 22 MB of header lines

struct Figures {
    double ms = 0;
    qint64 peakKiB = 0;
    int goodFailed = 0;
};

Figures run(const QString& base, int connections, bool flood)
{
    Bench::ProgramFolder folder;
    int n = 0;
    for (int i = 0; i < GoodItems; ++i) {
        if (flood && i == FloodAt)
            folder.writeItem(u"item%1"_s.arg(n++, 3, 10, QChar(u'0')), base + u"/flood"_s, u"0"_s);
        folder.writeItem(u"item%1"_s.arg(n++, 3, 10, QChar(u'0')), base + u"/good/%1"_s.arg(i),
                         QString::number(PageBytes));
    }
    QFile ini(folder.path() + u"SiteVigil.ini"_s);
    if (!ini.open(QIODevice::WriteOnly) || ini.write("[Option]\r\nExitAfterSave=0\r\nConnections=" +
                                                     QByteArray::number(connections) + "\r\n") < 0)
        qFatal("cannot write the settings file");
    ini.close();
    Figures figures;
    {
        Bench::ProgramFolder empty;
        frmMain window;
        frmMainProbe probe(window);
        SetAppFolderForTesting(folder.path());
        bool unloaded = false;
        QObject::connect(&window, &frmMain::Unloaded, &window, [&] { unloaded = true; });
        ProcessMemory::ResetPeak();
        RssSampler sampler(10);
        sampler.start();
        QElapsedTimer timer;
        timer.start();
        probe.LoadItems();
        if (!Bench::waitFor([&] { return unloaded; }, 600000))
            qFatal("the check run did not end");
        figures.ms = timer.nsecsElapsed() / 1e6;
        sampler.stop();
        figures.peakKiB = std::max(sampler.maxKiB(), ProcessMemory::PeakKiB());
    }
    const QDir items(folder.path() + u"URLs"_s);
    for (const QString& name : items.entryList({u"*.url"_s}, QDir::Files)) {
        QFile file(items.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            qFatal("cannot read %s", qPrintable(name));
        const QByteArray text = file.readAll();
        if (text.contains("/good/") && !text.contains("Info=" + QByteArray::number(PageBytes)))
            ++figures.goodFailed;
    }
    return figures;
}
} // namespace

int serve(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    TestHttpServer server;
    if (!server.listen())
        return 1;
    const QByteArray page(PageBytes, 'p');
    // A head that ends, so that a client without a bound finishes too.
    const QByteArray flood = "HTTP/1.1 200 OK\r\n" +
                             ("X-Flood: " + QByteArray(100, 'f') + "\r\n").repeated(FloodLines) +
                             "Content-Length: 0\r\nConnection: close\r\n\r\n";
    server.setHandler([&](const QByteArray& path, int) {
        TestResponse response;
        if (path == "/flood") {
            response.raw = flood;
        } else {
            response.headers.append(qMakePair(QByteArray("Content-Type"), QByteArray("text/html")));
            response.body = page;
        }
        return response;
    });
    std::printf("%s\n", qPrintable(server.url(QString())));
    std::fflush(stdout);
    return app.exec();
}

int main(int argc, char* argv[])
{
    if (argc == 2 && qstrcmp(argv[1], "--serve") == 0)
        return serve(argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    Bench::UsePrivateDataHome();
    QApplication app(argc, argv);
    SetMsgBoxHookForTesting(
        [](const QString& text) { qFatal("message box: %s", qPrintable(text)); });
    QProcess server;
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server.start(QCoreApplication::applicationFilePath(), {u"--serve"_s});
    if (!server.waitForReadyRead(10000))
        qFatal("the test server did not start");
    const QString base = QString::fromLatin1(server.readLine().trimmed());
    run(base, 8, false); // warm-up

    std::printf("Check run of %d good items, with and without one header flood (item %d)\n",
                GoodItems, FloodAt + 1);
    std::printf("%3s | %9s %9s | %10s %10s %9s | %11s\n", "N", "ms", "ms flood", "peak KiB",
                "flood KiB", "diff KiB", "good failed");
    for (int connections : {1, 8}) {
        const Figures plain = run(base, connections, false);
        const Figures flood = run(base, connections, true);
        std::printf("%3d | %9.1f %9.1f | %10lld %10lld %+9lld | %11d\n", connections, plain.ms,
                    flood.ms, static_cast<long long>(plain.peakKiB),
                    static_cast<long long>(flood.peakKiB),
                    static_cast<long long>(flood.peakKiB - plain.peakKiB), flood.goodFailed);
        std::fflush(stdout);
    }
    server.kill();
    server.waitForFinished();
    SetMsgBoxHookForTesting(nullptr);
    return 0;
}
