#include "app/CodePage.h"
#include "app/Module1.h"

#include <QTest>
#include <QUrl>

using namespace Qt::StringLiterals;

class tst_CodePage final : public QObject
{
    Q_OBJECT
private slots:
    void toAnsi_data();
    void toAnsi();
    void fromAnsi_data();
    void fromAnsi();
    void roundTripAllDoubleBytePairs();
    void largeTextWithBadBytesKeepsTheRest();
    void unrepresentable_data();
    void unrepresentable();
    void ansiUrl_data();
    void ansiUrl();
    void countDoubleByte_data();
    void countDoubleByte();
    void isSectionHeader_data();
    void isSectionHeader();
    void appFolderEndsWithSeparator();
};

void tst_CodePage::toAnsi_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QString() << QByteArray();
    QTest::newRow("ascii") << u"abc [x]=1\r\n"_s << "abc [x]=1\r\n"_ba;
    QTest::newRow("kanji") << u"漢字"_s << "\x8a\xbf\x8e\x9a"_ba;
    QTest::newRow("hiragana+ascii") << u"aあb"_s
                                    << "a\x82\xa0"
                                       "b"_ba;
    QTest::newRow("half-width katakana") << u"ｱｲ"_s << "\xb1\xb2"_ba;
    QTest::newRow("NEC special") << u"①"_s << "\x87\x40"_ba;
    QTest::newRow("IBM extension") << u"髙"_s << "\xfb\xfc"_ba;
    QTest::newRow("full-width tilde") << u"～"_s << "\x81\x60"_ba;
    QTest::newRow("euro is not in CP932") << u"a€b"_s << "a?b"_ba;
    QTest::newRow("hangul") << u"한글"_s << "??"_ba;
    QTest::newRow("astral char is one ?") << u"x😀y"_s << "x?y"_ba;
    QTest::newRow("lone high surrogate at end") << QString(u"a"_s + QChar(0xD800)) << "a?"_ba;
    QTest::newRow("lone low surrogate") << QString(QChar(0xDC00) + u"漢"_s) << "?\x8a\xbf"_ba;
    QTest::newRow("NUL kept") << QString(QChar(0)) << QByteArray(1, '\0');
}

void tst_CodePage::toAnsi()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(CodePage::ToAnsi(text), bytes);
}

void tst_CodePage::fromAnsi_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    const QChar bad = QChar::ReplacementCharacter;
    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("ascii") << "URL=http://x/\r\n"_ba << u"URL=http://x/\r\n"_s;
    QTest::newRow("backslash stays backslash") << "C:\\a"_ba << u"C:\\a"_s;
    QTest::newRow("kanji") << "\x8a\xbf\x8e\x9a"_ba << u"漢字"_s;
    QTest::newRow("half-width katakana") << "\xb1"
                                            "a"_ba
                                         << u"ｱa"_s;
    QTest::newRow("wave dash as Windows reads it") << "\x81\x60"_ba << u"～"_s;
    QTest::newRow("stray 0x80") << "a\x80"
                                   "b"_ba
                                << (u"a"_s + bad + u"b"_s);
    QTest::newRow("0xFF bytes, one each") << "\xff\xff"
                                             "c"_ba
                                          << (QString(2, bad) + u"c"_s);
    QTest::newRow("lead byte at end") << "ab\x8a"_ba << (u"ab"_s + bad);
    QTest::newRow("lead byte before ASCII control") << "\x8a\r\n"_ba << (bad + u"\r\n"_s);
    QTest::newRow("unassigned pair is one char") << "\x85\x40"
                                                    "x"_ba
                                                 << (bad + u"x"_s);
    QTest::newRow("unassigned pair, backslash trail not split") << "\xeb\x5c"
                                                                   "x"_ba
                                                                << (bad + u"x"_s);
    QTest::newRow("bad byte in the middle of Japanese")
        << "\x82\xa0\xff\x82\xa2"_ba << (u"あ"_s + bad + u"い"_s);
}

void tst_CodePage::fromAnsi()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(CodePage::FromAnsi(bytes), text);
}

void tst_CodePage::roundTripAllDoubleBytePairs()
{
    // Every pair that decodes to one real character encodes back to a CP932 pair that
    // decodes to the same character (CP932 has duplicates, so bytes may differ).
    int decoded = 0;
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (lead >= 0xA0 && lead <= 0xDF)
            continue;
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            if (trail == 0x7F)
                continue;
            const char pair[2] = {char(lead), char(trail)};
            const QString s = CodePage::FromAnsi(QByteArrayView(pair, 2));
            QCOMPARE(s.size(), 1);
            if (s[0] == QChar::ReplacementCharacter)
                continue;
            ++decoded;
            const QByteArray back = CodePage::ToAnsi(s);
            QCOMPARE(back.size(), 2);
            QCOMPARE(CodePage::FromAnsi(back), s);
        }
    }
    QVERIFY2(decoded > 7000, qPrintable(QString::number(decoded)));
}

void tst_CodePage::largeTextWithBadBytesKeepsTheRest()
{
    QByteArray bytes;
    QString expected;
    for (int i = 0; i < 5000; ++i) {
        bytes += "\x8a\xbf"
                 "ab\xff";
        expected += u"漢ab"_s + QChar(QChar::ReplacementCharacter);
    }
    QCOMPARE(CodePage::FromAnsi(bytes), expected);
    QString text;
    for (int i = 0; i < 5000; ++i)
        text += u"漢€a"_s;
    const QByteArray ansi = CodePage::ToAnsi(text);
    QCOMPARE(ansi.size(), 5000 * 4);
    QVERIFY(ansi.startsWith("\x8a\xbf?a\x8a\xbf?a"_ba));
}

void tst_CodePage::unrepresentable_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("lost");
    QTest::addColumn<QString>("lostExactly");
    QTest::newRow("CP932 text and ?") << u"日本語 ｶﾅ ～ ?"_s << QString() << QString();
    QTest::newRow("each once, in order") << u"Café 😀 é ¥ 〜"_s << u"é😀"_s << u"é😀¥〜"_s;
}

void tst_CodePage::unrepresentable()
{
    QFETCH(QString, text);
    QFETCH(QString, lost);
    QFETCH(QString, lostExactly);
    QCOMPARE(CodePage::Unrepresentable(text, false), lost);
    QCOMPARE(CodePage::Unrepresentable(text, true), lostExactly);
}

// The stored address asks for the same request as the typed one.
void tst_CodePage::ansiUrl_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("stored");
    QTest::newRow("CP932 kept as typed")
        << u"http://例え.jp/パス?q=～"_s << u"http://例え.jp/パス?q=～"_s;
    QTest::newRow("path, query, fragment")
        << u"http://h/café?q=😀#¥"_s << u"http://h/caf%C3%A9?q=%F0%9F%98%80#%C2%A5"_s;
    QTest::newRow("host label in ACE, user and port kept")
        << u"http://é@www.café.example:8080/例"_s
        << u"http://%C3%A9@www.xn--caf-dma.example:8080/例"_s;
    QTest::newRow("no host without a scheme") << u"h/é//é"_s << u"h/%C3%A9//%C3%A9"_s;
}

void tst_CodePage::ansiUrl()
{
    QFETCH(QString, url);
    QFETCH(QString, stored);
    QCOMPARE(CodePage::AnsiUrl(url), stored);
    QCOMPARE(QUrl(stored).toEncoded(), QUrl(url).toEncoded());
}

void tst_CodePage::countDoubleByte_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("count");
    QTest::newRow("empty") << QString() << 0;
    QTest::newRow("ascii gives the length") << u"abc"_s << 3;
    QTest::newRow("two kanji, three letters") << u"漢a字bc"_s << 2;
    QTest::newRow("half-width katakana and a kanji") << u"ｱ漢"_s << 1;
    QTest::newRow("only half-width katakana gives the length") << u"ｱｲｳ"_s << 3;
    QTest::newRow("full-width letters") << u"ＡＢ"_s << 2;
    QTest::newRow("unrepresentable chars count single") << u"€€漢"_s << 1;
    QTest::newRow("only unrepresentable gives the length") << u"한글"_s << 2;
    QTest::newRow("astral: one ? for two units, no double byte") << u"😀"_s << 2;
}

void tst_CodePage::countDoubleByte()
{
    QFETCH(QString, text);
    QFETCH(int, count);
    QCOMPARE(CountDoubleByte(text), count);
}

void tst_CodePage::isSectionHeader_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("header");
    QTest::newRow("[Option]") << u"[Option]"_s << true;
    QTest::newRow("[]") << u"[]"_s << true;
    QTest::newRow("[SiteVigil]") << u"[SiteVigil]"_s << true;
    QTest::newRow("[") << u"["_s << false;
    QTest::newRow("]") << u"]"_s << false;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("leading space") << u" [Option]"_s << false;
    QTest::newRow("trailing space") << u"[Option] "_s << false;
    QTest::newRow("key line") << u"URL=[x]"_s << false;
}

void tst_CodePage::isSectionHeader()
{
    QFETCH(QString, line);
    QFETCH(bool, header);
    QCOMPARE(IsSectionHeader(line), header);
}

void tst_CodePage::appFolderEndsWithSeparator()
{
    QCOMPARE(AppFolder(), QCoreApplication::applicationDirPath() + u'/');
    SetAppFolderForTesting(u"/tmp/prog"_s);
    QCOMPARE(AppFolder(), u"/tmp/prog/"_s);
    SetAppFolderForTesting(u"/"_s);
    QCOMPARE(AppFolder(), u"/"_s);
    SetAppFolderForTesting(QString());
    QCOMPARE(AppFolder(), QCoreApplication::applicationDirPath() + u'/');
}

QTEST_GUILESS_MAIN(tst_CodePage)
#include "tst_CodePage.moc"
