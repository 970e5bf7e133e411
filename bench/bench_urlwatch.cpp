// The check run over 500 items against a local server (no delay, and 50 ms per response),
// beside Debian's urlwatch on the same URLs with one worker and with its default worker
// count (its second run is timed: its first reports everything as new). Also samples the
// resident memory along a run. Goal: with no delay SiteVigil at least 3 times faster than
// urlwatch with one worker; memory flat along the run.
#include "BenchSupport.h"
#include "app/MsgBox.h"
#include "app/frmMain.h"
#include "check/Inet.h"
#include "support/ProcessMemory.h"
#include "support/TestHttpServer.h"
#include "support/frmMainProbe.h"

#include <QApplication>
#include <QProcess>
#include <QStandardPaths>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

constexpr int Items = 500;
constexpr qsizetype PageBytes = 16 * 1024;
constexpr int MemoryStep = 50;
constexpr int LongRunItems = 5000;

struct RunFigures {
    double ms = 0;
    QList<QPair<int, qint64>> rss; // (items checked, VmRSS KiB)
};

// One run over `count` unchanged items; the window unloads at its end.
RunFigures siteVigilRun(const QString& base, int count)
{
    Bench::ProgramFolder folder;
    for (int i = 0; i < count; ++i)
        folder.writeItem(u"item%1"_s.arg(i, 5, 10, QChar(u'0')), base + u"/p/%1"_s.arg(i),
                         QString::number(PageBytes));
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
        QElapsedTimer timer;
        timer.start();
        probe.LoadItems();
        if (!Bench::waitFor([&] { return unloaded; }, 600000))
            qFatal("the check run did not end");
        figures.ms = timer.nsecsElapsed() / 1e6;
        if (done != count || probe.CurrentIndex() != count - 1)
            qFatal("the run checked %d of %d items", done, count);
    }
    return figures;
}

class Urlwatch final
{
public:
    explicit Urlwatch(const QString& base)
    {
        QFile urls(home_.path() + u"/urls.yaml"_s);
        if (!urls.open(QIODevice::WriteOnly))
            qFatal("cannot write the urlwatch job list");
        for (int i = 0; i < Items; ++i) {
            urls.write(i ? "---\n" : "");
            urls.write((u"url: "_s + base + u"/p/%1\n"_s.arg(i)).toUtf8());
        }
    }

    // Milliseconds of one run; workers 0 keeps urlwatch's default. -1 when it failed.
    double run(int workers)
    {
        const QString script = workers > 0
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
        for (const QString& name : {u"http_proxy"_s, u"HTTP_PROXY"_s, u"all_proxy"_s, u"ALL_PROXY"_s})
            env.remove(name);
        env.insert(u"NO_PROXY"_s, u"127.0.0.1"_s);
        process.setProcessEnvironment(env);
        process.setStandardOutputFile(home_.path() + u"/stdout.txt"_s);
        process.setStandardErrorFile(home_.path() + u"/stderr.txt"_s);
        QElapsedTimer timer;
        timer.start();
        process.start(interpreter(),
                      {u"-c"_s, script, u"--urls"_s, home_.path() + u"/urls.yaml"_s,
                       u"--cache"_s, home_.path() + u"/cache.db"_s, u"--config"_s,
                       home_.path() + u"/urlwatch.yaml"_s});
        if (!process.waitForFinished(900000) || process.exitStatus() != QProcess::NormalExit
            || process.exitCode() != 0)
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

// The server runs in a child process so that its own bookkeeping stays out of the memory
// figures. "/d<ms>/p/<n>" answers after <ms> milliseconds.
int serve(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QByteArray page(PageBytes, 'p');
    TestHttpServer server;
    if (!server.listen())
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
    std::fflush(stdout);
    return app.exec();
}

int main(int argc, char* argv[])
{
    if (argc == 2 && qstrcmp(argv[1], "--serve") == 0)
        return serve(argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    SetMsgBoxHookForTesting([](const QString& text) { qFatal("message box: %s", qPrintable(text)); });

    QProcess server;
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server.start(QCoreApplication::applicationFilePath(), {u"--serve"_s});
    if (!server.waitForReadyRead(10000))
        qFatal("the test server did not start");
    const QString root = QString::fromLatin1(server.readLine().trimmed());

    const bool haveUrlwatch = !QStandardPaths::findExecutable(u"urlwatch"_s).isEmpty();
    siteVigilRun(root + u"/d0"_s, 20); // warm-up

    std::printf("Check run over %d items against a local server, pages of %lld bytes, nothing "
                "changed; urlwatch %s\n",
                Items, static_cast<long long>(PageBytes),
                haveUrlwatch ? "second run of the same URLs" : "not installed");
    std::printf("%9s | %12s | %16s %8s | %16s %8s\n", "delay", "SiteVigil ms", "urlwatch 1 wk ms",
                "ratio", "urlwatch dflt ms", "ratio");
    RunFigures memoryRun;
    for (int delay : {0, 50}) {
        const QString base = root + u"/d%1"_s.arg(delay);
        const RunFigures ours = siteVigilRun(base, Items);
        if (delay == 0)
            memoryRun = ours;
        double one = -1;
        double dflt = -1;
        if (haveUrlwatch) {
            Urlwatch single(base);
            single.run(1);
            one = single.run(1);
            Urlwatch parallel(base);
            parallel.run(0);
            dflt = parallel.run(0);
        }
        const auto cell = [](double v) { return v < 0 ? QByteArray("n/a") : QByteArray::number(v, 'f', 1); };
        const auto ratio = [&](double v) { return v < 0 ? QByteArray("n/a") : QByteArray::number(v / ours.ms, 'f', 2); };
        std::printf("%6d ms | %12.1f | %16s %8s | %16s %8s\n", delay, ours.ms, cell(one).constData(),
                    ratio(one).constData(), cell(dflt).constData(), ratio(dflt).constData());
        std::fflush(stdout);
    }
    std::printf("(ratio: urlwatch time / SiteVigil time)\n");

    std::printf("\nResident memory along the run without delay (VmRSS)\n%13s | %10s | %10s\n",
                "items checked", "KiB", "vs start");
    for (const auto& [done, kib] : memoryRun.rss)
        std::printf("%13d | %10lld | %+10lld\n", done, static_cast<long long>(kib),
                    static_cast<long long>(kib - memoryRun.rss.constFirst().second));

    // A longer run shows whether memory grows with the number of items checked.
    const RunFigures longRun = siteVigilRun(root + u"/d0"_s, LongRunItems);
    std::printf("\nA run over %d items (VmRSS, KiB):", LongRunItems);
    for (const auto& [done, kib] : longRun.rss) {
        if (done % 1000 == 0)
            std::printf(" %d: %lld", done, static_cast<long long>(kib));
    }
    const qint64 at1000 = longRun.rss.value(1000 / MemoryStep).second;
    std::printf("\nfrom item 1,000 to item %d: %+lld KiB\n", LongRunItems,
                static_cast<long long>(longRun.rss.constLast().second - at1000));

    server.kill();
    server.waitForFinished();
    SetMsgBoxHookForTesting(nullptr);
    return 0;
}
