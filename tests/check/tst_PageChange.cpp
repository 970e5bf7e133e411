// The parts of the change view: the text of a page, the line diff, the kept-page file and store.
#include "app/CodePage.h"
#include "check/KeptPages.h"
#include "check/LineDiff.h"
#include "check/PageText.h"

#include <QTemporaryDir>

#include <QtTest>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

class tst_PageChange final : public QObject
{
    Q_OBJECT

private slots:
    void lines_data();
    void lines();
    void diff_data();
    void diff();
    void diffGivesUp();
    void keptFile_data();
    void keptFile();
    void storeCap();
    void keepIfMissing_data();
    void keepIfMissing();
};

void tst_PageChange::lines_data()
{
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QStringList>("lines");
    const QString yen = u"価格 1,000円"_s;
    QTest::newRow("blocks, hidden parts, blanks")
        << QByteArray("text/html")
        << QByteArray(
               "<title> T </title><script>a<b</script><style>p{}</style><!-- c -->"
               "<p>one  <b>two</b>\n three</p><ul><li>x<li>y</ul>z<br>w&amp;<noscript>n</noscript>")
        << QStringList{u"T"_s, u"one two three"_s, u"x"_s, u"y"_s, u"z"_s, u"w&"_s};
    QTest::newRow("charset of Content-Type")
        << QByteArray("text/html; charset=\"Shift_JIS\"") << CodePage::ToAnsi(u"<p>"_s + yen)
        << QStringList{yen};
    QTest::newRow("meta charset") << QByteArray("text/html")
                                  << CodePage::ToAnsi(u"<meta charset=sjis><p>"_s + yen)
                                  << QStringList{yen};
    QTest::newRow("unknown charset, valid UTF-8")
        << QByteArray("text/html; charset=x-none") << (u"<p>"_s + yen).toUtf8() << QStringList{yen};
    QTest::newRow("UTF-8 cut at the end")
        << QByteArray("text/plain") << "a\xe5\x86\x86\xe5\x86"_ba << QStringList{u"a円"_s};
    QTest::newRow("neither: CP932") << QByteArray() << CodePage::ToAnsi(yen) << QStringList{yen};
    QTest::newRow("plain lines") << QByteArray("text/plain") << QByteArray("a <b>\r\n\r\nc  \n\n")
                                 << QStringList{u"a <b>"_s, QString(), u"c"_s};
    QTest::newRow("binary") << QByteArray("application/pdf") << QByteArray("%PDF-1.4")
                            << QStringList();
    QTest::newRow("untyped with NUL") << QByteArray() << QByteArray("ab\0cd", 5) << QStringList();
}

void tst_PageChange::lines()
{
    QFETCH(QByteArray, type);
    QFETCH(QByteArray, body);
    QFETCH(QStringList, lines);
    QCOMPARE(PageText::Lines(body, type), lines);
}

void tst_PageChange::diff_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QStringList>("after");
    QTest::addColumn<QStringList>("shown");
    const QStringList ten{u"0"_s, u"1"_s, u"2"_s, u"3"_s, u"4"_s,
                          u"5"_s, u"6"_s, u"7"_s, u"8"_s, u"9"_s};
    QStringList farApart = ten;
    farApart[0] = u"A"_s;
    farApart[9] = u"B"_s;
    QTest::newRow("equal") << ten << ten << QStringList();
    QTest::newRow("far apart: a gap between")
        << ten << farApart << QStringList{u"-0"_s, u"+A"_s, u" 1"_s, u" 2"_s, u" 3"_s, u"…"_s,
                                          u" 6"_s, u" 7"_s, u" 8"_s, u"-9"_s, u"+B"_s};
    QTest::newRow("close: one hunk") << ten << (QStringList(ten) << u"10"_s).mid(2)
                                     << QStringList{u"-0"_s, u"-1"_s, u" 2"_s, u" 3"_s, u" 4"_s,
                                                    u"…"_s,  u" 7"_s, u" 8"_s, u" 9"_s, u"+10"_s};
    QTest::newRow("changed line: removed before added")
        << QStringList{u"T"_s, u"A1"_s, u"M"_s, u"B"_s, u"C"_s}
        << QStringList{u"T"_s, u"A2"_s, u"M"_s, u"B"_s, u"N"_s, u"C"_s}
        << QStringList{u" T"_s, u"-A1"_s, u"+A2"_s, u" M"_s, u" B"_s, u"+N"_s, u" C"_s};
    QTest::newRow("from nothing") << QStringList() << QStringList{u"x"_s} << QStringList{u"+x"_s};
}

void tst_PageChange::diff()
{
    QFETCH(QStringList, before);
    QFETCH(QStringList, after);
    QFETCH(QStringList, shown);
    const LineDiff diff = LineDiff::Compare(before, after);
    QVERIFY(!diff.gaveUp);
    QStringList texts;
    for (const DiffLine& line : diff.lines)
        texts << line.text;
    QCOMPARE(texts, shown);
}

// Lines that all differ and all move cost the search the most; it stops and says so.
void tst_PageChange::diffGivesUp()
{
    QStringList before;
    QStringList after;
    for (int i = 0; i < 30000; ++i) {
        before << QString::number(i);
        after << QString::number(i % 2 ? i : -i);
    }
    std::reverse(after.begin(), after.end());
    const LineDiff diff = LineDiff::Compare(before, after, 1);
    QVERIFY(diff.gaveUp);
    QVERIFY(diff.lines.isEmpty());
}

void tst_PageChange::keptFile_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("whole");
    QTest::addColumn<QByteArray>("digest");
    const QByteArray good =
        KeptPages::Encode({u"http://a/ü"_s, "text/html", QByteArray(70000, 'x')});
    QByteArray flipped = good;
    flipped[flipped.size() - 3] = char(flipped.at(flipped.size() - 3) ^ 1);
    QByteArray otherVersion = good;
    otherVersion[4] = 3;
    const QByteArray digest(32, 'd');
    const QByteArray withDigest =
        KeptPages::Encode({u"http://a/ü"_s, "text/html", QByteArray(70000, 'x'), digest, "key"});
    const qsizetype keyAt = withDigest.indexOf(digest) + digest.size();
    QTest::newRow("whole") << good << true << QByteArray();
    QTest::newRow("truncated") << good.chopped(1) << false << QByteArray();
    QTest::newRow("longer") << good + '\0' << false << QByteArray();
    QTest::newRow("bit flipped") << flipped << false << QByteArray();
    QTest::newRow("other version") << otherVersion << false << QByteArray();
    QTest::newRow("empty") << QByteArray() << false << QByteArray();
    QTest::newRow("with digest") << withDigest << true << digest;
    QTest::newRow("with digest, cut in its key")
        << withDigest.first(keyAt + 2) << false << QByteArray();
    QTest::newRow("with digest, key longer")
        << withDigest.first(keyAt) + '\xff' + withDigest.sliced(keyAt + 1) << false << QByteArray();
}

// A kept page reads back whole (the body cut to the limit), or not at all.
void tst_PageChange::keptFile()
{
    QFETCH(QByteArray, file);
    QFETCH(bool, whole);
    QFETCH(QByteArray, digest);
    const auto page = KeptPages::DecodeFor(u"http://a/ü"_s, file);
    QCOMPARE(page.has_value(), whole);
    if (whole) {
        QCOMPARE(page->body, QByteArray(KeptPages::MaxBodyBytes, 'x'));
        QCOMPARE(page->contentType, "text/html");
        QCOMPARE(page->digest, digest);
        QCOMPARE(page->rulesKey, digest.isEmpty() ? QByteArray() : "key");
        QVERIFY(!KeptPages::DecodeFor(u"http://a/"_s, file));
    }
}

// Beyond the cap the page used least recently goes; reading one counts as a use.
void tst_PageChange::storeCap()
{
    QTemporaryDir dir;
    const QString folder = dir.path() + u"/snapshots/"_s;
    auto random = [](int n) {
        QByteArray bytes(n, Qt::Uninitialized);
        for (char& c : bytes)
            c = char(QRandomGenerator::global()->generate());
        return bytes;
    };
    KeptPages store(folder, 64 * 1024); // three pages of five blocks
    for (const QString& url : {u"a"_s, u"b"_s, u"c"_s}) {
        store.Accept({url, "x", random(20000)});
        store.WaitIdle();
        QTest::qWait(5);
    }
    QVERIFY(!store.ReadFile(u"a"_s).isEmpty());
    store.Accept({u"d"_s, "x", random(20000)});
    store.WaitIdle();
    QStringList kept;
    for (const QString& url : {u"a"_s, u"b"_s, u"c"_s, u"d"_s})
        if (QFile::exists(folder + KeptPages::FileName(url)))
            kept << url;
    QCOMPARE(kept, (QStringList{u"a"_s, u"c"_s, u"d"_s}));
}

void tst_PageChange::keepIfMissing_data()
{
    QTest::addColumn<QString>("there"); // what stands at the page's path
    QTest::addColumn<bool>("replaced");
    QTest::newRow("a whole page") << u"page"_s << false;
    QTest::newRow("a damaged page") << u"damaged"_s << true;
    QTest::newRow("a FIFO") << u"fifo"_s << true;
    QTest::newRow("a link to /dev/zero") << u"zero"_s << true;
}

// An unchanged run keeps its page where no whole one is kept, and never waits on what is there.
void tst_PageChange::keepIfMissing()
{
    QFETCH(QString, there);
    QTemporaryDir dir;
    const QString folder = dir.path() + u"/"_s;
    const QString url = u"http://a/"_s;
    const QByteArray path = QFile::encodeName(folder + KeptPages::FileName(url));
    QByteArray old = KeptPages::Encode({url, "text/html", "old"});
    if (there == u"damaged"_s)
        old[old.size() - 2] = char(old.at(old.size() - 2) ^ 1);
    if (there == u"fifo"_s) {
        QCOMPARE(::mkfifo(path.constData(), 0600), 0);
    } else if (there == u"zero"_s) {
        QCOMPARE(::symlink("/dev/zero", path.constData()), 0);
    } else {
        QFile file(QFile::decodeName(path));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(old), old.size());
    }
    KeptPages store(folder);
    QVERIFY(!KeptPages::DecodeFor(url, store.ReadFile(url)) || there == u"page"_s);
    store.KeepIfMissing({url, "text/html", "new"});
    store.WaitIdle();
    const auto kept = KeptPages::DecodeFor(url, store.ReadFile(url));
    QVERIFY(kept);
    QFETCH(bool, replaced);
    QCOMPARE(kept->body, replaced ? "new"_ba : "old"_ba);
    // The link itself is replaced: what it pointed to is never written.
    QVERIFY(!QFileInfo(QFile::decodeName(path)).isSymLink());
}

QTEST_MAIN(tst_PageChange)
#include "tst_PageChange.moc"
