// Pasting many links onto the Setting list: 1,000 of one host and path (titles "… (2)" up to
// "… (1000)") and 10,000 distinct ones, into an empty item folder, from the paste to the list
// refreshed and selected. Goals: 1,000 alike within 2 s, 10,000 distinct within 10 s.
#include "BenchSupport.h"
#include "app/frmMain.h"
#include "support/frmMainProbe.h"

#include <QDir>
#include <QListWidget>
#include <QMimeData>

#include <cstdio>
#include <ctime>
#include <memory>

using namespace Qt::StringLiterals;

namespace
{

struct Figures {
    double wall = 0; // s
    double cpu = 0;  // s of this thread: the window's own work, without waiting for the disk
};

double threadCpu()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

Figures paste(const QString& text, int expected)
{
    Bench::ProgramFolder folder; // no items: the window opens without a run
    auto window = std::make_unique<frmMain>();
    frmMainProbe probe(*window);
    QCoreApplication::processEvents();
    QMimeData data;
    data.setText(text);
    QElapsedTimer timer;
    timer.start();
    const double cpu = threadCpu();
    probe.lstSetting_OLEDragDrop(&data);
    const Figures f{timer.nsecsElapsed() / 1e9, threadCpu() - cpu};
    const int files = int(QDir(folder.path() + u"URLs"_s).entryList(QDir::Files).size());
    if (files != expected || probe.lstSetting()->count() != expected)
        qFatal("%d files, %d lines, not %d", files, probe.lstSetting()->count(), expected);
    return f;
}

QString links(int count, bool alike)
{
    QStringList lines;
    for (int i = 0; i < count; ++i)
        lines.append(alike ? u"http://news.example.com/list?page=%1"_s.arg(i)
                           : u"http://news.example.com/page/%1"_s.arg(i));
    return lines.join(u'\n');
}

} // namespace

int main(int argc, char* argv[])
{
    Bench::WindowApplication app(argc, argv);
    // --once: one paste per case (a slow build takes minutes for one)
    const int repeats = app.arguments().contains(u"--once"_s) ? 1 : 3;
    std::printf("Paste of links into an empty item folder, seconds (median of %d)\n", repeats);
    std::printf("%-34s %8s %8s %6s\n", "links", "wall s", "CPU s", "goal");
    struct Case {
        const char* name;
        int count;
        bool alike;
        double goal;
    };
    for (const Case& c : {Case{"1,000 of one host and path", 1000, true, 2.0},
                          Case{"10,000 distinct", 10000, false, 10.0}}) {
        const QString text = links(c.count, c.alike);
        std::vector<double> walls, cpus;
        for (int i = 0; i < repeats; ++i) {
            const Figures f = paste(text, c.count);
            walls.push_back(f.wall);
            cpus.push_back(f.cpu);
        }
        std::printf("%-34s %8.2f %8.2f %6.1f\n", c.name, Bench::median(walls), Bench::median(cpus),
                    c.goal);
    }
    return 0;
}
