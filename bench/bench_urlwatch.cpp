// The check run over 500 items spread over eight loopback addresses (each its own host name),
// with 50 ms per response and with no delay, SiteVigil with 1, 4, 8 and 16 connections beside
// Debian's urlwatch on the same URLs with one worker and with its default worker count (its
// second run is timed: its first reports everything as new). Medians of 3 runs. Also the peak
// resident memory of a 5,000-item run with 1 and with 8 connections.
// Goals: 16 connections at most 0.8 x urlwatch's default workers at 50 ms; without delay
// 8 connections within 10 % of 1; the memory peak of 8 within 8 x 64 KiB + 5 MB of 1.
#include "BenchSupport.h"
#include "app/MsgBox.h"
#include "app/frmMain.h"
#include "check/Inet.h"
#include "support/ProcessMemory.h"
#include "support/TestHttpServer.h"
#include "support/frmMainProbe.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace
{

constexpr int Items = 500;
constexpr qsizetype PageBytes = 16 * 1024;
constexpr int MemoryStep = 50;
constexpr int LongRunItems = 5000;
constexpr int Rounds = 3;
constexpr int Hosts = 8;

struct RunFigures {
    double ms = 0;
    QList<QPair<int, qint64>> rss; // (items checked, VmRSS KiB)
    qint64 peakKiB = 0;
};

QString itemUrl(const QStringList& bases, const QString& path, int i)
{
    return bases.at(i % bases.size()) + path + u"/p/%1"_s.arg(i);
}

// One run over `count` unchanged items; the window unloads at its end.
RunFigures siteVigilRun(const QStringList& bases, const QString& path, int count, int connections)
{
    Bench::ProgramFolder folder;
    for (int i = 0; i < count; ++i)
        folder.writeItem(u"item%1"_s.arg(i, 5, 10, QChar(u'0')), itemUrl(bases, path, i),
                         QString::number(PageBytes));
    QFile ini(folder.path() + u"SiteVigil.ini"_s);
    if (!ini.open(QIODevice::WriteOnly) || ini.write("[Option]\r\nExitAfterSave=0\r\nConnections=" +
                                                     QByteArray::number(connections) + "\r\n") < 0)
        qFatal("cannot write the settings file");
    ini.close();
    RunFigures figures;
    {
        Bench::ProgramFolder empty;
        frmMain window;
        frmMainProbe probe(window);
        SetAppFolderForTesting(folder.path());
        bool unloaded = false;
        QObject::connect(&window, &frmMain::Unloaded, &window, [&] { unloaded = true; });
        int done = 0;
        QObject::connect(probe.Inet1(), &Inet::StateChanged, &window, [&](int state) {
            if (state != Inet::icResponseCompleted && state != Inet::icError)
                return;
            if (++done % MemoryStep == 0)
                figures.rss.append({done, ProcessMemory::RssKiB()});
        });
        figures.rss.append({0, ProcessMemory::RssKiB()});
        ProcessMemory::ResetPeak();
        QElapsedTimer timer;
        timer.start();
        probe.LoadItems();
        if (!Bench::waitFor([&] { return unloaded; }, 600000))
            qFatal("the check run did not end");
        figures.ms = timer.nsecsElapsed() / 1e6;
        figures.peakKiB = ProcessMemory::PeakKiB();
        for (const auto& sample : figures.rss)
            figures.peakKiB = std::max(figures.peakKiB, sample.second);
        if (done != count || probe.CurrentIndex() != count - 1)
            qFatal("the run checked %d of %d items", done, count);
    }
    return figures;
}

class Urlwatch final
{
public:
    Urlwatch(const QStringList& bases, const QString& path)
    {
        QFile urls(home_.path() + u"/urls.yaml"_s);
        if (!urls.open(QIODevice::WriteOnly))
            qFatal("cannot write the urlwatch job list");
        for (int i = 0; i < Items; ++i) {
            urls.write(i ? "---\n" : "");
            urls.write((u"url: "_s + itemUrl(bases, path, i) + u"\n"_s).toUtf8());
        }
    }

    // Milliseconds of one run; workers 0 keeps urlwatch's default. -1 when it failed.
    double run(int workers)
    {
        const QString script =
            workers > 0
                ? u"import sys, urlwatch.worker as w; w.MAX_WORKERS = %1; "
                  u"from urlwatch.cli import main; sys.argv[0] = 'urlwatch'; sys.exit(main())"_s
                      .arg(workers)
                : u"import sys; from urlwatch.cli import main; sys.argv[0] = 'urlwatch'; "
                  u"sys.exit(main())"_s;
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"HOME"_s, home_.path());
        env.insert(u"XDG_CONFIG_HOME"_s, home_.path() + u"/config"_s);
        env.insert(u"XDG_CACHE_HOME"_s, home_.path() + u"/cache"_s);
        for (const QString& name :
             {u"http_proxy"_s, u"HTTP_PROXY"_s, u"all_proxy"_s, u"ALL_PROXY"_s})
            env.remove(name);
        env.insert(u"NO_PROXY"_s, u"127.0.0.0/8"_s);
        process.setProcessEnvironment(env);
        process.setStandardOutputFile(home_.path() + u"/stdout.txt"_s);
        process.setStandardErrorFile(home_.path() + u"/stderr.txt"_s);
        QElapsedTimer timer;
        timer.start();
        process.start(interpreter(), {u"-c"_s, script, u"--urls"_s, home_.path() + u"/urls.yaml"_s,
                                      u"--cache"_s, home_.path() + u"/cache.db"_s, u"--config"_s,
                                      home_.path() + u"/urlwatch.yaml"_s});
        if (!process.waitForFinished(900000) || process.exitStatus() != QProcess::NormalExit ||
            process.exitCode() != 0)
            return -1;
        const double ms = timer.nsecsElapsed() / 1e6;
        QFile out(home_.path() + u"/stdout.txt"_s);
        if (out.open(QIODevice::ReadOnly) && out.readAll().contains("ERROR"))
            return -1; // a fetch failed: the time would not be comparable
        return ms;
    }

private:
    // The Python that urlwatch's own script names (another python3 may come first in PATH).
    static QString interpreter()
    {
        QFile script(QStandardPaths::findExecutable(u"urlwatch"_s));
        if (script.open(QIODevice::ReadOnly)) {
            const QByteArray first = script.readLine().trimmed();
            if (first.startsWith("#!"))
                return QString::fromLocal8Bit(first.mid(2).trimmed().split(' ').value(0));
        }
        return u"python3"_s;
    }

    QTemporaryDir home_;
};

} // namespace

// The servers run in a child process so that their own bookkeeping stays out of the memory
// figures, one on each of 127.0.0.1 to 127.0.0.8. "/d<ms>/p/<n>" answers after <ms> ms.
int serve(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QByteArray page(PageBytes, 'p');
    std::vector<std::unique_ptr<TestHttpServer>> servers;
    for (int h = 1; h <= Hosts; ++h) {
        servers.push_back(std::make_unique<TestHttpServer>());
        TestHttpServer& server = *servers.back();
        if (!server.listen(u"127.0.0.%1"_s.arg(h)))
            return 1;
        server.setHandler([&](const QByteArray& path, int) {
            TestResponse response;
            response.headers.append(qMakePair(QByteArray("Content-Type"), QByteArray("text/html")));
            response.body = page;
            if (path.startsWith("/d"))
                response.delayMs = path.mid(2, path.indexOf('/', 1) - 2).toInt();
            return response;
        });
        std::printf("%s\n", qPrintable(server.url(QString())));
    }
    std::fflush(stdout);
    return app.exec();
}

int main(int argc, char* argv[])
{
    if (argc == 2 && qstrcmp(argv[1], "--serve") == 0)
        return serve(argc, argv);
    Bench::WindowApplication app(argc, argv);

    QProcess server;
    const QStringList bases = Bench::StartServeChild(server, Hosts);
    const bool haveUrlwatch = !QStandardPaths::findExecutable(u"urlwatch"_s).isEmpty();
    siteVigilRun(bases, u"/d0"_s, 40, 8); // warm-up

    std::printf("Check run over %d items on %d loopback host names, pages of %lld bytes, nothing "
                "changed; urlwatch %s. Medians of %d runs, in ms.\n",
                Items, Hosts, static_cast<long long>(PageBytes),
                haveUrlwatch ? "second run of the same URLs" : "not installed", Rounds);
    std::printf("%6s | %9s %9s %9s %9s | %11s %11s | %9s %9s %9s\n", "delay", "SV N=1", "SV N=4",
                "SV N=8", "SV N=16", "uw 1 worker", "uw default", "N=8/N=1", "N=8/uw", "N=16/uw");
    const auto median = [](const std::vector<double>& v) {
        return v.empty() || *std::min_element(v.begin(), v.end()) < 0 ? -1.0 : Bench::median(v);
    };
    for (int delay : {50, 0}) {
        const QString path = u"/d%1"_s.arg(delay);
        std::vector<double> n1, n4, n8, n16, one, dflt;
        std::unique_ptr<Urlwatch> single, parallel;
        if (haveUrlwatch) {
            single = std::make_unique<Urlwatch>(bases, path);
            single->run(1); // its first run reports every page as new
            parallel = std::make_unique<Urlwatch>(bases, path);
            parallel->run(0);
        }
        // Runs alternate, so that a busy moment of the machine weighs on all of them alike.
        for (int round = 0; round < Rounds; ++round) {
            n1.push_back(siteVigilRun(bases, path, Items, 1).ms);
            n4.push_back(siteVigilRun(bases, path, Items, 4).ms);
            n8.push_back(siteVigilRun(bases, path, Items, 8).ms);
            n16.push_back(siteVigilRun(bases, path, Items, 16).ms);
            if (haveUrlwatch) {
                one.push_back(single->run(1));
                dflt.push_back(parallel->run(0));
            }
        }
        const double m1 = median(n1), m8 = median(n8), m16 = median(n16), md = median(dflt);
        std::printf("%3d ms | %9.1f %9.1f %9.1f %9.1f | %11.1f %11.1f | %9.2f %9.2f %9.2f\n", delay,
                    m1, median(n4), m8, m16, median(one), md, m8 / m1, md > 0 ? m8 / md : -1.0,
                    md > 0 ? m16 / md : -1.0);
        std::fflush(stdout);
    }
    std::printf("(SV: SiteVigil with N connections; uw: urlwatch; -1: not measured)\n");

    std::printf("\nPeak resident memory of a %d-item run without delay (VmHWM, KiB)\n",
                LongRunItems);
    const RunFigures long1 = siteVigilRun(bases, u"/d0"_s, LongRunItems, 1);
    const RunFigures long8 = siteVigilRun(bases, u"/d0"_s, LongRunItems, 8);
    std::printf("N=1: %lld (start %lld)  N=8: %lld (start %lld)  N=8 - N=1: %+lld KiB "
                "(bound %d KiB)\n",
                static_cast<long long>(long1.peakKiB),
                static_cast<long long>(long1.rss.constFirst().second),
                static_cast<long long>(long8.peakKiB),
                static_cast<long long>(long8.rss.constFirst().second),
                static_cast<long long>(long8.peakKiB - long1.peakKiB), 8 * 64 + 5 * 1024);
    server.kill();
    server.waitForFinished();
    SetMsgBoxHookForTesting(nullptr);
    return 0;
}
