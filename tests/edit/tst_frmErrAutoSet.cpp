#include "check/Inet.h"
#include "edit/frmErrAutoSet.h"
#include "support/TestHttpServer.h"
#include "support/WindowTesting.h"
#include <QTest>
#include <QTimer>
#include <functional>

struct frmErrAutoSetProbe {
    static qint16 counter(frmErrAutoSet& d) { return d.counter; }
    static QList<qint32> measures(frmErrAutoSet& d) { return d.measures; }
};

namespace
{
const QString NoTolerance = QStringLiteral("このアイテムには誤差設定は必要ありません。");

QByteArray Ascii(int n)
{
    return QByteArray(n, 'a');
}

// n characters that take two bytes in CP932 ("あ").
QByteArray DoubleByte(int n)
{
    return QByteArray("\x82\xa0").repeated(n);
}

struct Run {
    int result = -1;
    bool cancelled = true;
    qint16 err = 0;
    bool timedOut = false;
    QStringList captions;
};
} // namespace

class tst_frmErrAutoSet final : public QObject
{
    Q_OBJECT

private:
    TestHttpServer server;
    MsgBoxCapture msgBox;
    QStringList& messages = msgBox.messages;

    // Shows the shared dialog as the item dialog does. `whenRequested` runs once the server has
    // received the first request; a watchdog closes a dialog that would otherwise hang.
    Run calibrate(const QString& url, qint16 check2Byte, qint16 n,
                  std::function<void(frmErrAutoSet&)> whenRequested = {})
    {
        frmErrAutoSet& d = frmErrAutoSet::Instance();
        d.URL = url;
        d.Check2Byte = check2Byte;
        d.numAccess = n;
        messages.clear();
        Run run;
        QObject context;
        connect(&d, &QWidget::windowTitleChanged, &context,
                [&run](const QString& title) { run.captions << title; });
        QTimer poll;
        poll.setInterval(5);
        const int requestsBefore = server.totalRequests();
        connect(&poll, &QTimer::timeout, &context, [&] {
            if (whenRequested && server.totalRequests() > requestsBefore) {
                poll.stop();
                whenRequested(d);
            }
        });
        poll.start();
        QTimer::singleShot(20000, &context, [&] {
            if (d.isVisible()) {
                run.timedOut = true;
                d.reject();
            }
        });
        run.result = d.exec();
        run.cancelled = d.Cancelled;
        run.err = d.Err;
        return run;
    }

private slots:
    void initTestCase() { QVERIFY(server.listen()); }

    void spread_data()
    {
        QTest::addColumn<QList<QByteArray>>("bodies");
        QTest::addColumn<int>("check2Byte");
        QTest::addColumn<QList<qint32>>("expectedMeasures");
        QTest::addColumn<int>("expectedErr");

        QTest::newRow("one access")
            << QList<QByteArray>{Ascii(500)} << 0 << QList<qint32>{500} << 0;
        QTest::newRow("spread 70") << QList<QByteArray>{Ascii(1200), Ascii(1250), Ascii(1180)} << 0
                                   << QList<qint32>{1200, 1250, 1180} << 70;
        QTest::newRow("all equal")
            << QList<QByteArray>(4, Ascii(300)) << 0 << QList<qint32>(4, 300) << 0;
        QTest::newRow("double-byte flag, none on the page")
            << QList<QByteArray>{Ascii(100), Ascii(130)} << 1 << QList<qint32>{100, 130} << 30;
        const QList<QByteArray> mixed{DoubleByte(300) + Ascii(700), DoubleByte(280) + Ascii(900)};
        QTest::newRow("double-byte flag") << mixed << 1 << QList<qint32>{300, 280} << 20;
        QTest::newRow("characters") << mixed << 0 << QList<qint32>{1000, 1180} << 180;
        QTest::newRow("flag other than 1 counts characters")
            << mixed << -1 << QList<qint32>{1000, 1180} << 180;
        QTest::newRow("only the first 65535 bytes")
            << QList<QByteArray>{Ascii(70000), Ascii(65535) + QByteArray(5000, 'b')} << 0
            << QList<qint32>{65535, 65535} << 0;
        QTest::newRow("spread beyond the 16-bit range")
            << QList<QByteArray>{QByteArray(), Ascii(40000)} << 0 << QList<qint32>{0, 40000}
            << 32767;
    }

    void spread()
    {
        QFETCH(QList<QByteArray>, bodies);
        QFETCH(int, check2Byte);
        QFETCH(QList<qint32>, expectedMeasures);
        QFETCH(int, expectedErr);

        const QString path = QStringLiteral("/spread/") + PathTag();
        QList<int> counterAtArrival;
        server.setHandler([&](const QByteArray&, int hit) {
            counterAtArrival << frmErrAutoSetProbe::counter(frmErrAutoSet::Instance());
            TestResponse r;
            r.body = bodies.value(hit - 1);
            r.delayMs = 10;
            return r;
        });
        const qint16 n = qint16(bodies.size());
        const Run run = calibrate(server.url(path), qint16(check2Byte), n);

        QVERIFY(!run.timedOut);
        QCOMPARE(run.result, int(QDialog::Accepted));
        QVERIFY(!run.cancelled);
        QCOMPARE(int(run.err), expectedErr);
        QCOMPARE(frmErrAutoSetProbe::measures(frmErrAutoSet::Instance()), expectedMeasures);
        QVERIFY(messages.isEmpty());
        // Strictly one after the other: each request arrives once the one before is measured.
        QList<int> expectedOrder;
        for (int i = 0; i < n; ++i)
            expectedOrder << i;
        QCOMPARE(counterAtArrival, expectedOrder);

        // The caption counts the measured accesses; closing cancels, even after success.
        QCOMPARE(run.captions.first(), QStringLiteral("実行中..."));
        QCOMPARE(run.captions.last(), QStringLiteral("取消中..."));
        QCOMPARE(frmErrAutoSet::Instance().windowTitle(), QStringLiteral("取消中..."));
        qsizetype at = 0;
        for (int k = 0; k < n; ++k) {
            const QString receiving = QStringLiteral("受信中...%1/%2").arg(k).arg(n);
            const qsizetype found = run.captions.indexOf(receiving, at);
            QVERIFY2(found >= 0, qPrintable(receiving + QStringLiteral(" in ") +
                                            run.captions.join(QLatin1Char('|'))));
            at = found + 1;
        }
        QVERIFY(!run.captions.contains(QStringLiteral("受信中...%1/%2").arg(n).arg(n)));
        QVERIFY(!frmErrAutoSet::Instance().isVisible());
    }

    void lastModifiedShortCut_data()
    {
        QTest::addColumn<int>("n");
        QTest::addColumn<int>("headerOnHit");
        QTest::addColumn<QByteArray>("headerName");

        QTest::newRow("third of five") << 5 << 3 << QByteArray("Last-Modified");
        QTest::newRow("first of one") << 1 << 1 << QByteArray("Last-Modified");
        QTest::newRow("name in other case") << 2 << 2 << QByteArray("last-modified");
    }

    void lastModifiedShortCut()
    {
        QFETCH(int, n);
        QFETCH(int, headerOnHit);
        QFETCH(QByteArray, headerName);

        const QString path = QStringLiteral("/lastmodified/") + PathTag();
        server.setHandler([&](const QByteArray&, int hit) {
            TestResponse r;
            r.body = Ascii(100 * hit);
            if (hit >= headerOnHit)
                r.headers << qMakePair(headerName, QByteArray("Wed, 21 Oct 2015 07:28:00 GMT"));
            return r;
        });
        frmErrAutoSet::Instance().Err = 77;
        const Run run = calibrate(server.url(path), 0, qint16(n));

        QVERIFY(!run.timedOut);
        QCOMPARE(run.result, int(QDialog::Rejected));
        QVERIFY(run.cancelled);
        QCOMPARE(int(run.err), 77);
        QCOMPARE(messages, QStringList{NoTolerance});
        QCOMPARE(server.hits(path), headerOnHit);
        QCOMPARE(run.captions.last(), QStringLiteral("取消中..."));
    }

    void transferError_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<int>("failFromHit");
        QTest::addColumn<int>("n");

        QTest::newRow("connection closed on the second access")
            << QStringLiteral("/closed") << 2 << 3;
        QTest::newRow("connection closed on the first access")
            << QStringLiteral("/closed1") << 1 << 1;
        QTest::newRow("refused") << QStringLiteral("http://127.0.0.1:1/") << 0 << 2;
        QTest::newRow("empty address") << QString() << 0 << 2;
        QTest::newRow("no host") << QStringLiteral("http://") << 0 << 2;
        QTest::newRow("unknown scheme") << QStringLiteral("gopher-x://127.0.0.1/") << 0 << 2;
        QTest::newRow("not an address") << QStringLiteral("::: not a url :::") << 0 << 2;
    }

    void transferError()
    {
        QFETCH(QString, url);
        QFETCH(int, failFromHit);
        QFETCH(int, n);

        server.setHandler([&](const QByteArray&, int hit) {
            TestResponse r;
            r.body = Ascii(10);
            if (hit >= failFromHit)
                r.closeAfterBytes = 0;
            return r;
        });
        const QString address = failFromHit > 0 ? server.url(url) : url;
        frmErrAutoSet::Instance().Err = -5;
        const Run run = calibrate(address, 0, qint16(n));

        QVERIFY(!run.timedOut);
        QVERIFY(run.cancelled);
        QCOMPARE(int(run.err), -5);
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages.first().startsWith(QStringLiteral("エラー:")),
                 qPrintable(messages.first()));
        QVERIFY2(messages.first().size() > 4, "the error text follows the prefix");
        QCOMPARE(run.captions.last(), QStringLiteral("取消中..."));
        if (failFromHit > 0)
            QVERIFY(server.hits(url) >= failFromHit);
    }

    void cancelDuringFirstAccess_data() { AddDismissRows(); }

    void cancelDuringFirstAccess()
    {
        QFETCH(QString, how);

        const QString path = QStringLiteral("/hang/") + PathTag();
        server.setHandler([](const QByteArray&, int) {
            TestResponse r;
            r.hang = true;
            return r;
        });
        frmErrAutoSet::Instance().Err = 9;
        const Run run =
            calibrate(server.url(path), 0, 3, [&](frmErrAutoSet& d) { Dismiss(&d, how); });

        QVERIFY(!run.timedOut);
        QCOMPARE(run.result, int(QDialog::Rejected));
        QVERIFY(run.cancelled);
        QCOMPARE(int(run.err), 9);
        QVERIFY(messages.isEmpty());
        QCOMPARE(server.hits(path), 1);
        QCOMPARE(run.captions.last(), QStringLiteral("取消中..."));
        QVERIFY(!run.captions.contains(QStringLiteral("受信中...0/3")));

        // Nothing of the cancelled request arrives later, and the next showing starts afresh.
        QTest::qWait(50);
        QCOMPARE(frmErrAutoSet::Instance().windowTitle(), QStringLiteral("取消中..."));
        server.setHandler([](const QByteArray&, int hit) {
            TestResponse r;
            r.body = Ascii(hit == 1 ? 10 : 25);
            return r;
        });
        const Run again = calibrate(server.url(QStringLiteral("/after/") + how), 0, 2);
        QVERIFY(!again.cancelled);
        QCOMPARE(int(again.err), 15);
        QCOMPARE(again.captions.first(), QStringLiteral("実行中..."));
    }

    void sharedInstanceKeepsMembers()
    {
        frmErrAutoSet& d = frmErrAutoSet::Instance();
        QCOMPARE(&d, &frmErrAutoSet::Instance());
        QVERIFY(!d.parent());
        server.setHandler([](const QByteArray&, int hit) {
            TestResponse r;
            r.body = Ascii(hit * 7);
            return r;
        });
        const QString url = server.url(QStringLiteral("/members"));
        calibrate(url, 1, 3);
        QCOMPARE(d.URL, url);
        QCOMPARE(int(d.Check2Byte), 1);
        QCOMPARE(int(d.numAccess), 3);
        QCOMPARE(int(d.Err), 14);
        QVERIFY(!d.Cancelled);
    }
};

QTEST_MAIN(tst_frmErrAutoSet)
#include "tst_frmErrAutoSet.moc"
