// The cost of the kept pages: a run over 500 unchanged items of 16 KiB with the store off,
// with every kept page already there, and writing all of them for the first time; the same
// run deciding by text (option CompareText), with the text digests stored and without; the time
// to show the change of two 65,535-byte pages (and of pages made to be hard); the store's
// size for those 500 pages. Prints medians; the goals are within 5 % and 25 % of the run with
// the store off, and under 50 ms for the change. Then two runs of the writer over a catalogue
// whose pages exceed the cap: what the second one writes and removes (the goal: nothing).
#include "BenchSupport.h"
#include "app/MsgBox.h"
#include "app/frmMain.h"
#include "check/ChangeReport.h"
#include "check/KeptPages.h"
#include "support/TestHttpServer.h"
#include "support/frmMainProbe.h"

#include "PageWords.h"

#include <QApplication>
#include <QDirIterator>
#include <QListWidget>
#include <QRandomGenerator>
#include <QThread>

#include <cstdio>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace
{

constexpr int Items = 500;
constexpr int PageBytes = 16 * 1024;
constexpr int Repeats = 11;

// A page of ordinary text: paragraphs of words from a small vocabulary, numbers, links.
QByteArray typicalPage(quint32 seed, int bytes)
{
    QRandomGenerator random(seed);
    QByteArray page = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Shop</title>"
                      "<style>body{font:14px sans-serif}</style></head><body>\n";
    while (page.size() < bytes - 40) {
        page += "<p class=\"item\"><a href=\"/item/" + QByteArray::number(random.bounded(100000)) +
                "\">";
        for (int w = 0, n = 4 + random.bounded(12); w < n; ++w)
            page += QByteArray(PageWords[random.bounded(20)]) + ' ';
        page += "</a> " + QByteArray::number(random.bounded(10000)) + "円</p>\n";
    }
    page += "</body></html>";
    page.resize(bytes, ' ');
    return page;
}

Bench::ProgramFolder* program = nullptr;

// The settings name an empty item folder while the window is built, then the items.
void useFolder(const QString& name, bool compareText = false)
{
    QDir(program->path()).mkpath(name);
    QFile ini(program->path() + u"SiteVigil.ini"_s);
    if (!ini.open(QIODevice::WriteOnly) ||
        ini.write(CodePage::ToAnsi(u"[Option]\r\nExitAfterSave=0\r\nFolderPath="_s +
                                   program->path() + name + u"/\r\n"_s +
                                   (compareText ? u"CompareText=1\r\n"_s : QString()))) < 0)
        qFatal("cannot write the settings");
}

void copyFolder(const QString& from, const QString& to)
{
    QDir().mkpath(to);
    for (const QString& name : QDir(from).entryList(QDir::Files))
        QFile::copy(from + name, to + name);
}

// Runs the window over the folder with the given store; ms until the run ended.
double threadCpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// CPU time of the user-interface thread in the last timeRun: less moved by a busy machine.
std::vector<double>* cpuSamples = nullptr;

double timeRun(const QString& store, bool off, double* writtenMs = nullptr,
               bool compareText = false, const QString& items = u"URLs"_s)
{
    useFolder(u"empty"_s);
    frmMain window;
    useFolder(items, compareText);
    frmMainProbe probe(window);
    probe.runResults() =
        std::make_unique<RunResults>(std::make_unique<KeptPages>(off ? QString() : store));
    QSignalSpy unloaded(&window, &frmMain::Unloaded);
    QElapsedTimer timer;
    const double cpu0 = threadCpuMs();
    timer.start();
    probe.LoadItems();
    if (!Bench::waitFor([&] { return unloaded.count() > 0; }, 600000))
        qFatal("the run did not end");
    const double ms = timer.nsecsElapsed() / 1e6;
    if (cpuSamples)
        cpuSamples->push_back(threadCpuMs() - cpu0);
    probe.runResults()->Kept().WaitIdle();
    if (writtenMs)
        *writtenMs = timer.nsecsElapsed() / 1e6;
    return ms;
}

qint64 folderBytes(const QString& folder, int* files)
{
    qint64 total = 0;
    *files = 0;
    for (QDirIterator it(folder, QDir::Files); it.hasNext();) {
        it.next();
        total += it.fileInfo().size();
        ++*files;
    }
    return total;
}

// Each file's identity (inode, change time): a file rewritten or replaced has another.
struct StoreListing {
    QHash<QString, std::pair<qint64, qint64>> files;
    qint64 disk = 0;
    qint64 apparent = 0;
};

StoreListing listStore(const QString& folder)
{
    StoreListing listing;
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden)) {
        struct stat st {
        };
        if (::lstat(QFile::encodeName(folder + name).constData(), &st) != 0)
            continue;
        listing.files.insert(
            name, {qint64(st.st_ino), qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec});
        listing.disk += qint64(st.st_blocks) * 512;
        listing.apparent += st.st_size;
    }
    return listing;
}

// One run of the writer over the catalogue as the window makes it: the catalogue, a page kept
// in advance per unchanged item at about the pace of a run, and the run's end.
void storeRun(const QString& folder, int items, int pageBytes, const char* label)
{
    const StoreListing before = listStore(folder);
    QStringList urls;
    for (int i = 0; i < items; ++i)
        urls << u"http://x/%1"_s.arg(i);
    QElapsedTimer timer;
    timer.start();
    double callsMs = 0;
    {
        KeptPages store(folder);
        store.SetCatalogue(urls);
        for (int i = 0; i < items; ++i) {
            const KeptPage page{urls.at(i), "text/html", typicalPage(i, pageBytes)};
            QElapsedTimer call;
            call.start();
            store.KeepIfMissing(page);
            callsMs += call.nsecsElapsed() / 1e6;
            if (i % 256 == 255) // a run's responses come at the network's pace
                store.WaitIdle();
        }
        store.CatalogueRunEnded();
        store.WaitIdle();
    }
    const double ms = timer.nsecsElapsed() / 1e6;
    const StoreListing after = listStore(folder);
    int written = 0;
    int removed = 0;
    for (auto it = after.files.cbegin(); it != after.files.cend(); ++it)
        written += before.files.value(it.key()) != it.value();
    for (auto it = before.files.cbegin(); it != before.files.cend(); ++it)
        removed += !after.files.contains(it.key());
    std::printf("  %-7s %6.0f ms (KeepIfMissing calls %6.1f ms)  written %5d  removed %5d  "
                "files %5lld  disk %6.1f MB  apparent %5.1f MB  cap %.1f MB\n",
                label, ms, callsMs, written, removed, static_cast<long long>(after.files.size()),
                after.disk / 1e6, after.apparent / 1e6, KeptPages::DefaultCapBytes / 1e6);
}

double timeReport(const PageSample& page, const KeptPage& kept, bool* gaveUp)
{
    std::vector<double> ms;
    for (int i = 0; i < 21; ++i) {
        QElapsedTimer timer;
        timer.start();
        const QList<DiffLine> lines = ChangeReport(page, kept);
        ms.push_back(timer.nsecsElapsed() / 1e6);
        *gaveUp = std::any_of(lines.cbegin(), lines.cend(), [](const DiffLine& l) {
            return l.text.startsWith(u"違いが多すぎる"_s);
        });
    }
    return Bench::median(ms);
}

} // namespace

int main(int argc, char* argv[])
{
    Bench::WindowApplication app(argc, argv);

    // Under /n/ the page has a script whose number changes on every request, as a page with a
    // token or a time in a script has: the same text, other bytes.
    const auto withNonce = [](QByteArray page, int hit) {
        return page.replace("<title>Shop</title>",
                            "<title>Shop</title><script>var n=" +
                                QByteArray::number(10000000 + hit % 90000000) + ";</script>");
    };
    Bench::ServerThread served([&](const QByteArray& path, int hit) {
        TestResponse response;
        response.headers.append(
            qMakePair(QByteArray("Content-Type"), QByteArray("text/html; charset=utf-8")));
        response.body = path.startsWith("/n/")
                            ? withNonce(typicalPage(qHash(path.mid(2)), PageBytes), hit)
                            : typicalPage(qHash(path), PageBytes);
        return response;
    });
    const QString base = served.base();

    // Items whose Info is their page's measure: nothing changes.
    Bench::ProgramFolder folder;
    program = &folder;
    for (int i = 0; i < Items; ++i) {
        const QString path = u"/p/%1"_s.arg(i);
        const QByteArray body = typicalPage(qHash(path.toUtf8()), PageBytes);
        program->writeItem(u"item%1"_s.arg(i, 4, 10, QChar(u'0')), base + path,
                           QString::number(CodePage::FromAnsi(body).size()));
        program->writeItem(u"item%1"_s.arg(i, 4, 10, QChar(u'0')), base + u"/n"_s + path,
                           QString::number(CodePage::FromAnsi(withNonce(body, 0)).size()),
                           u"URLsNonce"_s);
    }
    QTemporaryDir stores;
    const QString kept = stores.path() + u"/kept/"_s;
    timeRun(kept, false); // warm-up, and every page kept from here on

    // The same pages decided by their text: once with the digests stored, once with the
    // store as a run without the option leaves it (each kept page parsed, then given its digest).
    const QString byText = stores.path() + u"/text/"_s;
    copyFolder(kept, byText);
    timeRun(byText, false, nullptr, true);
    const QString nonce = stores.path() + u"/nonce/"_s;
    timeRun(nonce, false, nullptr, false, u"URLsNonce"_s);
    timeRun(nonce, false, nullptr, true, u"URLsNonce"_s);

    std::vector<double> off, existing, first, firstWritten, offCpu, existingCpu, firstCpu;
    std::vector<double> text, textCpu, undigested, undigestedCpu, nonceOff, nonceOffCpu, nonceOn,
        nonceOnCpu;
    // The seven in turn, each repeat starting with another, so that a busy spell of the
    // machine does not fall on one of them only.
    for (int r = 0; r < Repeats; ++r) {
        for (int k = 0; k < 7; ++k) {
            switch ((r + k) % 7) {
            case 5:
                cpuSamples = &nonceOffCpu;
                nonceOff.push_back(timeRun(nonce, false, nullptr, false, u"URLsNonce"_s));
                break;
            case 6:
                cpuSamples = &nonceOnCpu;
                nonceOn.push_back(timeRun(nonce, false, nullptr, true, u"URLsNonce"_s));
                break;
            case 3:
                cpuSamples = &textCpu;
                text.push_back(timeRun(byText, false, nullptr, true));
                break;
            case 4: {
                const QString copy = stores.path() + u"/undigested%1/"_s.arg(r);
                copyFolder(kept, copy);
                cpuSamples = &undigestedCpu;
                undigested.push_back(timeRun(copy, false, nullptr, true));
                break;
            }
            case 0:
                cpuSamples = &offCpu;
                off.push_back(timeRun(QString(), true));
                break;
            case 1:
                cpuSamples = &existingCpu;
                existing.push_back(timeRun(kept, false));
                break;
            default: {
                double written = 0;
                cpuSamples = &firstCpu;
                first.push_back(timeRun(stores.path() + u"/first%1/"_s.arg(r), false, &written));
                firstWritten.push_back(written);
            }
            }
        }
    }
    const double o = Bench::median(off), e = Bench::median(existing), f = Bench::median(first);
    std::printf("Run over %d unchanged items of %d bytes, medians of %d (machine shared):\n", Items,
                PageBytes, Repeats);
    const double oc = Bench::median(offCpu), ec = Bench::median(existingCpu),
                 fc = Bench::median(firstCpu);
    std::printf("  store off (as before)      %8.1f ms                cpu %7.1f ms\n", o, oc);
    std::printf("  kept pages exist           %8.1f ms  ratio %.3f  cpu %7.1f ms  ratio %.3f\n", e,
                e / o, ec, ec / oc);
    std::printf("  first run, writing %d     %8.1f ms  ratio %.3f  cpu %7.1f ms  ratio %.3f"
                "  (all on disk after %.1f ms)\n",
                Items, f, f / o, fc, fc / oc, Bench::median(firstWritten));
    const double t = Bench::median(text), tc = Bench::median(textCpu),
                 u = Bench::median(undigested), uc = Bench::median(undigestedCpu);
    std::printf("  option CompareText on, kept pages exist (against the run with it off):\n");
    std::printf("    digests stored           %8.1f ms  ratio %.3f  cpu %7.1f ms  ratio %.3f\n", t,
                t / e, tc, tc / ec);
    std::printf("    digests not yet stored   %8.1f ms  ratio %.3f  cpu %7.1f ms  ratio %.3f\n", u,
                u / e, uc, uc / ec);
    const double no = Bench::median(nonceOff), noc = Bench::median(nonceOffCpu),
                 nn = Bench::median(nonceOn), nnc = Bench::median(nonceOnCpu);
    std::printf("  a number in a script changes on every request (the new page is parsed):\n");
    std::printf("    option off               %8.1f ms                cpu %7.1f ms\n", no, noc);
    std::printf("    option on, digests       %8.1f ms  ratio %.3f  cpu %7.1f ms  ratio %.3f\n", nn,
                nn / no, nnc, nnc / noc);
    int files = 0;
    const qint64 bytes = folderBytes(kept, &files);
    std::printf("Store for %d pages: %lld bytes in %d files, %.1f KiB a page (pages %d bytes)\n",
                Items, static_cast<long long>(bytes), files, bytes / 1024.0 / files, PageBytes);

    // The change of one 65,535-byte page: three lines differ.
    QByteArray oldBody = typicalPage(7, KeptPages::MaxBodyBytes);
    QByteArray newBody = oldBody;
    for (const qsizetype at : {qsizetype(2000), qsizetype(30000), qsizetype(60000)})
        newBody[newBody.indexOf("円", at) - 1] = '#';
    PageSample page{u"t"_s,  u"u"_s, u"1"_s, u"2"_s, 0,     0,  false, 200, "text/html",
                    newBody, {},     {},     true,   false, {}, {},    {}};
    bool gaveUp = false;
    std::printf("Change view of two pages of %d bytes:\n", KeptPages::MaxBodyBytes);
    std::printf("  three lines changed            %7.2f ms\n",
                timeReport(page, {u"u"_s, "text/html", oldBody}, &gaveUp));
    QByteArray lines, reversed;
    for (int i = 0; i < 9000; ++i)
        lines += QByteArray::number(i) + "\n";
    for (int i = 8999; i >= 0; --i)
        reversed += QByteArray::number(-i) + "\n";
    page.contentType = "text/plain";
    page.body = reversed.left(KeptPages::MaxBodyBytes);
    const double hard =
        timeReport(page, {u"u"_s, "text/plain", lines.left(KeptPages::MaxBodyBytes)}, &gaveUp);
    std::printf("  9,000 lines, all different    %7.2f ms%s\n", hard, gaveUp ? " (gave up)" : "");
    page.body = QByteArray(KeptPages::MaxBodyBytes, 'a');
    std::printf("  one line of %d bytes       %7.2f ms\n", KeptPages::MaxBodyBytes,
                timeReport(page, {u"u"_s, "text/plain", QByteArray(KeptPages::MaxBodyBytes, 'b')},
                           &gaveUp));
    page.body = QByteArray(KeptPages::MaxBodyBytes, '\0');
    page.contentType = "text/html";
    std::printf("  NUL bytes as HTML              %7.2f ms\n",
                timeReport(page, {u"u"_s, "text/html", oldBody}, &gaveUp));

    // The whole view in the window: a page of 30,000 short lines against a kept page of
    // other lines (the diff gives up and the text is shown).
    {
        useFolder(u"empty"_s);
        frmMain window;
        frmMainProbe probe(window);
        QTemporaryDir store;
        probe.runResults() =
            std::make_unique<RunResults>(std::make_unique<KeptPages>(store.path() + u"/"_s));
        QByteArray shortLines, otherLines;
        for (int i = 0; shortLines.size() < KeptPages::MaxBodyBytes - 8; ++i) {
            shortLines += QByteArray::number(i % 1000) + "\n";
            otherLines += QByteArray::number(-i) + "\n";
        }
        probe.runResults()->Kept().Accept(
            {u"u"_s, "text/plain", otherLines.left(KeptPages::MaxBodyBytes)});
        probe.runResults()->Kept().WaitIdle();
        ItemRecord item;
        item.Title = u"t"_s;
        item.URL = u"u"_s;
        item.Info = u"1"_s;
        probe.runResults()->Completed(item, {u"2"_s, {}, "text/plain", shortLines, 200});
        probe.lstCheck()->addItem(u"t"_s);
        QElapsedTimer timer;
        timer.start();
        probe.lstCheck()->setCurrentRow(0);
        std::printf("  in the window: %lld short lines, no diff possible  %7.2f ms\n",
                    static_cast<long long>(shortLines.count('\n')), timer.nsecsElapsed() / 1e6);
    }

    // The writer alone, for a first run over a very large catalogue.
    {
        KeptPages store(stores.path() + u"/many/"_s);
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < 2000; ++i)
            store.Accept({u"http://x/%1"_s.arg(i), "text/html", typicalPage(i, PageBytes)});
        store.WaitIdle();
        const double ms = timer.nsecsElapsed() / 1e6;
        std::printf("Writer: 2000 pages in %.0f ms (%.2f ms a page; 32,768 pages about %.0f s)\n",
                    ms, ms / 2000, ms / 2000 * 32768 / 1000);
        // What the user-interface thread pays per unchanged item whose page is kept.
        QList<KeptPage> pages;
        for (int i = 0; i < 2000; ++i)
            pages.append({u"http://x/%1"_s.arg(i), "text/html", typicalPage(i, PageBytes)});
        timer.restart();
        for (const KeptPage& p : pages)
            store.KeepIfMissing(p);
        const double us = timer.nsecsElapsed() / 1e3 / 2000;
        store.WaitIdle();
        std::printf("KeepIfMissing of a kept page, on the calling thread: %.2f us a page\n", us);
    }

    // A catalogue whose pages take about twice the cap: the second run leaves the store alone.
    {
        constexpr int StoreItems = 32768;
        constexpr int StorePageBytes = 8 * 1024;
        std::printf("Writer over %d items of %d bytes, the store beyond its cap:\n", StoreItems,
                    StorePageBytes);
        const QString folder = stores.path() + u"/full/"_s;
        storeRun(folder, StoreItems, StorePageBytes, "first");
        storeRun(folder, StoreItems, StorePageBytes, "second");
    }

    SetMsgBoxHookForTesting(nullptr);
    return 0;
}
