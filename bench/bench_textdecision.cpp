// The cost of deciding by text: one decision of a 65,535-byte page (parse, Select, Ignore,
// normalising, digest) with the kept page's digest stored and without it, and the worst a
// hostile Ignore pattern costs. Prints medians and maxima; the goals are under 10 ms for a
// decision and about 100 ms at most with hostile patterns.
#include "check/TextDecision.h"

#include "PageWords.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

using namespace Qt::StringLiterals;

namespace
{

constexpr int Repeats = 31;

// A shop's list page: nested blocks, links, prices, a counter, scripts.
QByteArray typicalPage(quint32 seed, int bytes)
{
    QRandomGenerator random(seed);
    QByteArray page = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Shop</title>"
                      "<script>var t=1;</script><style>body{font:14px sans-serif}</style></head>"
                      "<body><header><p class=\"counter\">12345 人目</p></header><main "
                      "id=\"list\"><div class=\"items\">\n";
    while (page.size() < bytes - 40) {
        page += "<div class=\"row\"><p class=\"item\"><a href=\"/item/" +
                QByteArray::number(random.bounded(100000)) + "\">";
        for (int w = 0, n = 4 + random.bounded(12); w < n; ++w)
            page += QByteArray(PageWords[random.bounded(20)]) + ' ';
        page += "</a> <span class=\"price\">" + QByteArray::number(random.bounded(10000)) +
                "円</span></p></div>\n";
    }
    page.resize(bytes, ' ');
    return page;
}

double threadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Wall time and the thread's CPU time (the machine is shared: CPU time is what the work costs).
struct Figures {
    double median = 0;
    double max = 0;
    double cpuMedian = 0;
    double cpuMax = 0;
};

Figures measure(const std::function<void()>& work)
{
    std::vector<double> ms, cpu;
    for (int i = 0; i < Repeats; ++i) {
        QElapsedTimer t;
        t.start();
        const double c = threadCpuMs();
        work();
        cpu.push_back(threadCpuMs() - c);
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    std::sort(cpu.begin(), cpu.end());
    return {ms[ms.size() / 2], ms.back(), cpu[cpu.size() / 2], cpu.back()};
}

void print(const char* what, const Figures& f)
{
    std::printf("  %-44s wall %6.2f ms (max %6.2f), CPU %6.2f ms (max %6.2f)\n", what, f.median,
                f.max, f.cpuMedian, f.cpuMax);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QByteArray oldBody = typicalPage(7, KeptPages::MaxBodyBytes);
    QByteArray newBody = oldBody;
    const qsizetype word = newBody.indexOf("送料", 30000);
    newBody.replace(word, 6, "在庫"); // one word changed, same length
    TextInput in;
    in.status = 200;
    in.body = newBody;
    in.contentType = "text/html";
    in.kept = KeptPage{u"http://example.jp/"_s, "text/html", oldBody};
    in.storedInfo = u"Tue, 01 Dec 2026 00:00:00 GMT"_s;

    std::printf("One decision of a %d-byte page, %d repeats (machine shared):\n",
                int(newBody.size()), Repeats);
    TextVerdict v;
    in.keptDigest = DecideByText(in).digest;
    print("no rules, kept digest stored", measure([&] { v = DecideByText(in); }));
    in.keptDigest.clear();
    print("no rules, kept page parsed too", measure([&] { v = DecideByText(in); }));
    in.rules = {u"#list div.row > p.item"_s, {uR"(\d+ 人目)"_s, uR"(\d+円)"_s}};
    in.keptDigest = DecideByText(in).digest;
    print("Select + 2 Ignore, kept digest stored", measure([&] { v = DecideByText(in); }));
    in.keptDigest.clear();
    print("Select + 2 Ignore, kept page parsed too", measure([&] { v = DecideByText(in); }));
    std::printf("  (outcome %d)\n", int(v.outcome));

    // A page of one long run of letters and patterns that backtrack without end.
    const QByteArray hostile = QByteArray(KeptPages::MaxBodyBytes - 2, 'a') + "!";
    const QStringList patterns{u"(a+)+$"_s,    uR"(^(\w+\s?)*$)"_s, u"(a|aa)+$"_s,
                               u"(.*a){20}"_s, u"(a*)*b"_s,         u"(?:a+|b)+c"_s};
    std::printf("Hostile Ignore patterns on %d bytes of 'a':\n", int(hostile.size()));
    for (const QString& p : patterns) {
        const auto compiled = IgnorePattern::Compile(p);
        const QString text = QString::fromLatin1(hostile);
        bool gaveUp = false;
        const Figures f = measure([&] { gaveUp = !compiled->RemovedFrom(text); });
        print(qPrintable(p + (gaveUp ? u" (gave up)"_s : u" (done)"_s)), f);
        QRegularExpression qt(p);
        print("  the same by QRegularExpression, one match",
              measure([&] { (void)qt.match(text).hasMatch(); }));
    }
    TextInput bad;
    bad.status = 200;
    bad.body = hostile;
    bad.contentType = "text/plain";
    bad.kept = KeptPage{u"http://example.jp/"_s, "text/html", hostile};
    bad.rules.ignore = patterns;
    print("one decision, all six, kept page parsed too", measure([&] { v = DecideByText(bad); }));
    std::printf("  (%d patterns named as given up)\n", int(v.problems.size()));
    return 0;
}
