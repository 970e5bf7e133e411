// Times the real main window's check run against a local server (in a thread of its own),
// beside curl fetching the same URLs one after the other over one connection, and a 50 MB
// page against a 64 KiB one. Prints a table of medians; the goals are per item at most twice
// curl's time and the large page at most 1.2 times the small one.
#include "BenchSupport.h"
#include "app/CodePage.h"
#include "app/Module1.h"
#include "app/MsgBox.h"
#include "app/frmMain.h"
#include "check/Inet.h"
#include "support/TestHttpServer.h"
#include "support/frmMainProbe.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <sys/resource.h>
#include <vector>

using namespace Qt::StringLiterals;

namespace
{

constexpr qsizetype PageBytes = 16 * 1024;
constexpr qsizetype SmallPageBytes = 64 * 1024;
constexpr qsizetype LargePageBytes = 50LL * 1000 * 1000;
constexpr int PageRepeats = 15;
const QString FinishedCaption = u"更新されているページがあります。"_s;

void writeFile(const QString& path, const QString& text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(CodePage::ToAnsi(text)) < 0)
        qFatal("cannot write %s", qPrintable(path));
}

// A program folder whose settings first point at an empty item folder, so that a window can
// be built without starting a run; useFolder() then points them at a folder of items.
class ProgramFolder final
{
public:
    ProgramFolder()
    {
        SetAppFolderForTesting(path());
        QDir(dir_.path()).mkdir(u"empty"_s);
        useFolder(u"empty"_s);
    }
    ~ProgramFolder() { SetAppFolderForTesting(QString()); }
    ProgramFolder(const ProgramFolder&) = delete;
    ProgramFolder& operator=(const ProgramFolder&) = delete;

    QString path() const { return dir_.path() + u'/'; }

    void useFolder(const QString& name) const
    {
        writeFile(path() + u"SiteVigil.ini"_s,
                  u"[Option]\r\nExitAfterSave=0\r\nFolderPath="_s + path() + name + u"/\r\n"_s);
    }

    // Items item00000... with the given URLs and Info, in a new folder of that name.
    void makeFolder(const QString& name, const QStringList& urls, const QString& info) const
    {
        QDir(dir_.path()).mkdir(name);
        for (qsizetype i = 0; i < urls.size(); ++i)
            writeFile(path() + name + u"/item%1.url"_s.arg(i, 5, 10, QChar(u'0')),
                      u"[InternetShortcut]\r\nURL="_s + urls.at(i) +
                          u"\r\n\r\n[SiteVigil]\r\nErr=0\r\nInfo="_s + info +
                          u"\r\nCheck2Byte=0\r\n"_s);
    }

private:
    QTemporaryDir dir_;
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The machine may be busy with other work, so CPU time is shown beside the wall-clock time.
// The server runs in this process; its thread's CPU time is not counted as ours.
TestHttpServer* server = nullptr;

double cpuMs(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

double serverCpuMs()
{
    double ms = 0;
    QMetaObject::invokeMethod(
        server, [&] { ms = cpuMs(RUSAGE_THREAD); }, Qt::BlockingQueuedConnection);
    return ms;
}

struct Sample {
    double wallMs = 0;
    double cpuMs = 0;
};

// Wall-clock and CPU time of this process (the server excepted) from start() to stop().
class Stopwatch final
{
public:
    void start()
    {
        server0_ = serverCpuMs();
        self0_ = cpuMs(RUSAGE_SELF);
        timer_.start();
    }
    Sample stop() const
    {
        const double wall = timer_.nsecsElapsed() / 1e6;
        const double self = cpuMs(RUSAGE_SELF) - self0_;
        return {wall, self - (serverCpuMs() - server0_)};
    }

private:
    QElapsedTimer timer_;
    double server0_ = 0;
    double self0_ = 0;
};

struct Medians {
    std::vector<double> wall, cpu;
    void add(const Sample& s)
    {
        wall.push_back(s.wallMs);
        cpu.push_back(s.cpuMs);
    }
    Sample median() const { return {::median(wall), ::median(cpu)}; }
};

// Runs LoadItems on a fresh window over the folder and waits for the end of the run.
// loadMs receives the part spent in LoadItems itself (reading the items).
Sample timeRun(const ProgramFolder& program, const QString& folder, bool changed, double* loadMs)
{
    frmMain window;
    program.useFolder(folder);
    QEventLoop loop;
    bool ended = false;
    auto end = [&] {
        ended = true;
        loop.quit();
    };
    if (changed)
        QObject::connect(&window, &QWidget::windowTitleChanged, &loop, [&](const QString& t) {
            if (t == FinishedCaption)
                end();
        });
    else
        QObject::connect(&window, &frmMain::Unloaded, &loop, end);
    QTimer::singleShot(600000, &loop, [] { qFatal("the check run did not end"); });

    frmMainProbe probe(window);
    Stopwatch stopwatch;
    stopwatch.start();
    QElapsedTimer load;
    load.start();
    probe.LoadItems();
    if (loadMs)
        *loadMs = load.nsecsElapsed() / 1e6;
    if (!ended)
        loop.exec();
    const Sample sample = stopwatch.stop();
    if (probe.LastIndex() < 0 || probe.CurrentIndex() != probe.LastIndex())
        qFatal("the run stopped early");
    program.useFolder(u"empty"_s);
    return sample;
}

// The transfer control alone fetching the URLs one after the other: what the window adds
// on top of it shows against this.
Sample timeInet(const QStringList& urls)
{
    Inet inet;
    QEventLoop loop;
    qsizetype next = 0;
    QObject::connect(&inet, &Inet::StateChanged, &loop, [&](int state) {
        if (state == Inet::icError)
            qFatal("transfer failed: %s", qPrintable(inet.ResponseInfo()));
        if (state != Inet::icResponseCompleted)
            return;
        inet.GetHeader(u"Last-modified"_s);
        inet.GetChunk(Inet::MaxBodyBytes);
        if (++next < urls.size())
            inet.Execute(urls.at(next));
        else
            loop.quit();
    });
    Stopwatch stopwatch;
    stopwatch.start();
    inet.Execute(urls.at(0));
    loop.exec();
    return stopwatch.stop();
}

// One curl process fetching the URLs in turn over one connection; its CPU time is its own.
Sample timeCurl(const QStringList& urls)
{
    QProcess curl;
    curl.setStandardOutputFile(QProcess::nullDevice());
    const double children0 = cpuMs(RUSAGE_CHILDREN);
    QElapsedTimer timer;
    timer.start();
    curl.start(u"curl"_s, QStringList{u"--silent"_s, u"--fail"_s} + urls);
    if (!curl.waitForFinished(600000) || curl.exitStatus() != QProcess::NormalExit ||
        curl.exitCode() != 0)
        qFatal("curl failed");
    const double wall = timer.nsecsElapsed() / 1e6;
    return {wall, cpuMs(RUSAGE_CHILDREN) - children0};
}

} // namespace

int main(int argc, char* argv[])
{
    Bench::WindowApplication app(argc, argv);
    if (QStandardPaths::findExecutable(u"curl"_s).isEmpty()) {
        std::fputs("bench_checkrun compares with curl, which is not installed "
                   "(bash scripts/setup.sh --test installs it).\n",
                   stderr);
        return 1;
    }

    const QByteArray page(PageBytes, 'p');
    const QByteArray smallPage(SmallPageBytes, 's');
    const QByteArray largePage(LargePageBytes, 'L');

    Bench::ServerThread served([&](const QByteArray& path, int) {
        TestResponse response;
        response.headers.append(qMakePair(QByteArray("Content-Type"), QByteArray("text/html")));
        response.body = path == "/large" ? largePage : path == "/small" ? smallPage : page;
        return response;
    });
    server = served.server();
    const QString base = served.base();

    ProgramFolder program;
    {
        QStringList urls;
        for (int i = 0; i < 20; ++i)
            urls << base + u"/warm/%1"_s.arg(i);
        program.makeFolder(u"warm"_s, urls, QString::number(PageBytes));
        timeRun(program, u"warm"_s, false, nullptr);
        timeInet(urls);
    }

    std::printf("Check run of the real main window against a local server: pages of %lld "
                "bytes, nothing changed.\nMedians; \"cpu\" is the CPU time of the client alone "
                "(the server thread not counted). Inet: the transfer control alone.\n\n",
                static_cast<long long>(PageBytes));
    std::printf("%5s %4s | %8s %7s %7s %7s | %7s %7s | %8s %7s %7s | %5s %5s\n", "items", "runs",
                "total ms", "load ms", "ms/item", "cpu/it", "Inet/it", "cpu/it", "curl ms",
                "ms/item", "cpu/it", "ratio", "cpu");
    for (const auto& [count, runs] : {std::pair{100, 9}, std::pair{1000, 5}}) {
        QStringList urls;
        for (int i = 0; i < count; ++i)
            urls << base + u"/p/%1"_s.arg(i);
        const QString folder = u"items%1"_s.arg(count);
        program.makeFolder(folder, urls, QString::number(PageBytes));
        timeCurl(urls); // warm-up
        Medians ours, inets, curls;
        std::vector<double> loads;
        for (int run = 0; run < runs; ++run) {
            double load = 0;
            ours.add(timeRun(program, folder, false, &load));
            loads.push_back(load);
            inets.add(timeInet(urls));
            curls.add(timeCurl(urls));
        }
        const Sample t = ours.median(), n = inets.median(), c = curls.median();
        std::printf("%5d %4d | %8.1f %7.1f %7.3f %7.3f | %7.3f %7.3f | %8.1f %7.3f %7.3f | %5.2f "
                    "%5.2f\n",
                    count, runs, t.wallMs, median(loads), t.wallMs / count, t.cpuMs / count,
                    n.wallMs / count, n.cpuMs / count, c.wallMs, c.wallMs / count, c.cpuMs / count,
                    t.wallMs / c.wallMs, t.cpuMs / c.cpuMs);
    }

    std::printf("\nOne check of a changed page (median of %d; curl fetches the whole page)\n\n",
                PageRepeats);
    std::printf("%8s | %8s %7s | %8s %7s\n", "page", "check ms", "cpu ms", "curl ms", "cpu ms");
    Sample small, large;
    for (const auto& [name, path] : {std::pair{"64 KiB", "/small"}, std::pair{"50 MB", "/large"}}) {
        const QString url = base + QString::fromLatin1(path);
        const QString folder = QString::fromLatin1(path).mid(1);
        program.makeFolder(folder, {url}, QString());
        Medians ours, curls;
        for (int run = 0; run < PageRepeats; ++run) {
            ours.add(timeRun(program, folder, true, nullptr));
            curls.add(timeCurl({url}));
        }
        const Sample t = ours.median(), c = curls.median();
        (path == std::string_view("/small") ? small : large) = t;
        std::printf("%8s | %8.2f %7.2f | %8.2f %7.2f\n", name, t.wallMs, t.cpuMs, c.wallMs,
                    c.cpuMs);
    }
    std::printf("50 MB / 64 KiB: %.2f (cpu %.2f)\n", large.wallMs / small.wallMs,
                large.cpuMs / small.cpuMs);

    SetMsgBoxHookForTesting(nullptr);
    return 0;
}
