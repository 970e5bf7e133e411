// A full item folder (32,768 item files plus more): listing it, reading every item, and
// writing one item, new or rewritten, which looks for a name differing only in case.
#include "store/ItemFile.h"
#include "store/ItemFolder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

using namespace Qt::StringLiterals;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTextStream log(stdout);
    QTemporaryDir dir;
    const QString folder = dir.path() + u'/';
    const int files = MaxItems + 1000;
    const QByteArray content =
        "[InternetShortcut]\r\nURL=http://127.0.0.1/\r\n\r\n[SiteVigil]\r\nErr=0\r\nInfo=1234\r\n"
        "Check2Byte=0\r\n"_ba;
    for (int i = 0; i < files; ++i) {
        const QString title = (i % 3 ? u"item %1"_s : u"アイテム %1"_s).arg((i * 7919) % files);
        QFile f(folder + title + u".url"_s);
        if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
            return 1;
    }

    QElapsedTimer timer;
    for (int round = 0; round < 3; ++round) {
        timer.restart();
        const QList<QByteArray> names = ListItemFiles(folder);
        log << "ListItemFiles: " << names.size() << " of " << files << " names in "
            << timer.nsecsElapsed() / 1e6 << " ms" << Qt::endl;
    }
    const QList<QByteArray> names = ListItemFiles(folder);
    timer.restart();
    qint64 sum = 0;
    for (const QByteArray& name : names)
        sum += ReadItemFile(folder, name).Info.size();
    log << "ReadItemFile of " << names.size() << " items: " << timer.elapsed() << " ms" << Qt::endl;

    ItemRecord item;
    item.URL = u"http://127.0.0.1/x"_s;
    constexpr int writes = 20;
    timer.restart();
    for (int i = 0; i < writes; ++i) {
        item.Title = u"new item %1"_s.arg(i);
        WriteItemFile(folder, item);
    }
    log << "WriteItemFile, new title: " << timer.nsecsElapsed() / 1e6 / writes << " ms" << Qt::endl;
    timer.restart();
    for (int i = 0; i < writes; ++i) {
        item.Title = u"ITEM %1"_s.arg(i + 1);
        WriteItemFile(folder, item);
    }
    log << "WriteItemFile, title in other case: " << timer.nsecsElapsed() / 1e6 / writes << " ms"
        << Qt::endl;
    timer.restart();
    for (int i = 0; i < writes; ++i) {
        item.Title = u"item %1"_s.arg(i + 1);
        WriteItemFile(folder, item);
    }
    log << "WriteItemFile, existing title: " << timer.nsecsElapsed() / 1e6 / writes << " ms"
        << Qt::endl;
    return sum > 0 ? 0 : 1;
}
