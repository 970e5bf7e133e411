// An item file edited, removed or renamed while a run checks it is left as the user made it.
#include "app/Files.h"
#include "store/ItemFile.h"
#include "support/TestHttpServer.h"
#include "support/TestProgramFolder.h"
#include "support/WindowTesting.h"
#include "support/frmMainProbe.h"

#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

class tst_frmMain_EditsDuringRun final : public QObject
{
    Q_OBJECT

private:
    MsgBoxCapture msgBox;

private slots:
    void init() { msgBox.messages.clear(); }
    void editWins_data();
    void editWins();
    void settingPaneEditAfterRun();
};

void tst_frmMain_EditsDuringRun::editWins_data()
{
    QTest::addColumn<bool>("save"); // false: the transfer fails and the error is written
    QTest::addColumn<QString>("edit");
    for (const bool save : {false, true})
        for (const QString& edit : {u"edited"_s, u"deleted"_s, u"renamed"_s})
            QTest::addRow("%s, %s", save ? "Save" : "error", qPrintable(edit)) << save << edit;
}

// "1 edited" is edited as its request arrives; "2 untouched" beside it is written as ever.
void tst_frmMain_EditsDuringRun::editWins()
{
    QFETCH(bool, save);
    QFETCH(QString, edit);

    TestProgramFolder folder(0);
    const QString path = folder.itemPath(u"1 edited"_s);
    const QString renamed = folder.itemPath(u"1 renamed"_s);
    const QByteArray edited = "[InternetShortcut]\r\nURL=http://example.invalid/new\r\n"
                              "Foreign=kept\r\n[SiteVigil]\r\nErr=7\r\nInfo=\r\nCheck2Byte=1\r\n";
    TestHttpServer server;
    QVERIFY(server.listen());
    server.setHandler([&](const QByteArray& asked, int) {
        if (asked == "/1" && edit == u"edited")
            WriteAll(path, edited);
        else if (asked == "/1" && edit == u"deleted")
            QFile::remove(path);
        else if (asked == "/1")
            QFile::rename(path, renamed);
        TestResponse response = Page("changed page");
        if (!save)
            response.raw = "this is not HTTP at all\r\n\r\n";
        return response;
    });
    folder.writeItem(MakeItem(u"1 edited"_s, server.url(u"/1"_s), 0, u"1"_s));
    folder.writeItem(MakeItem(u"2 untouched"_s, server.url(u"/2"_s), 0, u"1"_s));
    const QByteArray original = ReadAll(path);
    const QByteArray untouched = ReadAll(folder.itemPath(u"2 untouched"_s));

    frmMain window;
    frmMainProbe probe(window);
    QSignalSpy unloaded(&window, &frmMain::Unloaded);
    QVERIFY(WaitForRunEnd(window, unloaded));
    if (save) {
        QCOMPARE(probe.Results().size(), 2);
        probe.SaveResults();
    }

    QList<QByteArray> names{"2 untouched.url"};
    if (edit == u"edited") {
        QCOMPARE(ReadAll(path), edited);
        names.prepend("1 edited.url");
    } else if (edit == u"renamed") {
        QCOMPARE(ReadAll(renamed), original);
        names.prepend("1 renamed.url");
    }
    QCOMPARE(NativeNames(folder.itemFolder()), names);
    QCOMPARE(msgBox.messages.size(), 1);
    const QString shown = Files::Display(Files::Path(path));
    const QString reason =
        edit == u"edited" ? Files::ChangedWhileChecking(shown) : Files::GoneWhileChecking(shown);
    QVERIFY2(msgBox.messages[0].contains(u"「1 edited」\n    "_s + reason),
             qPrintable(msgBox.messages[0]));
    QVERIFY(!msgBox.messages[0].contains(u"2 untouched"_s));

    // The other file holds exactly what a write of its record over its old bytes gives.
    QTemporaryDir other;
    const QString otherFolder = other.path() + u'/';
    WriteAll(otherFolder + u"2 untouched.url"_s, untouched);
    QVERIFY(::WriteItemFile(otherFolder, probe.Items().at(1)).ok);
    const QByteArray written = ReadAll(folder.itemPath(u"2 untouched"_s));
    QVERIFY(written != untouched);
    QCOMPARE(written, ReadAll(otherFolder + u"2 untouched.url"_s));
}

// The run's stamps never stand in the way of the user's own edit in the Setting pane.
void tst_frmMain_EditsDuringRun::settingPaneEditAfterRun()
{
    TestHttpServer server;
    QVERIFY(server.listen());
    server.setResponse(u"/a"_s, Page("changed page"));
    TestProgramFolder folder(0);
    folder.writeItem(MakeItem(u"a"_s, server.url(u"/a"_s), 0, u"1"_s));
    frmMain window;
    frmMainProbe probe(window);
    QSignalSpy unloaded(&window, &frmMain::Unloaded);
    QVERIFY(WaitForRunEnd(window, unloaded));
    folder.writeItem(MakeItem(u"a"_s, server.url(u"/a"_s), 0, u"edited"_s));

    probe.tabMain_BeforeClick(1);
    probe.lstSetting()->setCurrentRow(0);
    OnModal([](QWidget* dialog) {
        dialog->findChild<QLineEdit*>(u"txtInfo"_s)->setText(u"mine"_s);
        dialog->findChild<QPushButton*>(u"cmdOK"_s)->click();
    });
    probe.EditItem();
    QCOMPARE(folder.storedInfo(u"a"_s), u"mine"_s);
    QVERIFY(msgBox.messages.isEmpty());
}

QTEST_MAIN(tst_frmMain_EditsDuringRun)
#include "tst_frmMain_EditsDuringRun.moc"
