#include "check/ErrorInfo.h"

#include <QtTest>

using namespace Qt::StringLiterals;

class tst_ErrorInfo final : public QObject
{
    Q_OBJECT
private slots:
    void errorInfo_data()
    {
        QTest::addColumn<QString>("responseInfo");
        QTest::addColumn<QString>("info");
        QTest::newRow("empty") << QString() << u"エラー:"_s;
        QTest::newRow("one line kept as it is")
            << u" Connection refused\t "_s << u"エラー: Connection refused\t "_s;
        QTest::newRow("CR LF is one blank") << u"a\r\nb"_s << u"エラー:a b"_s;
        QTest::newRow("lone CR and LF") << u"a\rb\nc"_s << u"エラー:a b c"_s;
        QTest::newRow("LF CR is two") << u"a\n\rb"_s << u"エラー:a  b"_s;
        QTest::newRow("empty lines keep their count") << u"a\r\n\r\nb\r\n"_s << u"エラー:a  b "_s;
        QTest::newRow("other line separators")
            << u"a\u2028b\u2029c\u0085d\ve\f"_s << u"エラー:a b c d e "_s;
        QTest::newRow("Japanese text")
            << u"接続できません\r\n再試行"_s << u"エラー:接続できません 再試行"_s;
    }
    void errorInfo()
    {
        QFETCH(QString, responseInfo);
        QFETCH(QString, info);
        QCOMPARE(ErrorInfo(responseInfo), info);
    }
};

QTEST_GUILESS_MAIN(tst_ErrorInfo)
#include "tst_ErrorInfo.moc"
