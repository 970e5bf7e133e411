#pragma once
// Helpers shared by the benchmarks: a throw-away program folder, waiting on the event loop,
// medians and the process's memory.
#include "app/CodePage.h"
#include "app/Module1.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <vector>

namespace Bench {

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

// The window keeps accepted pages in the user's data folder: a benchmark points that folder at
// a throw-away one, so that no run finds the pages of an earlier one or fills the real home.
inline void UsePrivateDataHome()
{
    static QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
}

} // namespace Bench
