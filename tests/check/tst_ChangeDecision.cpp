#include "check/ChangeDecision.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace
{
// n characters, the first doubles of them double-byte in CP932.
QString page(int n, int doubles = 0)
{
    return QString(doubles, u'日') + QString(n - doubles, u'a');
}
} // namespace

class tst_ChangeDecision final : public QObject
{
    Q_OBJECT
private slots:
    void decide_data();
    void decide();
    void measure_data();
    void measure();
};

void tst_ChangeDecision::decide_data()
{
    QTest::addColumn<QString>("header");
    QTest::addColumn<QString>("body");
    QTest::addColumn<int>("err");
    QTest::addColumn<QString>("info");
    QTest::addColumn<int>("check2Byte");
    QTest::addColumn<bool>("changed");
    QTest::addColumn<QString>("newInfo");

    const QString date = u"Wed, 21 Oct 2015 07:28:00 GMT"_s;
    // Header path: exact text comparison, Err never consulted.
    QTest::newRow("header, empty info") << date << page(10) << 0 << QString() << 0 << true << date;
    QTest::newRow("same header") << date << page(10) << 0 << date << 0 << false << date;
    QTest::newRow("same header, large err")
        << date << QString() << 32767 << date << 0 << false << date;
    QTest::newRow("header differs in case")
        << date << QString() << 32767 << u"wed, 21 oct 2015 07:28:00 gmt"_s << 0 << true << date;
    QTest::newRow("header differs in spacing")
        << date << QString() << 0 << u"Wed, 21 Oct 2015  07:28:00 GMT"_s << 0 << true << date;
    QTest::newRow("header vs trailing blank")
        << date << QString() << 0 << date + u' ' << 0 << true << date;
    // The item file holds a blank for the CR, so after a Save the item is unchanged.
    QTest::newRow("header with a bare CR, as stored")
        << u"Mon,\r01 Jan"_s << page(10) << 0 << u"Mon, 01 Jan"_s << 0 << false << u"Mon, 01 Jan"_s;
    QTest::newRow("header vs stored measure")
        << date << page(500) << 32767 << u"500"_s << 0 << true << date;
    QTest::newRow("header vs error info")
        << date << QString() << 0 << u"エラー:接続が拒否されました"_s << 0 << true << date;
    QTest::newRow("header with negative err, same")
        << date << QString() << -1 << date << 0 << false << date;

    // Size path.
    QTest::newRow("500 chars, empty info, err 0")
        << QString() << page(500) << 0 << QString() << 0 << true << u"500"_s;
    QTest::newRow("same size, err 0")
        << QString() << page(500) << 0 << u"500"_s << 0 << false << u"500"_s;
    QTest::newRow("503 vs 500, err 3 (not greater)")
        << QString() << page(503) << 3 << u"500"_s << 0 << false << u"503"_s;
    QTest::newRow("504 vs 500, err 3")
        << QString() << page(504) << 3 << u"500"_s << 0 << true << u"504"_s;
    QTest::newRow("497 vs 500, err 3 (symmetric)")
        << QString() << page(497) << 3 << u"500"_s << 0 << false << u"497"_s;
    QTest::newRow("496 vs 500, err 3")
        << QString() << page(496) << 3 << u"500"_s << 0 << true << u"496"_s;
    QTest::newRow("negative err, same size")
        << QString() << page(500) << -1 << u"500"_s << 0 << true << u"500"_s;
    QTest::newRow("empty body, empty info, err 0")
        << QString() << QString() << 0 << QString() << 0 << false << u"0"_s;
    QTest::newRow("HTTP date info parses as 0, within err")
        << QString() << page(20) << 20 << date << 0 << false << u"20"_s;
    QTest::newRow("HTTP date info parses as 0, beyond err")
        << QString() << page(21) << 20 << date << 0 << true << u"21"_s;
    QTest::newRow("error info parses as 0")
        << QString() << page(5) << 4 << u"エラー:タイムアウト"_s << 0 << true << u"5"_s;
    QTest::newRow("error info, measure within err")
        << QString() << page(4) << 4 << u"エラー:タイムアウト"_s << 0 << false << u"4"_s;
    QTest::newRow("info with blanks and sign")
        << QString() << page(500) << 0 << u" + 5 00"_s << 0 << false << u"500"_s;
    QTest::newRow("info with a fraction")
        << QString() << page(500) << 0 << u"500.5"_s << 0 << true << u"500"_s;
    QTest::newRow("info with a fraction within err")
        << QString() << page(500) << 1 << u"500.5"_s << 0 << false << u"500"_s;
    QTest::newRow("info in hex") << QString() << page(255) << 0 << u"&HFF"_s << 0 << false
                                 << u"255"_s;
    QTest::newRow("info with text after the number")
        << QString() << page(7) << 0 << u"7 characters"_s << 0 << false << u"7"_s;
    QTest::newRow("info out of double range counts as change")
        << QString() << page(500) << 32767 << u"1e999"_s << 0 << true << u"500"_s;
    QTest::newRow("info -1e999 counts as change")
        << QString() << page(0) << 32767 << u"-1e999"_s << 0 << true << u"0"_s;
    QTest::newRow("huge but finite info")
        << QString() << page(3) << 32767 << u"1e300"_s << 0 << true << u"3"_s;
    QTest::newRow("err at its maximum")
        << QString() << page(32767) << 32767 << QString() << 0 << false << u"32767"_s;

    // Measure choice.
    QTest::newRow("check2Byte 1 counts double-byte characters")
        << QString() << page(1000, 300) << 0 << u"300"_s << 1 << false << u"300"_s;
    QTest::newRow("check2Byte 0 counts characters")
        << QString() << page(1000, 300) << 0 << u"1000"_s << 0 << false << u"1000"_s;
    QTest::newRow("check2Byte -1 counts characters")
        << QString() << page(1000, 300) << 0 << u"300"_s << -1 << true << u"1000"_s;
    QTest::newRow("check2Byte 2 counts characters")
        << QString() << page(1000, 300) << 0 << u"1000"_s << 2 << false << u"1000"_s;
    QTest::newRow("check2Byte 1 without double-byte characters")
        << QString() << page(40) << 0 << QString() << 1 << true << u"40"_s;
}

void tst_ChangeDecision::decide()
{
    QFETCH(QString, header);
    QFETCH(QString, body);
    QFETCH(int, err);
    QFETCH(QString, info);
    QFETCH(int, check2Byte);
    QFETCH(bool, changed);
    QFETCH(QString, newInfo);

    ItemRecord item;
    item.Title = u"Page"_s;
    item.URL = u"http://127.0.0.1/"_s;
    item.Err = qint16(err);
    item.Info = info;
    item.Check2Byte = qint16(check2Byte);
    const ChangeDecision decision = DecideChange(header, body, item);
    QCOMPARE(decision.changed, changed);
    QCOMPARE(decision.newInfo, newInfo);
}

void tst_ChangeDecision::measure_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<int>("check2Byte");
    QTest::addColumn<int>("measure");

    QTest::newRow("empty, characters") << QString() << 0 << 0;
    QTest::newRow("empty, double-byte") << QString() << 1 << 0;
    QTest::newRow("mixed, characters") << u"日本語abc"_s << 0 << 6;
    QTest::newRow("mixed, double-byte") << u"日本語abc"_s << 1 << 3;
    QTest::newRow("half-width katakana are single-byte") << u"ｱｲｳ日"_s << 1 << 1;
    QTest::newRow("replacement character is one character") << u"a\uFFFDb"_s << 0 << 3;
    QTest::newRow("astral character is two code units") << u"😀"_s << 0 << 2;
}

void tst_ChangeDecision::measure()
{
    QFETCH(QString, body);
    QFETCH(int, check2Byte);
    QFETCH(int, measure);
    QCOMPARE(MeasureBody(body, qint16(check2Byte)), measure);
}

QTEST_GUILESS_MAIN(tst_ChangeDecision)
#include "tst_ChangeDecision.moc"
