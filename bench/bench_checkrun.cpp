// Times the real main window's check run against a local server (in a thread of its own),
// beside curl fetching the same URLs over one connection, and a 50 MB page against a 64 KiB
// one. Prints a table; the goals are per item at most twice curl's time and the large page
// at most 1.2 times the small one.
#include "app/CodePage.h"
#include "app/Module1.h"
#include "app/MsgBox.h"
#include "app/frmMain.h"
#include "support/TestHttpServer.h"
#include "support/frmMainProbe.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr qsizetype PageBytes = 16 * 1024;
constexpr qsizetype SmallPageBytes = 64 * 1024;
constexpr qsizetype LargePageBytes = 50LL * 1000 * 1000;
constexpr int PageSizeRepeats = 15;
const QString FinishedCaption = u"更新されているページがあります。"_s;

class ProgramFolder final
{
public:
    ProgramFolder()
    {
        SetAppFolderForTesting(path());
        QDir(dir_.path()).mkdir(u"URLs"_s);
        write(path() + u"SiteVigil.ini"_s, u"[Option]\r\nExitAfterSave=0\r\n"_s);
    }
    ~ProgramFolder() { SetAppFolderForTesting(QString()); }
    ProgramFolder(const ProgramFolder&) = delete;
    ProgramFolder& operator=(const ProgramFolder&) = delete;

    QString path() const { return dir_.path() + u'/'; }

    void writeItem(const QString& title, const QString& url, const QString& info) const
    {
        write(path() + u"URLs/"_s + title + u".url"_s,
              u"[InternetShortcut]\r\nURL="_s + url + u"\r\n\r\n[SiteVigil]\r\nErr=0\r\nInfo="_s
                  + info + u"\r\nCheck2Byte=0\r\n"_s);
    }

private:
    static void write(const QString& path, const QString& text)
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(CodePage::ToAnsi(text)) < 0)
            qFatal("cannot write %s", qPrintable(path));
    }

    QTemporaryDir dir_;
};

// Spins the event loop until done() holds; false after the time limit.
bool waitFor(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

// One check run over the folder's items, from LoadItems to the end of the run, in ms.
double timeRun(frmMain& window, const std::function<bool()>& ended)
{
    QElapsedTimer timer;
    timer.start();
    frmMainProbe(window).LoadItems();
    if (!waitFor(ended, 600000))
        qFatal("the check run did not end");
    return timer.nsecsElapsed() / 1e6;
}

// N unchanged pages: the run ends with the window unloading.
double timeItems(const QString& base, int count)
{
    ProgramFolder folder;
    for (int i = 0; i < count; ++i)
        folder.writeItem(u"item%1"_s.arg(i, 5, 10, QChar(u'0')), base + u"/p/%1"_s.arg(i),
                         QString::number(PageBytes));
    frmMain window;
    bool unloaded = false;
    QObject::connect(&window, &frmMain::Unloaded, &window, [&] { unloaded = true; });
    const double ms = timeRun(window, [&] { return unloaded; });
    if (frmMainProbe(window).CurrentIndex() != count - 1)
        qFatal("the run stopped early");
    return ms;
}

double timeCurl(const QString& base, int count)
{
    QStringList arguments{u"--silent"_s, u"--fail"_s};
    for (int i = 0; i < count; ++i)
        arguments << base + u"/p/%1"_s.arg(i);
    QProcess curl;
    curl.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    curl.start(u"curl"_s, arguments);
    if (!curl.waitForFinished(600000) || curl.exitStatus() != QProcess::NormalExit
        || curl.exitCode() != 0)
        return -1;
    return timer.nsecsElapsed() / 1e6;
}

// Median time of one check of a single changed page of the given path.
double timeOnePage(const QString& url)
{
    ProgramFolder folder;
    folder.writeItem(u"page"_s, url, QString());
    frmMain window;
    std::vector<double> times;
    for (int i = 0; i < PageSizeRepeats; ++i) {
        window.setWindowTitle(QString());
        times.push_back(timeRun(window, [&] { return window.windowTitle() == FinishedCaption; }));
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    SetMsgBoxHookForTesting([](const QString& text) { qFatal("message box: %s", qPrintable(text)); });

    const QByteArray page(PageBytes, 'p');
    const QByteArray smallPage(SmallPageBytes, 's');
    const QByteArray largePage(LargePageBytes, 'L');

    QThread serverThread;
    serverThread.start();
    auto* server = new TestHttpServer;
    server->moveToThread(&serverThread);
    QString base;
    QMetaObject::invokeMethod(
        server,
        [&] {
            if (!server->listen())
                return;
            base = server->url(QString());
            server->setHandler([&](const QByteArray& path, int) {
                TestResponse response;
                response.headers.append(qMakePair(QByteArray("Content-Type"), QByteArray("text/html")));
                response.body = path == "/large" ? largePage : path == "/small" ? smallPage : page;
                return response;
            });
        },
        Qt::BlockingQueuedConnection);
    if (base.isEmpty())
        qFatal("the test server cannot listen");

    timeItems(base, 20); // warm-up

    std::printf("Check run against a local server, pages of %lld bytes, nothing changed\n",
                static_cast<long long>(PageBytes));
    std::printf("%6s | %12s %10s | %12s %10s | %6s\n", "items", "SiteVigil ms", "per item",
                "curl ms", "per item", "ratio");
    for (int count : {100, 1000}) {
        const double ours = timeItems(base, count);
        const double curl = timeCurl(base, count);
        if (curl < 0) {
            std::printf("%6d | %12.1f %10.3f | %12s %10s | %6s\n", count, ours, ours / count,
                        "n/a", "n/a", "n/a");
            continue;
        }
        std::printf("%6d | %12.1f %10.3f | %12.1f %10.3f | %6.2f\n", count, ours, ours / count,
                    curl, curl / count, ours / curl);
    }

    const double small = timeOnePage(base + u"/small"_s);
    const double large = timeOnePage(base + u"/large"_s);
    std::printf("\nOne check of a changed page (median of %d)\n", PageSizeRepeats);
    std::printf("%10s | %10s\n", "page", "ms");
    std::printf("%10s | %10.2f\n", "64 KiB", small);
    std::printf("%10s | %10.2f\n", "50 MB", large);
    std::printf("50 MB / 64 KiB: %.2f\n", large / small);

    QMetaObject::invokeMethod(server, [server] { delete server; }, Qt::BlockingQueuedConnection);
    serverThread.quit();
    serverThread.wait();
    SetMsgBoxHookForTesting(nullptr);
    return 0;
}
