// Deciding a page by its text: selectors, Ignore patterns, the shared extraction, the outcomes.
#include "check/PageFilter.h"
#include "check/TextDecision.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace
{

// A small news site as such pages come: head with scripts and styles, navigation, a visitor
// counter, the news list, a sidebar ad and a footer with the date of the build.
const QString News = u"新サービス開始のお知らせ"_s;
const QString Counter = u"12345"_s;

QByteArray newsPage(const QString& news = News, const QString& counter = Counter,
                    const QString& script = u"v=1"_s, const QString& ad = u"広告: 夏のセール"_s)
{
    return uR"(<!DOCTYPE html>
<html lang="ja"><head><meta charset="utf-8"><title>サンプル市 お知らせ</title>
<script>var )"_s.append(script)
        .append(uR"(;</script><style>.ad{color:red}</style></head>
<body><header id="top"><nav class="menu main"><a href="/">ホーム</a> | <a href="/news">お知らせ</a></nav>
<p class="counter">あなたは )"_s)
        .append(counter)
        .append(uR"( 人目の訪問者です</p></header>
<main id="content"><h1>お知らせ</h1>
<ul class="news"><li data-kind="new"><a href="/n/2">)"_s)
        .append(news)
        .append(uR"(</a></li><li><a href="/n/1">窓口時間の変更</a></li></ul>
<pre class="code">line one
line two</pre></main>
<aside class="ad">)"_s)
        .append(ad)
        .append(uR"(</aside><!-- build 42 -->
<footer><p>更新日: 2026年12月1日</p></footer></body></html>)"_s)
        .toUtf8();
}

QStringList words(const char* text)
{
    return QString::fromUtf8(text).split(u'|', Qt::SkipEmptyParts);
}

} // namespace

class tst_TextDecision final : public QObject
{
    Q_OBJECT

private slots:
    void select_data();
    void select();
    void ruleErrors_data();
    void ruleErrors();
    void extract_data();
    void extract();
    void ignore_data();
    void ignore();
    void decide_data();
    void decide();
    void storedDigestSkipsTheKeptPage();
};

void tst_TextDecision::select_data()
{
    QTest::addColumn<QString>("selector");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("type") << u"h1"_s << words("お知らせ");
    QTest::newRow("#id") << u"#content h1"_s << words("お知らせ");
    QTest::newRow(".class, two classes")
        << u"nav.menu.main"_s << QStringList{u"ホーム | お知らせ"_s};
    QTest::newRow("[attr]") << u"li[data-kind]"_s << words("新サービス開始のお知らせ");
    QTest::newRow("[attr=value] quoted") << u"a[href=\"/n/1\"]"_s << words("窓口時間の変更");
    QTest::newRow("child: none directly under") << u"main > li"_s << QStringList();
    QTest::newRow("child chain") << u"main>ul > li>a"_s
                                 << words("新サービス開始のお知らせ|窓口時間の変更");
    QTest::newRow("comma list, in page order")
        << u"aside , h1"_s << words("お知らせ|広告: 夏のセール");
    QTest::newRow("selected inside selected: once") << u"main, ul"_s
                                                    << words("お知らせ|新サービス開始のお知らせ|"
                                                             "窓口時間の変更|line one|line two");
    QTest::newRow("matching nothing") << u"table"_s << QStringList();
    QTest::newRow("case of the type") << u"FOOTER"_s << words("更新日: 2026年12月1日");
}

void tst_TextDecision::select()
{
    QFETCH(QString, selector);
    QFETCH(QStringList, lines);
    const auto parsed = CssSelector::Parse(selector);
    QVERIFY(parsed);
    QCOMPARE(PageText::Extract(newsPage(), "text/html", &*parsed).lines, lines);
}

void tst_TextDecision::ruleErrors_data()
{
    QTest::addColumn<bool>("isSelector");
    QTest::addColumn<QString>("rule");
    QTest::addColumn<bool>("valid");
    QTest::newRow("selector ok") << true << u"div#a.b[c] > p[d='e f'], span"_s << true;
    for (const char* bad : {"", "  ", "div,", ",p", "p >", "a:hover", "a + b", "a ~ b", "[x",
                            "[=y]", "[x=]", "[x='y]", "#", "p..a", "p{}"})
        QTest::addRow("selector %s", bad) << true << QString::fromUtf8(bad) << false;
    QTest::newRow("pattern ok") << false << uR"(\d+ 人目)"_s << true;
    QTest::newRow("pattern unclosed") << false << u"(ab"_s << false;
    QTest::newRow("pattern bad class") << false << u"[z-a]"_s << false;
    QTest::newRow("pattern empty") << false << QString() << false;
}

void tst_TextDecision::ruleErrors()
{
    QFETCH(bool, isSelector);
    QFETCH(QString, rule);
    QFETCH(bool, valid);
    const QString error = isSelector ? SelectorError(rule) : PatternError(rule);
    QCOMPARE(error.isEmpty(), valid);
    if (!valid) // a reason in the user's language, short enough for one line of a dialog
        QVERIFY2(error.size() < 120 && error.contains(QRegularExpression(u"[ぁ-んァ-ン一-龯]"_s)),
                 qPrintable(error));
}

void tst_TextDecision::extract_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("cut");
    QTest::newRow("pre, textarea, br keep their lines")
        << QByteArray("<p>a<br>b</p><pre>\n x  1\n\n y</pre><textarea>t1\nt2</textarea>")
        << "text/html"_ba << words("a|b|x 1|y|t1|t2") << false;
    QByteArray cutHtml = "<p>first</p><p>second " + QByteArray(65535, 'x');
    cutHtml.truncate(65535);
    QTest::newRow("cut HTML: last line left out")
        << cutHtml << "text/html"_ba << words("first") << true;
    QByteArray cutPlain = "one\ntwo\n" + QByteArray(65535, 'y');
    cutPlain.truncate(65535);
    QTest::newRow("cut plain text") << cutPlain << "text/plain"_ba << words("one|two") << true;
    QTest::newRow("just under the cut")
        << "<p>a</p>" + QByteArray(65534 - 8, ' ') << "text/html"_ba << words("a") << false;
}

void tst_TextDecision::extract()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, type);
    QFETCH(QStringList, lines);
    QFETCH(bool, cut);
    const PageText::Text text = PageText::Extract(body, type);
    QCOMPARE(text.lines, lines);
    QCOMPARE(text.cut, cut);
    QCOMPARE(PageText::Lines(body, type), lines); // the change view's lines are the same
}

void tst_TextDecision::ignore_data()
{
    QTest::addColumn<QStringList>("patterns");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("left");
    QTest::newRow("counter") << QStringList{uR"(\d+ 人目)"_s} << u"あなたは 123 人目です"_s
                             << u"あなたは です"_s;
    QTest::newRow("every match, two patterns")
        << QStringList{u"[0-9]"_s, u"x"_s} << u"a1x2b3x"_s << u"ab"_s;
    QTest::newRow("empty matches") << QStringList{u"z*"_s} << u"abc"_s << u"abc"_s;
    QTest::newRow("a whole line") << QStringList{uR"(^更新日:.*$\n?)"_s.prepend(u"(?m)"_s)}
                                  << u"a\n更新日: 12月1日\nb"_s << u"a\nb"_s;
    QTest::newRow("beyond the BMP") << QStringList{u"😀"_s} << u"a😀b"_s << u"ab"_s;
}

void tst_TextDecision::ignore()
{
    QFETCH(QStringList, patterns);
    QFETCH(QString, text);
    QFETCH(QString, left);
    for (const QString& p : patterns) {
        const auto compiled = IgnorePattern::Compile(p);
        QVERIFY(compiled);
        const auto removed = compiled->RemovedFrom(text);
        QVERIFY(removed);
        text = *removed;
    }
    QCOMPARE(text, left);
}

void tst_TextDecision::decide_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("kept"); // null: no kept page
    QTest::addColumn<QString>("select");
    QTest::addColumn<QStringList>("ignore");
    QTest::addColumn<QString>("storedInfo");
    QTest::addColumn<bool>("partChanged");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QString>("notes"); // listed, cut, header, invalid, gaveup; info=... checked
    const QByteArray page = newsPage();
    const QString lm = u"Tue, 01 Dec 2026 00:00:00 GMT"_s;
    const auto row = [](const char* name) -> QTestData& { return QTest::newRow(name); };
    using O = TextOutcome;
    row("touched only: new Last-modified") << 200 << page << page << QString() << QStringList()
                                           << lm << true << int(O::Unchanged) << u"header"_s;
    row("script only") << 200 << newsPage(News, Counter, u"v=2; track()"_s) << page << QString()
                       << QStringList() << lm << true << int(O::Unchanged) << u"header"_s;
    row("whitespace reformat")
        << 200 << QByteArray(page).replace("</li><li>", "</li>\n   <li>").replace("<p ", "\n\n<p  ")
        << page << QString() << QStringList() << u"9000"_s << false << int(O::Unchanged)
        << QString();
    row("same-length edit") << 200 << newsPage(u"新サービス終了のお知らせ"_s) << page << QString()
                            << QStringList() << u"9000"_s << false << int(O::Changed)
                            << u"listed"_s;
    row("counter, no rule") << 200 << newsPage(News, u"12346"_s) << page << QString()
                            << QStringList() << lm << false << int(O::Changed) << u"listed"_s;
    row("counter, Ignore rule") << 200 << newsPage(News, u"12346"_s) << page << QString()
                                << QStringList{uR"(\d+ 人目)"_s} << lm << false << int(O::Unchanged)
                                << QString();
    row("change outside Select") << 200 << newsPage(News, u"99"_s, u"v=1"_s, u"広告: 冬"_s) << page
                                 << u"ul.news"_s << QStringList() << lm << true << int(O::Unchanged)
                                 << u"header"_s;
    row("change inside Select") << 200 << newsPage(u"臨時休業"_s) << page << u"ul.news"_s
                                << QStringList() << lm << true << int(O::Changed) << u"listed"_s;
    row("outage then recovery") << 200 << page << page << QString() << QStringList()
                                << u"エラー:接続が拒否されました"_s << true << int(O::Recovered)
                                << u"header"_s;
    row("recovery with a change") << 200 << newsPage(u"臨時休業"_s) << page << QString()
                                  << QStringList() << u"エラー:接続が拒否されました"_s << true
                                  << int(O::Changed) << u"listed"_s;
    row("404") << 404 << QByteArray("<h1>Not Found</h1>") << page << QString() << QStringList()
               << lm << true << int(O::HttpFailure) << u"info=エラー:HTTP 404 Not Found"_s;
    row("503, no kept page") << 503 << QByteArray() << QByteArray() << QString() << QStringList()
                             << lm << true << int(O::HttpFailure)
                             << u"info=エラー:HTTP 503 Service Unavailable"_s;
    row("no kept page, changed as today")
        << 200 << page << QByteArray() << QString() << QStringList() << QString() << true
        << int(O::NoBaseline) << u"listed"_s;
    row("no kept page, unchanged as today")
        << 200 << page << QByteArray() << QString() << QStringList() << lm << false
        << int(O::NoBaseline) << QString();
    QByteArray longer = page + "<p>" + QByteArray(70000, 'z');
    QByteArray cutA = QByteArray(longer).left(65535);
    QByteArray cutB = QByteArray(longer).replace(65000, 1, "y").left(65535);
    row("cut at 65,535 bytes: the cut line does not count")
        << 200 << cutB << cutA << QString() << QStringList() << u"65535"_s << false
        << int(O::Unchanged) << u"cut"_s;
    row("pre edit") << 200 << QByteArray(page).replace("line two", "line 2!!") << page << QString()
                    << QStringList() << lm << false << int(O::Changed) << u"listed"_s;
    row("pre lines joined") << 200
                            << QByteArray(page).replace("line one\nline two", "line one line two")
                            << page << QString() << QStringList() << lm << false << int(O::Changed)
                            << u"listed"_s;
    row("invalid rules from a file: named, left out")
        << 200 << newsPage(u"臨時休業"_s) << page << u"ul:first-child"_s << QStringList{u"(x"_s}
        << lm << false << int(O::Changed) << u"listed,invalid"_s;
    row("invalid rules never make unchanged")
        << 200 << page << page << u"ul:first-child"_s << QStringList{u"(x"_s} << lm << false
        << int(O::Unchanged) << u"invalid"_s;
    const QByteArray aaa = "<p>" + QByteArray(65000, 'a') + "!</p><p>end</p>";
    row("catastrophic pattern gives up")
        << 200 << aaa << aaa << QString()
        << QStringList{u"(a+)+$"_s, uR"(^(\w+\s?)*$)"_s, u"(a|aa)+$"_s, u"(.*a){20}"_s} << lm
        << false << int(O::Unchanged) << u"gaveup"_s;
    row("binary: by its bytes") << 200 << QByteArray("%PDF-1.4 b") << QByteArray("%PDF-1.4 a")
                                << QString() << QStringList() << lm << false << int(O::Changed)
                                << u"listed"_s;
}

void tst_TextDecision::decide()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, kept);
    QFETCH(QString, select);
    QFETCH(QStringList, ignore);
    QFETCH(QString, storedInfo);
    QFETCH(bool, partChanged);
    QFETCH(int, outcome);
    QFETCH(QString, notes);
    const QByteArray type = body.startsWith("%PDF") ? "application/pdf" : "text/html";
    TextInput in;
    in.status = status;
    in.body = body;
    in.contentType = type;
    if (!kept.isNull())
        in.kept = KeptPage{u"http://example.jp/"_s, type, kept};
    in.rules = {select, ignore};
    in.storedInfo = storedInfo;
    in.partDecision = {partChanged, u"new info"_s};
    const TextVerdict v = DecideByText(in);
    QCOMPARE(int(v.outcome), outcome);
    const QStringList want = notes.split(u',', Qt::SkipEmptyParts);
    QCOMPARE(v.listed, want.contains(u"listed"_s));
    QCOMPARE(v.cut, want.contains(u"cut"_s));
    QCOMPARE(v.headerOnly, want.contains(u"header"_s));
    const auto has = [&](RuleProblem::Kind kind) {
        return std::any_of(v.problems.cbegin(), v.problems.cend(),
                           [&](const RuleProblem& p) { return p.kind == kind; });
    };
    QCOMPARE(has(RuleProblem::InvalidSelector) && has(RuleProblem::InvalidPattern),
             want.contains(u"invalid"_s));
    QCOMPARE(has(RuleProblem::GaveUp), want.contains(u"gaveup"_s));
    if (v.outcome == TextOutcome::HttpFailure) {
        QCOMPARE(u"info="_s + v.newInfo, want.value(0));
        QVERIFY(v.digest.isEmpty());
    } else {
        QCOMPARE(v.newInfo, u"new info"_s);
        QCOMPARE(v.digest.size(), 32);
    }
}

// The digest kept with the accepted page stands for it: the kept body is not looked at.
void tst_TextDecision::storedDigestSkipsTheKeptPage()
{
    TextInput in;
    in.status = 200;
    in.body = newsPage();
    in.contentType = "text/html";
    in.kept = KeptPage{u"http://example.jp/"_s, "text/html", newsPage(u"古い"_s)};
    const QByteArray digest = DecideByText(in).digest;
    QCOMPARE(DecideByText(in).outcome, TextOutcome::Changed);
    in.keptDigest = digest;
    QCOMPARE(DecideByText(in).outcome, TextOutcome::Unchanged);
    in.rules.ignore = {u"x"_s}; // a digest under other rules differs
    in.keptDigest = TextDigest(PageFilter({}).Apply(in.body, in.contentType), in.body);
    QCOMPARE(DecideByText(in).outcome, TextOutcome::Unchanged);
}

QTEST_MAIN(tst_TextDecision)
#include "tst_TextDecision.moc"
