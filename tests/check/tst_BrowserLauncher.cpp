// The watched start of the browser opener, against a fake opener on PATH.
#include "check/BrowserLauncher.h"
#include "support/FakeOpener.h"

#include <QSignalSpy>
#include <QtTest>

using namespace Qt::StringLiterals;

class tst_BrowserLauncher final : public QObject
{
    Q_OBJECT

private slots:
    void outcome_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("onPath"); // the opener can be found
        QTest::addColumn<bool>("opened");
        QTest::addColumn<QString>("says");
        QTest::newRow("opener done") << u"http://127.0.0.1:9/a b"_s << true << true << QString();
        QTest::newRow("no opener")
            << u"http://127.0.0.1:9/"_s << false << false << u"起動できません"_s;
        // Would reach the opener as an option: refused without starting it.
        QTest::newRow("option-like") << u"-x"_s << true << false << u"アドレス"_s;
    }
    void outcome()
    {
        QFETCH(QString, url);
        QFETCH(bool, onPath);
        QFETCH(bool, opened);
        QFETCH(QString, says);
        FakeOpener opener;
        const QByteArray path = qgetenv("PATH");
        if (!onPath)
            qputenv("PATH", "/nonexistent");
        BrowserLauncher launcher;
        QSignalSpy finished(&launcher, &BrowserLauncher::Finished);
        launcher.Open(QUrl(url));
        QCOMPARE(finished.count(), 0); // never from inside Open
        QVERIFY(finished.wait(5000));
        qputenv("PATH", path);
        QCOMPARE(finished.at(0).at(0).toBool(), opened);
        QVERIFY(finished.at(0).at(1).toString().contains(says));
        QCOMPARE(opener.opened(),
                 opened ? QStringList{QUrl(url).toString(QUrl::FullyEncoded)} : QStringList{});
        QTRY_COMPARE(BrowserLauncher::RunningOpeners(), 0);
    }
};

QTEST_GUILESS_MAIN(tst_BrowserLauncher)
#include "tst_BrowserLauncher.moc"
