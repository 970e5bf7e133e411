// A check run of many items whose 70,000-byte pages all changed, beside the same items
// unchanged, with 8 connections, in the shown window: wall time to the results and peak
// resident memory. Every run is a child process of its own (so one run's freed memory is not
// the next one's peak), and so is the server. "--before PATH" also runs another build of this
// benchmark the same way, row by row beside this one.
// Goals: 10,000 changed shown within 3 s of the last page sent and in at most 150 MB; 2,000
// changed at most 2 s over the unchanged run.
#include "BenchSupport.h"
#include "PageWords.h"
#include "app/MsgBox.h"
#include "app/frmMain.h"
#include "support/ProcessMemory.h"
#include "support/TestHttpServer.h"
#include "support/frmMainProbe.h"

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QUrl>
#include <cstdio>
#include <ctime>

using namespace Qt::StringLiterals;

namespace
{
constexpr qsizetype PageBytes = 70000;
constexpr int Variants = 64;
constexpr int Connections = 8;
const QString FinishedCaption = u"更新されているページがあります。"_s;

// The same clock in every process.
qint64 monotonicMs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

// When the server sent its last page.
qint64 lastServedMs(const QString& base)
{
    const QUrl url(base);
    QTcpSocket socket;
    socket.connectToHost(url.host(), quint16(url.port()));
    if (!socket.waitForConnected(5000) || socket.write("GET /last HTTP/1.0\r\n\r\n") < 0)
        qFatal("cannot ask the server");
    QByteArray reply;
    while (socket.waitForReadyRead(5000))
        reply += socket.readAll();
    reply += socket.readAll();
    return reply.mid(reply.indexOf("\r\n\r\n") + 4).trimmed().toLongLong();
}

QByteArray typicalPage(quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray page = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Shop</title>"
                      "</head><body>\n";
    while (page.size() < PageBytes - 40) {
        page += "<p><a href=\"/item/" + QByteArray::number(random.bounded(100000)) + "\">";
        for (int w = 0, n = 4 + random.bounded(12); w < n; ++w)
            page += QByteArray(PageWords[random.bounded(20)]) + ' ';
        page += "</a> " + QByteArray::number(random.bounded(10000)) + "円</p>\n";
    }
    page += "</body></html>";
    page.resize(PageBytes, ' ');
    return page;
}

int serve(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    TestHttpServer server;
    if (!server.listen())
        return 1;
    QList<QByteArray> pages;
    for (int i = 0; i < Variants; ++i)
        pages << typicalPage(i + 1);
    qint64 lastServed = 0;
    server.setHandler([&](const QByteArray& path, int) {
        TestResponse response;
        response.headers.append(qMakePair(QByteArray("Content-Type"), QByteArray("text/html")));
        if (path == "/last") {
            response.body = QByteArray::number(lastServed);
        } else {
            response.body = pages.at(qHash(path) % Variants);
            lastServed = monotonicMs();
        }
        return response;
    });
    std::printf("%s\n", qPrintable(server.url(QString())));
    std::fflush(stdout);
    return app.exec();
}

struct Figures {
    double ms = 0;
    qint64 peakKiB = 0;
    int listed = 0;
    double afterLastMs = 0; // from the last page sent to the results shown
};

Figures measure(const QString& base, int items, bool changed)
{
    Bench::ProgramFolder folder;
    // Size path: a changed page's measure is far from Info 0; an unchanged one within Err.
    const QByteArray info = changed ? "0" : "40000";
    const QByteArray err = changed ? "0" : "32000";
    for (int i = 0; i < items; ++i) {
        QFile file(folder.path() + u"URLs/item%1.url"_s.arg(i, 5, 10, QChar(u'0')));
        if (!file.open(QIODevice::WriteOnly) ||
            file.write("[InternetShortcut]\r\nURL=" + base.toLatin1() + "/p/" +
                       QByteArray::number(i) + "\r\n\r\n[SiteVigil]\r\nErr=" + err +
                       "\r\nInfo=" + info + "\r\nCheck2Byte=0\r\n") < 0)
            qFatal("cannot write an item");
    }
    Figures figures;
    {
        Bench::ProgramFolder empty;
        frmMain window;
        window.resize(800, 600);
        window.show();
        frmMainProbe probe(window);
        QFile ini(folder.path() + u"SiteVigil.ini"_s);
        if (!ini.open(QIODevice::WriteOnly) ||
            ini.write("[Option]\r\nExitAfterSave=0\r\nConnections=" +
                      QByteArray::number(Connections) + "\r\n") < 0)
            qFatal("cannot write the settings file");
        ini.close();
        SetAppFolderForTesting(folder.path());
        bool ended = false;
        QObject::connect(&window, &frmMain::Unloaded, &window, [&] { ended = true; });
        QObject::connect(&window, &QWidget::windowTitleChanged, &window, [&](const QString& t) {
            if (t == FinishedCaption)
                ended = true;
        });
        QCoreApplication::processEvents();
        ProcessMemory::ResetPeak();
        RssSampler sampler(20);
        sampler.start();
        QElapsedTimer timer;
        timer.start();
        probe.LoadItems();
        if (!Bench::waitFor([&] { return ended; }, 1800000))
            qFatal("the check run did not end");
        figures.ms = timer.nsecsElapsed() / 1e6;
        const qint64 shownAt = monotonicMs();
        // The results shown: the list painted once more with all its lines.
        QCoreApplication::processEvents();
        sampler.stop();
        figures.peakKiB = std::max(sampler.maxKiB(), ProcessMemory::PeakKiB());
        figures.listed = probe.lstCheck()->count();
        figures.afterLastMs = double(shownAt - lastServedMs(base));
    }
    return figures;
}

// Runs program as "--run BASE ITEMS changed|unchanged" and reads its figures.
Figures runChild(const QString& program, const QString& base, int items, bool changed)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(program, {u"--run"_s, base, QString::number(items),
                          changed ? u"changed"_s : u"unchanged"_s});
    if (!child.waitForFinished(1800000) || child.exitStatus() != QProcess::NormalExit ||
        child.exitCode() != 0)
        qFatal("the run of %s failed", qPrintable(program));
    const QList<QByteArray> fields = child.readAllStandardOutput().trimmed().split(' ');
    if (fields.size() != 4)
        qFatal("unexpected output of %s", qPrintable(program));
    return {fields.at(0).toDouble(), fields.at(1).toLongLong(), fields.at(2).toInt(),
            fields.at(3).toDouble()};
}
} // namespace

int main(int argc, char* argv[])
{
    if (argc == 2 && qstrcmp(argv[1], "--serve") == 0)
        return serve(argc, argv);
    Bench::WindowApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 5 && args.at(1) == u"--run"_s) {
        const Figures f = measure(args.at(2), args.at(3).toInt(), args.at(4) == u"changed"_s);
        std::printf("%.1f %lld %d %.1f\n", f.ms, static_cast<long long>(f.peakKiB), f.listed,
                    f.afterLastMs);
        SetMsgBoxHookForTesting(nullptr);
        return 0;
    }
    QStringList programs{QCoreApplication::applicationFilePath()};
    QStringList names{u"this"_s};
    QList<int> counts{2000, 10000};
    for (int i = 1; i < args.size(); ++i) {
        if (args.at(i) == u"--before"_s && i + 1 < args.size()) {
            programs.prepend(args.at(++i));
            names.prepend(u"before"_s);
        } else {
            counts = {args.at(i).toInt()};
        }
    }
    QProcess server;
    const QString base = Bench::StartServeChild(server, 1).constFirst();

    std::printf("Check run of items with %lld-byte pages, Connections %d, window shown; each run a "
                "process of its own\n",
                static_cast<long long>(PageBytes), Connections);
    std::printf("%6s %6s | %10s %10s %7s %10s | %10s %10s %10s | %9s\n", "build", "items",
                "changed ms", "peak KiB", "listed", "after last", "unchanged", "peak KiB",
                "after last", "extra ms");
    for (int items : counts) {
        for (qsizetype p = 0; p < programs.size(); ++p) {
            const Figures same = runChild(programs.at(p), base, items, false);
            const Figures changed = runChild(programs.at(p), base, items, true);
            std::printf("%6s %6d | %10.1f %10lld %7d %10.1f | %10.1f %10lld %10.1f | %+9.1f\n",
                        qPrintable(names.at(p)), items, changed.ms,
                        static_cast<long long>(changed.peakKiB), changed.listed,
                        changed.afterLastMs, same.ms, static_cast<long long>(same.peakKiB),
                        same.afterLastMs, changed.ms - same.ms);
        }
    }
    server.kill();
    server.waitForFinished();
    SetMsgBoxHookForTesting(nullptr);
    return 0;
}
