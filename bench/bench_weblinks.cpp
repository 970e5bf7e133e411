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
#include <memory>

using namespace Qt::StringLiterals;

namespace
{

double paste(const QString& text, int expected)
{
    Bench::ProgramFolder folder; // no items: the window opens without a run
    auto window = std::make_unique<frmMain>();
    frmMainProbe probe(*window);
    QCoreApplication::processEvents();
    QMimeData data;
    data.setText(text);
    QElapsedTimer timer;
    timer.start();
    probe.lstSetting_OLEDragDrop(&data);
    const double seconds = timer.nsecsElapsed() / 1e9;
    const int files = int(QDir(folder.path() + u"URLs"_s).entryList(QDir::Files).size());
    if (files != expected || probe.lstSetting()->count() != expected)
        qFatal("%d files, %d lines, not %d", files, probe.lstSetting()->count(), expected);
    return seconds;
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
    std::printf("%-34s %8s %6s\n", "links", "s", "goal");
    struct Case {
        const char* name;
        int count;
        bool alike;
        double goal;
    };
    for (const Case& c : {Case{"1,000 of one host and path", 1000, true, 2.0},
                          Case{"10,000 distinct", 10000, false, 10.0}}) {
        const QString text = links(c.count, c.alike);
        std::vector<double> times;
        for (int i = 0; i < repeats; ++i)
            times.push_back(paste(text, c.count));
        std::printf("%-34s %8.2f %6.1f\n", c.name, Bench::median(times), c.goal);
    }
    return 0;
}
