// Loading the catalogue: LoadItems and RefreshSettingList over 1,000 and 32,768 item files,
// time (median of warm runs) and the highest memory above the window's empty start.
// Goal: 32,768 items in under 1 s and under 64 MB extra.
#include "BenchSupport.h"
#include "app/MsgBox.h"
#include "app/frmMain.h"
#include "support/ProcessMemory.h"
#include "support/frmMainProbe.h"

#include <QApplication>
#include <QListWidget>

#include <cstdio>
#include <malloc.h>
#include <memory>

using namespace Qt::StringLiterals;

namespace
{

constexpr int Repeats = 5;

struct Figures {
    double ms = 0;
    qint64 extraKiB = 0;
};

// Times f on a fresh window (started over an empty folder) each run; memory is the highest
// resident size of the first run above the size right before it.
Figures measure(const QString& emptyFolder, const QString& fullFolder,
                const std::function<void(frmMainProbe&)>& f)
{
    std::vector<double> times;
    qint64 extra = -1;
    for (int i = 0; i < Repeats; ++i) {
        SetAppFolderForTesting(emptyFolder); // the window starts with no items
        auto window = std::make_unique<frmMain>();
        frmMainProbe probe(*window);
        SetAppFolderForTesting(fullFolder);
        QCoreApplication::processEvents();
        malloc_trim(
            0); // what earlier runs freed leaves the resident set, so it is not reused unseen
        const qint64 before = ProcessMemory::RssKiB();
        ProcessMemory::ResetPeak();
        QElapsedTimer timer;
        timer.start();
        f(probe);
        times.push_back(timer.nsecsElapsed() / 1e6);
        if (extra < 0)
            extra = ProcessMemory::PeakKiB() - before;
        probe.CancelTransfer(); // the run LoadItems started goes no further
        window.reset();
        QCoreApplication::processEvents();
    }
    return {Bench::median(times), extra};
}

} // namespace

int main(int argc, char* argv[])
{
    Bench::WindowApplication app(argc, argv);
    if (!ProcessMemory::ResetPeak())
        std::printf("(the kernel does not reset VmHWM: peaks include earlier runs)\n");

    std::printf("Catalogue loading, item files in the page cache, median of %d runs\n", Repeats);
    std::printf("%6s | %14s %12s | %14s %12s\n", "items", "LoadItems ms", "extra MB",
                "Refresh... ms", "extra MB");
    for (int count : {1000, 32768}) {
        Bench::ProgramFolder empty;
        Bench::ProgramFolder folder;
        for (int i = 0; i < count; ++i) {
            // Titles of both scripts, addresses of a closed port: the run never gets far.
            const QString title = i % 2 ? u"ページ %1 のお知らせ"_s.arg(i, 5, 10, QChar(u'0'))
                                        : u"Site news %1"_s.arg(i, 5, 10, QChar(u'0'));
            folder.writeItem(title, u"http://127.0.0.1:9/page/%1.html"_s.arg(i),
                             u"Wed, 01 Jan 2025 10:00:00 GMT"_s);
        }
        const Figures load = measure(empty.path(), folder.path(), [&](frmMainProbe& p) {
            p.LoadItems();
            if (p.LastIndex() != count - 1)
                qFatal("LoadItems loaded %d items, not %d", p.LastIndex() + 1, count);
        });
        const Figures refresh = measure(empty.path(), folder.path(), [&](frmMainProbe& p) {
            p.RefreshSettingList();
            if (p.lstSetting()->count() != count)
                qFatal("RefreshSettingList listed %d items, not %d", int(p.lstSetting()->count()),
                       count);
        });
        std::printf("%6d | %14.1f %12.1f | %14.1f %12.1f\n", count, load.ms, load.extraKiB / 1024.0,
                    refresh.ms, refresh.extraKiB / 1024.0);
        std::fflush(stdout);
    }
    SetMsgBoxHookForTesting(nullptr);
    return 0;
}
