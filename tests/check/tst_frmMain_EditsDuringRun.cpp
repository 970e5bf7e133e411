// An item file edited, removed, renamed or replaced while a run checks it is left as it is.
#include "app/Files.h"
#include "store/ItemFile.h"
#include "support/TestHttpServer.h"
#include "support/TestProgramFolder.h"
#include "support/WindowTesting.h"
#include "support/frmMainProbe.h"

#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>

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
    QTest::addColumn<QString>("refused"); // empty: written as ever
    const QStringList edits{u"untouched"_s, u"same bytes in place"_s,
                            u"edited"_s,    u"same bytes, another file"_s,
                            u"deleted"_s,   u"renamed"_s};
    const QStringList refusals{{}, {}, u"changed"_s, u"changed"_s, u"gone"_s, u"gone"_s};
    for (const bool save : {false, true})
        for (qsizetype i = 0; i < edits.size(); ++i)
            QTest::addRow("%s, %s", save ? "Save" : "error", qPrintable(edits[i]))
                << save << edits[i] << refusals[i];
}

// The edit is made as the item's request arrives.
void tst_frmMain_EditsDuringRun::editWins()
{
    QFETCH(bool, save);
    QFETCH(QString, edit);
    QFETCH(QString, refused);

    TestProgramFolder folder(0);
    const QString path = folder.itemPath(u"a"_s);
    const QByteArray edited = "[InternetShortcut]\r\nURL=http://example.invalid/new\r\n"
                              "[SiteVigil]\r\nErr=7\r\nInfo=\r\nCheck2Byte=1\r\n";
    QByteArray original;
    TestHttpServer server;
    QVERIFY(server.listen());
    server.setHandler([&](const QByteArray&, int) {
        if (edit == u"same bytes in place")
            WriteAll(path, original);
        else if (edit == u"edited")
            WriteAll(path, edited);
        else if (edit == u"same bytes, another file") { // as editors save
            WriteAll(path + u".new"_s, original);
            std::rename(QFile::encodeName(path + u".new"_s), QFile::encodeName(path));
        } else if (edit == u"deleted")
            QFile::remove(path);
        else if (edit == u"renamed")
            QFile::rename(path, folder.itemPath(u"b"_s));
        TestResponse response = Page("changed page");
        if (!save)
            response.raw = "this is not HTTP at all\r\n\r\n";
        return response;
    });
    folder.writeItem(MakeItem(u"a"_s, server.url(u"/a"_s), 0, u"1"_s));
    original = ReadAll(path);

    frmMain window;
    frmMainProbe probe(window);
    QSignalSpy unloaded(&window, &frmMain::Unloaded);
    QVERIFY(WaitForRunEnd(window, unloaded));
    if (save)
        probe.SaveResults();

    const QString shown = Files::Display(Files::Path(path));
    if (refused.isEmpty()) {
        // Exactly what a write of the record over the file's bytes has always given.
        QTemporaryDir other;
        WriteAll(other.filePath(u"a.url"_s), original);
        QVERIFY(::WriteItemFile(other.path() + u'/', probe.Items().at(0)).ok);
        QCOMPARE(ReadAll(path), ReadAll(other.filePath(u"a.url"_s)));
        QVERIFY(ReadAll(path) != original);
        QVERIFY(msgBox.messages.isEmpty());
        return;
    }
    const QString left = edit == u"renamed" ? folder.itemPath(u"b"_s) : path;
    QCOMPARE(ReadAll(left), edit == u"edited"                    ? edited
                            : refused == u"gone" && left == path ? ""
                                                                 : original);
    QList<QByteArray> names; // nothing re-created, no temporary left
    if (edit != u"deleted")
        names << QFile::encodeName(QFileInfo(left).fileName());
    QCOMPARE(NativeNames(folder.itemFolder()), names);
    QCOMPARE(msgBox.messages.size(), 1);
    const QString reason = refused == u"changed" ? Files::ChangedWhileChecking(shown)
                                                 : Files::GoneWhileChecking(shown);
    QVERIFY2(msgBox.messages[0].contains(u"「a」\n    "_s + reason),
             qPrintable(msgBox.messages[0]));
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
