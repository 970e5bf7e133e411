#pragma once
// Helpers shared by the benchmarks: a throw-away program folder, waiting on the event loop,
// medians and the process's memory.
#include "app/CodePage.h"
#include "app/Module1.h"
#include "app/MsgBox.h"
#include "support/TestHttpServer.h"

#include <QApplication>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace Bench
{

using namespace Qt::StringLiterals;

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

    void writeItem(const QString& title, const QString& url, const QString& info,
                   const QString& folder = u"URLs"_s) const
    {
        QDir().mkpath(path() + folder);
        write(path() + folder + u'/' + title + u".url"_s,
              u"[InternetShortcut]\r\nURL="_s + url + u"\r\n\r\n[SiteVigil]\r\nErr=0\r\nInfo="_s +
                  info + u"\r\nCheck2Byte=0\r\n"_s);
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

// Runs the event loop until done() holds; false after the time limit. Sleeps between events:
// processEvents() with a time limit would ignore WaitForMoreEvents and spin, taking a core
// from the server and the code being measured.
inline bool waitFor(const std::function<bool()>& done, int timeoutMs)
{
    QTimer limit; // wakes the loop when the time is up
    limit.setSingleShot(true);
    bool expired = false;
    QObject::connect(&limit, &QTimer::timeout, &limit, [&] { expired = true; });
    limit.start(timeoutMs);
    while (!done()) {
        if (expired)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

inline double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The application of a benchmark that runs the window: offscreen unless a display is asked
// for, accepted pages in a throw-away data folder (no run finds an earlier one's, the real home
// stays clean), output by the line, and a message box ends the benchmark.
class WindowApplication final : public QApplication
{
public:
    WindowApplication(int& argc, char** argv) : QApplication(prepared(argc), argv)
    {
        std::setvbuf(stdout, nullptr, _IOLBF, 0);
        SetMsgBoxHookForTesting(
            [](const QString& text) { qFatal("message box: %s", qPrintable(text)); });
    }

private:
    static int& prepared(int& argc)
    {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        static QTemporaryDir dataHome;
        qputenv("XDG_DATA_HOME", dataHome.path().toLocal8Bit());
        return argc;
    }
};

// Starts this benchmark again as child with "--serve" (its servers then use no time and no
// memory of the process measured) and returns the first lines it prints: the servers' bases.
inline QStringList StartServeChild(QProcess& child, int lines)
{
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {u"--serve"_s});
    QStringList bases;
    while (bases.size() < lines) {
        if (!child.canReadLine() && !child.waitForReadyRead(10000))
            qFatal("the test servers did not start");
        while (child.canReadLine())
            bases << QString::fromLatin1(child.readLine().trimmed());
    }
    return bases;
}

// A test server on a thread of its own, so that its work does not count as the client's.
class ServerThread final
{
public:
    explicit ServerThread(std::function<TestResponse(const QByteArray& path, int hit)> handler)
    {
        thread_.setObjectName(u"server"_s);
        thread_.start();
        server_ = new TestHttpServer;
        server_->moveToThread(&thread_);
        QMetaObject::invokeMethod(
            server_,
            [&] {
                if (!server_->listen())
                    return;
                base_ = server_->url(QString());
                server_->setHandler(std::move(handler));
            },
            Qt::BlockingQueuedConnection);
        if (base_.isEmpty())
            qFatal("the test server cannot listen");
    }
    ~ServerThread()
    {
        QMetaObject::invokeMethod(
            server_, [this] { delete server_; }, Qt::BlockingQueuedConnection);
        thread_.quit();
        thread_.wait();
    }
    ServerThread(const ServerThread&) = delete;
    ServerThread& operator=(const ServerThread&) = delete;

    QString base() const { return base_; }
    TestHttpServer* server() const { return server_; } // lives on the server thread

private:
    QThread thread_;
    TestHttpServer* server_ = nullptr;
    QString base_;
};

} // namespace Bench
