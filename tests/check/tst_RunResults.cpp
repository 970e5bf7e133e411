#include "check/RunResults.h"

#include "app/CodePage.h"
#include "check/KeptPages.h"
#include "check/PageFilter.h"
#include "check/PageText.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace
{

const QString Url = u"http://127.0.0.1/p"_s;

ItemRecord item(const QString& title, const QString& info)
{
    ItemRecord record;
    record.Title = title;
    record.URL = Url;
    record.Info = info;
    return record;
}

// A response as the transfer gives it: the first block is read as text only on the size path.
RunResults::Response response(const QString& modified, const QByteArray& type,
                              const QByteArray& body, int status = 200)
{
    return {modified, modified.isEmpty() ? CodePage::FromAnsi(body) : QString(), type, body,
            status};
}

// A shop page; the price line differs between versions, the rest stays.
QByteArray shopPage(const QByteArray& price, const QByteArray& charsetMeta = {})
{
    return "<html><head>" + charsetMeta +
           "<title>店</title><style>p{color:red}</style><script>var s=\"<b>x</b>\";</script>"
           "</head><body><h1>商品</h1><!-- 在庫 --><p>りんご</p><p>みかん</p><p>価格 <b>" +
           price + "</b>円</p><p>送料無料</p><p>在庫あり</p><p>a</p><p>b</p></body></html>";
}

QByteArray sjis(const QByteArray& utf8)
{
    return CodePage::ToAnsi(QString::fromUtf8(utf8));
}

QByteArray html(const QByteArray& body, const QByteArray& script = "v=1")
{
    return "<html><head><script>" + script + "</script></head><body>" + body + "</body></html>";
}

QStringList texts(const QList<DiffLine>& lines)
{
    QStringList out;
    for (const DiffLine& line : lines)
        out << line.text;
    return out;
}

} // namespace

class tst_RunResults final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<RunResults> results;

    KeptPages& kept() { return results->Kept(); }
    std::optional<KeptPage> keptPage()
    {
        kept().WaitIdle();
        return KeptPages::DecodeFor(Url, kept().ReadFile(Url));
    }

private slots:
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        results = std::make_unique<RunResults>(std::make_unique<KeptPages>(dir->path() + u'/'));
        results->Begin();
    }

    void completed_data();
    void completed();
    void byText_data();
    void byText();
    void report_data();
    void report();
    void acceptKeepsTheViewsPage();
    void remove_data();
    void remove();
    void bodiesComeBack_data();
    void bodiesComeBack();
    void errors();
    void endNotice_data();
    void endNotice();
    void begin();
};

// The outcome, the item's new information, the listed line and the kept page.
void tst_RunResults::completed_data()
{
    QTest::addColumn<QString>("info");
    QTest::addColumn<QString>("modified");
    QTest::addColumn<bool>("keptBefore");
    QTest::addColumn<bool>("changed");
    QTest::addColumn<QString>("newInfo");
    QTest::addColumn<QByteArray>("keptAfter"); // empty: none
    // "hello world!" measures 12.
    QTest::newRow("size changed") << u"1"_s << QString() << false << true << u"12"_s
                                  << QByteArray();
    QTest::newRow("size same, first run")
        << u"12"_s << QString() << false << false << u"12"_s << QByteArray("hello world!");
    QTest::newRow("size same, kept stays")
        << u"12"_s << QString() << true << false << u"12"_s << QByteArray("hello");
    QTest::newRow("date changed") << u"A"_s << u"B"_s << true << true << u"B"_s
                                  << QByteArray("hello");
    QTest::newRow("date same") << u"B"_s << u"B"_s << false << false << u"B"_s
                               << QByteArray("hello world!");
}

void tst_RunResults::completed()
{
    QFETCH(QString, info);
    QFETCH(QString, modified);
    QFETCH(bool, keptBefore);
    QFETCH(bool, changed);
    QFETCH(QString, newInfo);
    QFETCH(QByteArray, keptAfter);
    if (keptBefore) {
        kept().Accept({Url, "text/plain", "hello"});
        kept().WaitIdle();
    }
    ItemRecord page = item(u"page"_s, info);
    const auto outcome = results->Completed(page, response(modified, "text/plain", "hello world!"));
    QCOMPARE(outcome, changed ? RunResults::Outcome::Changed : RunResults::Outcome::Unchanged);
    QCOMPARE(page.Info, newInfo);
    QCOMPARE(results->Count(), changed ? 1 : 0);
    if (changed)
        QCOMPARE(results->ToolTip(0), Url + u'\n' +
                                          (modified.isEmpty() ? u"文字数 1 → 12 (許容誤差 0)"_s
                                                              : u"Last-modified: A → B"_s));
    const std::optional<KeptPage> now = keptPage();
    QCOMPARE(now ? now->body : QByteArray(), keptAfter);
}

// Deciding by text (the option, or rules in the item file): the outcome, the new information,
// what the view says and the kept page.
void tst_RunResults::byText_data()
{
    QTest::addColumn<bool>("option");
    QTest::addColumn<QByteArray>("rules"); // the item file's Filter lines; empty: no section
    QTest::addColumn<QString>("info");
    QTest::addColumn<QString>("modified");
    QTest::addColumn<QByteArray>("kept"); // empty: none
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    QTest::addColumn<RunResults::Outcome>("outcome");
    QTest::addColumn<QString>("newInfo");
    // Lines of the view (of the errors when failed) in order, by their start; "!": none such.
    QTest::addColumn<QStringList>("view");
    QTest::addColumn<QByteArray>("keptAfter");
    using O = RunResults::Outcome;
    const QByteArray fruit = html("<p>りんご</p><p>みかん</p>");
    const QByteArray grape = html("<p>ぶどう</p><p>みかん</p>");
    const QString grapeSize = QString::number(CodePage::FromAnsi(grape).size());
    const QByteArray news = html("<div id=news><p>a</p></div><p>ad 1</p>");
    QByteArray longPage;
    for (int i = 0; longPage.size() < PageText::CutBytes; ++i)
        longPage += "<p>line " + QByteArray::number(i) + "</p>\n";
    longPage.truncate(PageText::CutBytes);
    QByteArray longEdited = longPage;
    longEdited.replace("line 5<", "line X<");
    longEdited[PageText::CutBytes - 2] = 'Z';
    const qsizetype lastLine = longPage.lastIndexOf("<p>") + 3;
    // The edited cut line (it holds the "Z") must not show as added.
    const QString cutLine = u"!+"_s + QString::fromLatin1(longEdited.mid(lastLine));

    QTest::newRow("touched only") << true << QByteArray() << u"A"_s << u"B"_s << fruit << fruit
                                  << 200 << O::Unchanged << u"A"_s << QStringList() << fruit;
    QTest::newRow("script only") << true << QByteArray() << u"1"_s << QString() << fruit
                                 << html("<p>りんご</p><p>みかん</p>", "v=2") << 200 << O::Unchanged
                                 << u"1"_s << QStringList() << fruit;
    QTest::newRow("whitespace reformat")
        << true << QByteArray() << u"A"_s << u"B"_s << html("<p>りんご みかん</p>")
        << html("<p>\n  りんご\n\t  みかん </p>") << 200 << O::Unchanged << u"A"_s << QStringList()
        << html("<p>りんご みかん</p>");
    QTest::newRow("same-length edit")
        << true << QByteArray() << grapeSize << QString() << fruit << grape << 200 << O::Changed
        << grapeSize << QStringList{u"-りんご"_s, u"+ぶどう"_s, u" みかん"_s} << fruit;
    QTest::newRow("counter, Ignore rule, option off")
        << false << "Ignore=\\d+ 人目\r\n"_ba << u"A"_s << u"B"_s << html("<p>12 人目</p>x")
        << html("<p>13 人目</p>x") << 200 << O::Unchanged << u"A"_s << QStringList()
        << html("<p>12 人目</p>x");
    QTest::newRow("change outside Select")
        << false << "Select=#news\r\n"_ba << u"A"_s << u"B"_s << news
        << html("<div id=news><p>a</p></div><p>ad 2</p>") << 200 << O::Unchanged << u"A"_s
        << QStringList() << news;
    QTest::newRow("change inside Select")
        << false << "Select=#news\r\n"_ba << u"A"_s << u"B"_s << news
        << html("<div id=news><p>b</p></div><p>ad 2</p>") << 200 << O::Changed << u"B"_s
        << QStringList{u"Last-modified: A → B"_s, u"-a"_s, u"+b"_s, u"!-ad"_s, u"!+ad"_s} << news;
    QTest::newRow("outage then recovery")
        << true << QByteArray() << u"エラー:接続が拒否されました"_s << u"B"_s << fruit << fruit
        << 200 << O::Recovered << u"B"_s << QStringList() << fruit;
    QTest::newRow("recovery with a change")
        << true << QByteArray() << u"エラー:接続が拒否されました"_s << u"B"_s << fruit << grape
        << 200 << O::Changed << u"B"_s
        << QStringList{u"前回: エラー:接続が拒否されました → Last-modified: B"_s, u"-りんご"_s}
        << fruit;
    QTest::newRow("404 day") << true << QByteArray() << u"A"_s << u"B"_s << QByteArray()
                             << html("<p>Not Found</p>") << 404 << O::Failed
                             << u"エラー:HTTP 404 Not Found"_s
                             << QStringList{u"エラーになったページ:"_s, u"HTTP 404 Not Found"_s}
                             << QByteArray();
    QTest::newRow("no kept page, listed")
        << true << QByteArray() << u"A"_s << u"B"_s << QByteArray() << fruit << 200 << O::Changed
        << u"B"_s << QStringList{u"比較できるページがまだありません"_s, u"りんご"_s}
        << QByteArray();
    QTest::newRow("no kept page, unchanged")
        << true << QByteArray() << u"B"_s << u"B"_s << QByteArray() << fruit << 200 << O::Unchanged
        << u"B"_s << QStringList() << fruit;
    QTest::newRow("cut at 65,535 bytes")
        << true << QByteArray() << u"A"_s << u"B"_s << longPage << longEdited << 200 << O::Changed
        << u"B"_s
        << QStringList{u"先頭の 65,535 バイトだけを比較しています。"_s, u"-line 5"_s, u"+line X"_s,
                       cutLine}
        << longPage;
    QTest::newRow("invalid rules from the file")
        << false << "Select=div[\r\nIgnore=(\r\n"_ba << u"A"_s << u"B"_s << news
        << html("<div id=news><p>b</p></div><p>ad 1</p>") << 200 << O::Changed << u"B"_s
        << QStringList{u"判定ルール Select=div[ は使えないため無視しました: "_s,
                       u"判定ルール Ignore=( は使えないため無視しました: "_s, u"-a"_s, u"+b"_s}
        << news;
    QTest::newRow("option off: as before")
        << false << QByteArray() << u"A"_s << u"B"_s << fruit << fruit << 200 << O::Changed
        << u"B"_s << QStringList{u"本文は前回と同じです。Last-modified だけが変わりました。"_s}
        << fruit;
}

void tst_RunResults::byText()
{
    QFETCH(bool, option);
    QFETCH(QByteArray, rules);
    QFETCH(QString, info);
    QFETCH(QString, modified);
    QFETCH(QByteArray, kept);
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    QFETCH(RunResults::Outcome, outcome);
    QFETCH(QString, newInfo);
    QFETCH(QStringList, view);
    QFETCH(QByteArray, keptAfter);
    const QByteArray type = "text/html; charset=utf-8";
    const QString items = dir->path() + u"/items/"_s;
    QVERIFY(QDir().mkpath(items));
    QFile file(items + u"a.url"_s);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[InternetShortcut]\r\nURL=" + Url.toUtf8() + "\r\n");
    if (!rules.isEmpty())
        file.write("[SiteVigil.Filter]\r\n" + CodePage::ToAnsi(QString::fromUtf8(rules)));
    file.close();
    if (!kept.isEmpty()) {
        this->kept().Accept({Url, type, kept});
        this->kept().WaitIdle();
    }
    results->Begin(option, items);
    ItemRecord page = item(u"page"_s, info);
    page.FileName = "a.url";
    QCOMPARE(results->Completed(page, response(modified, type, body, status)), outcome);
    QCOMPARE(page.Info, newInfo);
    QCOMPARE(results->Count(), outcome == RunResults::Outcome::Changed ? 1 : 0);
    const QStringList shown = texts(results->Report(results->Count() - 1));
    qsizetype at = 0;
    for (const QString& line : view) {
        if (line.startsWith(u'!')) {
            QVERIFY2(!std::any_of(shown.begin(), shown.end(),
                                  [&](const QString& s) { return s.startsWith(line.mid(1)); }),
                     qPrintable(line));
            continue;
        }
        while (at < shown.size() && !shown.at(at).startsWith(line))
            ++at;
        QVERIFY2(at < shown.size(), qPrintable(line + u"\n"_s + shown.join(u'\n')));
    }
    std::optional<KeptPage> now = keptPage();
    QCOMPARE(now ? now->body : QByteArray(), keptAfter);
    if (outcome == RunResults::Outcome::Unchanged) { // again, now with the digest kept
        ItemRecord again = item(u"page"_s, info);
        again.FileName = "a.url";
        QCOMPARE(results->Completed(again, response(modified, type, body, status)), outcome);
    }
    // What is kept unchanged carries its digest from now on; what is accepted, its own.
    if (outcome == RunResults::Outcome::Changed) {
        results->Accept(0);
        now = keptPage();
        QCOMPARE(now->body, body);
    }
    if (option || !rules.isEmpty())
        QCOMPARE(now && !now->digest.isEmpty(), outcome != RunResults::Outcome::Failed);
}

// What the view shows below the address for a changed page against its kept page.
void tst_RunResults::report_data()
{
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<QByteArray>("kept"); // the kept file; empty: none
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("shown");

    const QStringList priceDiff{
        u"Last-modified: A → B"_s, QString(),          u" 商品"_s,     u" りんご"_s,   u" みかん"_s,
        u"-価格 1,000円"_s,        u"+価格 1,200円"_s, u" 送料無料"_s, u" 在庫あり"_s, u" a"_s};
    const QByteArray utf8 = "text/html; charset=utf-8";
    QTest::newRow("UTF-8 price") << utf8 << KeptPages::Encode({Url, utf8, shopPage("1,000")})
                                 << shopPage("1,200") << 200 << priceDiff;
    const QByteArray meta =
        "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">";
    QTest::newRow("Shift_JIS price")
        << QByteArray("text/html")
        << KeptPages::Encode({Url, "text/html", sjis(shopPage("1,000", meta))})
        << sjis(shopPage("1,200", meta)) << 200 << priceDiff;
    QTest::newRow("same text") << utf8 << KeptPages::Encode({Url, utf8, shopPage("1,000")})
                               << shopPage("1,000") << 200
                               << QStringList{u"Last-modified: A → B"_s, QString(),
                                              u"本文は前回と同じです。Last-modified "
                                              u"だけが変わりました。"_s};
    QTest::newRow("no kept page") << QByteArray("text/plain") << QByteArray()
                                  << QByteArray("one\ntwo\n") << 200
                                  << QStringList{u"文字数 1 → 8 (許容誤差 0)"_s, QString(),
                                                 u"前回の内容は保存されていません。"_s, u"one"_s,
                                                 u"two"_s};
    QTest::newRow("corrupt kept page, status 404")
        << QByteArray("text/plain") << QByteArray("SVKP\1\0\0\0garbage") << QByteArray("one\ntwo\n")
        << 404
        << QStringList{u"文字数 1 → 8 (許容誤差 0)"_s,
                       u"HTTP ステータス 404"_s,
                       QString(),
                       u"前回の内容は保存されていません。"_s,
                       u"one"_s,
                       u"two"_s};
    QTest::newRow("image") << QByteArray("image/png") << QByteArray()
                           << QByteArray("\x89PNG\r\n", 6) << 200
                           << QStringList{u"文字数 1 → 5 (許容誤差 0)"_s, QString(),
                                          u"本文がテキストではないため、内容は比較できません "
                                          u"(image/png)。"_s};
}

void tst_RunResults::report()
{
    QFETCH(QByteArray, type);
    QFETCH(QByteArray, kept);
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    QFETCH(QStringList, shown);
    if (!kept.isEmpty()) {
        QVERIFY(QDir().mkpath(dir->path()));
        QFile file(dir->path() + u'/' + KeptPages::FileName(Url));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(kept) == kept.size());
    }
    const bool byDate = shown.first().startsWith(u"Last-modified"_s);
    ItemRecord page = item(u"page"_s, byDate ? u"A"_s : u"1"_s);
    QCOMPARE(results->Completed(page, response(byDate ? u"B"_s : QString(), type, body, status)),
             RunResults::Outcome::Changed);
    QCOMPARE(texts(results->Report(0)), QStringList{Url} + shown);
}

// Accepting makes the page the kept one, while the view goes on showing what it replaced.
void tst_RunResults::acceptKeepsTheViewsPage()
{
    kept().Accept({Url, "text/plain", "old\n"});
    kept().WaitIdle();
    ItemRecord page = item(u"page"_s, u"1"_s);
    results->Completed(page, response({}, "text/plain", "new\n"));
    results->Accept(0);
    results->Accept(1); // no such line: nothing
    QCOMPARE(keptPage()->body, "new\n");
    QCOMPARE(texts(results->Report(0)).mid(3), (QStringList{u"-old"_s, u"+new"_s}));
}

void tst_RunResults::remove_data()
{
    QTest::addColumn<int>("line");
    QTest::addColumn<QStringList>("left"); // the pages of the lines after the removal
    QTest::newRow("first") << 0 << QStringList{u"b"_s, u"c"_s};
    QTest::newRow("middle") << 1 << QStringList{u"a"_s, u"c"_s};
    QTest::newRow("last") << 2 << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("no such line") << 3 << QStringList{u"a"_s, u"b"_s, u"c"_s};
}

// The lines after a removed one move up with their pages: each view still shows its own.
void tst_RunResults::remove()
{
    QFETCH(int, line);
    QFETCH(QStringList, left);
    for (const QString& name : {u"a"_s, u"b"_s, u"c"_s}) {
        ItemRecord page = item(name, u"1"_s);
        page.URL = Url + name;
        results->Completed(page, response({}, "text/plain", name.toLatin1() + " changed"));
    }
    results->Remove(line);
    QCOMPARE(results->Count(), left.size());
    for (qsizetype i = 0; i < left.size(); ++i) {
        QCOMPARE(texts(results->Report(i)).value(0), Url + left.at(i));
        QVERIFY(results->ToolTip(i).startsWith(Url + left.at(i) + u'\n'));
    }
}

// The listed pages' bodies, out of memory or not, are each one's own after a second run.
void tst_RunResults::bodiesComeBack_data()
{
    QTest::addColumn<QString>("store"); // "dir", "off" or "file" (a folder that cannot be)
    QTest::newRow("beside the kept pages") << u"dir"_s;
    QTest::newRow("store off") << u"off"_s;
    QTest::newRow("folder unusable") << u"file"_s;
}

void tst_RunResults::bodiesComeBack()
{
    QFETCH(QString, store);
    QString folder = store == u"dir"_s ? dir->path() + u"/kept/"_s : QString();
    if (store == u"file"_s) {
        folder = dir->path() + u"/plain"_s;
        QFile file(folder);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    RunResults run(std::make_unique<KeptPages>(folder));
    auto list = [&](const QList<QByteArray>& bodies) {
        run.Begin();
        for (qsizetype i = 0; i < bodies.size(); ++i) {
            ItemRecord page = item(u"p"_s, u"0"_s);
            page.URL = Url + QString::number(i);
            QCOMPARE(run.Completed(page, response(u"B"_s, "text/plain", bodies.at(i))),
                     RunResults::Outcome::Changed);
        }
    };
    list({QByteArray(70000, 'x'), "first\n", "third\n"});
    const QList<QByteArray> bodies{"one\n", {}, QByteArray(5000, 'y') + '\n', "four\n"};
    list(bodies);
    for (qsizetype i = 0; i < bodies.size(); ++i) {
        QCOMPARE(texts(run.Report(i)).mid(4), PageText::Lines(bodies.at(i), "text/plain"));
        run.Accept(i);
    }
    run.Kept().WaitIdle();
    for (qsizetype i = 0; i < bodies.size() && store == u"dir"_s; ++i) {
        const QString url = Url + QString::number(i);
        QCOMPARE(KeptPages::DecodeFor(url, run.Kept().ReadFile(url))->body, bodies.at(i));
    }
    // Nothing but kept pages is left to see.
    if (store == u"dir"_s)
        QCOMPARE(QDir(folder).entryList({u".listed*"_s}, QDir::Files | QDir::Hidden),
                 QStringList());
}

// A failed transfer stores its error and is listed in the view of no line.
void tst_RunResults::errors()
{
    ItemRecord page = item(u"broken"_s, u"1"_s);
    results->Failed(page, u"接続できません\n(111)"_s);
    QCOMPARE(page.Info, u"エラー:接続できません (111)"_s);
    QCOMPARE(results->Count(), 0);
    const QStringList view = texts(results->Report(-1));
    QCOMPARE(view, texts(ErrorReport({{u"broken"_s, Url, u"接続できません\n(111)"_s}})));
    QCOMPARE(texts(results->Report(5)), view);
}

void tst_RunResults::endNotice_data()
{
    QTest::addColumn<int>("changed");
    QTest::addColumn<QString>("failed"); // how: "refused" in transfer, "404" by text
    QTest::addColumn<bool>("writeFailed");
    QTest::addColumn<bool>("hidden");
    QTest::addColumn<QString>("summary"); // empty: no notification
    QTest::addColumn<QString>("body");
    QTest::addColumn<bool>("failuresLeft");
    const QString found = u"更新されているページがあります。"_s;
    const QString unchecked = u"確認できなかったページがあります。"_s;
    const QString writes = u"\n\n次のアイテムを保存できませんでした。\nW"_s;
    QTest::newRow("nothing") << 0 << QString() << false << false << QString() << QString() << false;
    QTest::newRow("changed") << 1 << u"refused"_s << true << false << found << u"C0"_s << true;
    QTest::newRow("eleven") << 11 << QString() << false << false << found
                            << u"C0\nC1\nC2\nC3\nC4\nC5\nC6\nC7\nC8\nC9\nほか 1 件"_s << false;
    QTest::newRow("errors shown") << 0 << u"refused"_s << true << false << QString() << QString()
                                  << true;
    QTest::newRow("errors hidden")
        << 0 << u"refused"_s << false << true << unchecked << u"E"_s << false;
    QTest::newRow("errors hidden, writes failed")
        << 0 << u"refused"_s << true << true << unchecked << u"E"_s + writes << false;
    QTest::newRow("changed hidden, writes failed")
        << 1 << u"refused"_s << true << true << found << u"C0"_s + writes << false;
    QTest::newRow("changed, another answered 404")
        << 1 << u"404"_s << false << false << found << u"C0\n\n"_s + unchecked + u"\nE"_s << false;
}

void tst_RunResults::endNotice()
{
    QFETCH(int, changed);
    QFETCH(QString, failed);
    QFETCH(bool, writeFailed);
    QFETCH(bool, hidden);
    QFETCH(QString, summary);
    QFETCH(QString, body);
    QFETCH(bool, failuresLeft);
    if (failed == u"404"_s)
        results->Begin(true, dir->path());
    for (int i = 0; i < changed; ++i) {
        ItemRecord page = item(u"C%1"_s.arg(i), u"1"_s);
        results->Completed(page, response({}, "text/plain", "changed"));
    }
    ItemRecord page = item(u"E"_s, u"1"_s);
    if (failed == u"refused"_s)
        results->Failed(page, u"refused"_s);
    else if (failed == u"404"_s)
        results->Completed(page, response({}, "text/plain", "gone", 404));
    if (writeFailed)
        results->WriteFailed({u"W"_s});
    const auto notice = results->EndNotice(hidden);
    QCOMPARE(notice.has_value(), !summary.isEmpty());
    if (notice) {
        QCOMPARE(notice->summary, summary);
        QCOMPARE(notice->body, body);
    }
    QCOMPARE(!results->TakeWriteFailures().isEmpty(), failuresLeft);
}

// A new run forgets lines, errors and failed writes, and has its own number.
void tst_RunResults::begin()
{
    ItemRecord page = item(u"page"_s, u"1"_s);
    results->Completed(page, response({}, "text/plain", "changed"));
    results->Failed(page, u"refused"_s);
    results->WriteFailed({u"W"_s});
    const quint32 run = results->RunNumber();
    results->Begin();
    QCOMPARE(results->RunNumber(), run + 1);
    QCOMPARE(results->Count(), 0);
    QCOMPARE(results->TakeWriteFailures(), QStringList());
    QCOMPARE(texts(results->Report(-1)), texts(ErrorReport({})));
}

QTEST_GUILESS_MAIN(tst_RunResults)
#include "tst_RunResults.moc"
