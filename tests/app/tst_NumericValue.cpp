#include "app/NumericValue.h"

#include <QTest>
#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

class tst_NumericValue final : public QObject
{
    Q_OBJECT
private slots:
    void numericValue_data();
    void numericValue();
    void hugeValues_data();
    void hugeValues();
    void roundToInt16_data();
    void roundToInt16();
    void numberText_data();
    void numberText();
};

void tst_NumericValue::numericValue_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::newRow("empty") << QString() << 0.0;
    QTest::newRow("integer") << u"42"_s << 42.0;
    QTest::newRow("leading blank") << u" 7"_s << 7.0;
    QTest::newRow("blanks inside digits") << u"1 2\t3\n4"_s << 1234.0;
    QTest::newRow("blank after sign") << u"- 5"_s << -5.0;
    QTest::newRow("plus sign") << u"+8"_s << 8.0;
    QTest::newRow("trailing text") << u"12abc"_s << 12.0;
    QTest::newRow("not a number") << u"abc"_s << 0.0;
    QTest::newRow("sign only") << u"-"_s << 0.0;
    QTest::newRow("point only") << u"."_s << 0.0;
    QTest::newRow("decimal") << u"12.5"_s << 12.5;
    QTest::newRow("leading point") << u".25"_s << 0.25;
    QTest::newRow("negative leading point") << u"-.5"_s << -0.5;
    QTest::newRow("trailing point") << u"5."_s << 5.0;
    QTest::newRow("second point stops") << u"1.2.3"_s << 1.2;
    QTest::newRow("comma stops") << u"1,000"_s << 1.0;
    QTest::newRow("exponent") << u"1.5E3"_s << 1500.0;
    QTest::newRow("lower-case exponent") << u"2e2"_s << 200.0;
    QTest::newRow("negative exponent") << u"25E-1"_s << 2.5;
    QTest::newRow("D is no exponent letter") << u"1D2"_s << 1.0;
    QTest::newRow("blanks in exponent") << u"1 E + 2"_s << 100.0;
    QTest::newRow("E without digits") << u"7E"_s << 7.0;
    QTest::newRow("E sign without digits") << u"7E-"_s << 7.0;
    QTest::newRow("exponent without mantissa") << u"E5"_s << 0.0;
    QTest::newRow("carriage return is not skipped") << u"1\r2"_s << 1.0;
    QTest::newRow("full-width digit is not a digit") << u"１"_s << 0.0;
    QTest::newRow("hex") << u"&H1F"_s << 31.0;
    QTest::newRow("hex lower case") << u"&hff"_s << 255.0;
    QTest::newRow("hex stops at non-digit") << u"&H1G"_s << 1.0;
    QTest::newRow("hex without digits") << u"&H"_s << 0.0;
    QTest::newRow("octal") << u"&O17"_s << 15.0;
    QTest::newRow("octal stops at 8") << u"&O78"_s << 7.0;
    QTest::newRow("ampersand alone") << u"&12"_s << 0.0;
    QTest::newRow("blanks around hex prefix") << u" & H 1 0"_s << 16.0;
    QTest::newRow("leading zeros") << u"007"_s << 7.0;
}

void tst_NumericValue::numericValue()
{
    QFETCH(QString, text);
    QFETCH(double, value);
    QCOMPARE(NumericValue(text), value);
}

void tst_NumericValue::hugeValues_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("overflowing exponent") << u"1E400"_s << inf;
    QTest::newRow("negative overflow") << u"-1E400"_s << -inf;
    QTest::newRow("underflow") << u"1E-400"_s << 0.0;
    QTest::newRow("exponent with many digits") << u"1E99999999999999999999"_s << inf;
    QTest::newRow("zero with huge exponent") << u"0E99999"_s << 0.0;
    QTest::newRow("long digit run") << QString(400, u'9') << inf;
}

void tst_NumericValue::hugeValues()
{
    QFETCH(QString, text);
    QFETCH(double, value);
    const double v = NumericValue(text);
    QCOMPARE(v, value);
    QVERIFY(!RoundToInt16(v).has_value() || v == 0.0);
}

void tst_NumericValue::roundToInt16_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("fits");
    QTest::addColumn<int>("result");
    QTest::newRow("0") << 0.0 << true << 0;
    QTest::newRow("12.5 to even") << 12.5 << true << 12;
    QTest::newRow("13.5 to even") << 13.5 << true << 14;
    QTest::newRow("0.5") << 0.5 << true << 0;
    QTest::newRow("1.5") << 1.5 << true << 2;
    QTest::newRow("-2.5") << -2.5 << true << -2;
    QTest::newRow("-3.5") << -3.5 << true << -4;
    QTest::newRow("2.4999") << 2.4999 << true << 2;
    QTest::newRow("2.5001") << 2.5001 << true << 3;
    QTest::newRow("max") << 32767.0 << true << 32767;
    QTest::newRow("min") << -32768.0 << true << -32768;
    QTest::newRow("32767.4") << 32767.4 << true << 32767;
    QTest::newRow("32767.5 rounds out of range") << 32767.5 << false << 0;
    QTest::newRow("-32768.5 rounds to even, fits") << -32768.5 << true << -32768;
    QTest::newRow("-32769") << -32769.0 << false << 0;
    QTest::newRow("40000") << 40000.0 << false << 0;
    QTest::newRow("inf") << std::numeric_limits<double>::infinity() << false << 0;
    QTest::newRow("-inf") << -std::numeric_limits<double>::infinity() << false << 0;
    QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << false << 0;
    QTest::newRow("1e300") << 1e300 << false << 0;
}

void tst_NumericValue::roundToInt16()
{
    QFETCH(double, value);
    QFETCH(bool, fits);
    QFETCH(int, result);
    const std::optional<qint16> r = RoundToInt16(value);
    QCOMPARE(r.has_value(), fits);
    if (fits)
        QCOMPARE(int(*r), result);
}

void tst_NumericValue::numberText_data()
{
    QTest::addColumn<qint64>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << qint64(0) << u"0"_s;
    QTest::newRow("positive") << qint64(3) << u"3"_s;
    QTest::newRow("negative") << qint64(-32768) << u"-32768"_s;
    QTest::newRow("large") << qint64(2147483647) << u"2147483647"_s;
}

void tst_NumericValue::numberText()
{
    QFETCH(qint64, value);
    QFETCH(QString, text);
    QCOMPARE(NumberText(value), text);
}

QTEST_GUILESS_MAIN(tst_NumericValue)
#include "tst_NumericValue.moc"
