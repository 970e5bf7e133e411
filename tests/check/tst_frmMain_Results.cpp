// The results of a check run: Save, Browse, double-click, Exit and the page viewer.
#include "check/BrowserLauncher.h"
#include "support/FakeOpener.h"
#include "support/TestHttpServer.h"
#include "support/TestProgramFolder.h"
#include "support/WindowTesting.h"
#include "support/frmMainProbe.h"

#include <QAction>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace
{

const QDateTime Untouched(QDate(2001, 2, 3), QTime(4, 5, 6), Qt::UTC);

QDateTime modified(const QString& path)
{
    return QFileInfo(path).fileTime(QFileDevice::FileModificationTime);
}

void markUntouched(const QString& path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(Untouched, QFileDevice::FileModificationTime));
}

} // namespace

class tst_frmMain_Results final : public QObject
{
    Q_OBJECT

private:
    MsgBoxCapture msgBox;
    FakeOpener opener;
    TestHttpServer* server = nullptr;
    std::unique_ptr<TestProgramFolder> folder;
    std::unique_ptr<frmMain> window;
    std::unique_ptr<QSignalSpy> unloaded;

    // A finished run over three items: "1 first" and "3 third" changed, "2 same" did not.
    void finishedRun(int exitAfterSave)
    {
        folder = std::make_unique<TestProgramFolder>(exitAfterSave);
        folder->writeItem(MakeItem(u"1 first"_s, server->url(u"/first"_s), 0, u"1"_s));
        folder->writeItem(MakeItem(u"2 same"_s, server->url(u"/same"_s), 0, u"4"_s));
        folder->writeItem(MakeItem(u"3 third"_s, server->url(u"/third"_s), 0, u"1"_s, 1));
        window = std::make_unique<frmMain>();
        unloaded = std::make_unique<QSignalSpy>(window.get(), &frmMain::Unloaded);
        QVERIFY(WaitForRunEnd(*window, *unloaded));
        QCOMPARE(frmMainProbe(*window).lstCheck()->count(), 2);
        for (const QString& title : {u"1 first"_s, u"2 same"_s, u"3 third"_s})
            markUntouched(folder->itemPath(title));
    }

    bool written(const QString& title) const
    {
        return modified(folder->itemPath(title)) != Untouched;
    }

private slots:
    void initTestCase()
    {
        server = new TestHttpServer(this);
        QVERIFY(server->listen());
        server->setResponse(u"/first"_s, Page("first page"));
        server->setResponse(u"/same"_s, Page("same"));
        server->setResponse(u"/third"_s, Page("third page"));
    }
    void init()
    {
        msgBox.messages.clear();
        opener.clear();
        opener.setExitCode(0);
        opener.setSleepSeconds(0);
    }
    void cleanup()
    {
        unloaded.reset();
        window.reset();
        folder.reset();
    }

    void save_data();
    void save();
    void browse_data();
    void browse();
    void browseWithoutSelection();
    void browserFailure_data();
    void browserFailure();
    void browserStillStarting_data();
    void browserStillStarting();
    void toolbarKeys_data();
    void toolbarKeys();
    void failingSave_data();
    void failingSave();
    void saveWithoutResults();
    void acceptPage_data();
    void acceptPage();
    void undecodableHeaderSavedOnce_data();
    void undecodableHeaderSavedOnce();
};

void tst_frmMain_Results::save_data()
{
    QTest::addColumn<int>("exitAfterSave");
    QTest::newRow("stay after saving") << 0;
    QTest::newRow("close after saving") << 1;
}

// Save writes every listed item with its new Info, and only those.
void tst_frmMain_Results::save()
{
    QFETCH(int, exitAfterSave);
    finishedRun(exitAfterSave);
    frmMainProbe probe(*window);

    probe.tbrCheck_ButtonClick(probe.tbrCheckButton(1));
    QCOMPARE(folder->storedInfo(u"1 first"_s), u"10"_s);
    QCOMPARE(folder->storedInfo(u"3 third"_s), u"10"_s);
    QCOMPARE(folder->itemLines(u"3 third"_s).value(6), u"Check2Byte=1"_s);
    QVERIFY(!written(u"2 same"_s));
    QVERIFY(msgBox.messages.isEmpty());
    QVERIFY(opener.opened().isEmpty());
    QCOMPARE(unloaded->count(), exitAfterSave);
    if (exitAfterSave)
        return;

    // Nothing else changed, and Save can be pressed again.
    QCOMPARE(window->windowTitle(), FinishedCaption);
    QVERIFY(probe.lstCheck()->isEnabled());
    QVERIFY(probe.tbrCheckButton(1)->isEnabled());
    QVERIFY(!probe.tbrCheckButton(3)->isEnabled());
    // A file edited since is the user's and stays; what the first Save wrote is its own.
    folder->writeItem(MakeItem(u"1 first"_s, server->url(u"/first"_s), 0, u"edited"_s));
    probe.tbrCheck_ButtonClick(probe.tbrCheckButton(1));
    QCOMPARE(folder->storedInfo(u"1 first"_s), u"edited"_s);
    QCOMPARE(msgBox.messages.size(), 1);
    QVERIFY(!msgBox.messages.first().contains(u"3 third"_s));
}

void tst_frmMain_Results::browse_data()
{
    QTest::addColumn<int>("exitAfterSave");
    QTest::addColumn<bool>("doubleClick");
    QTest::newRow("Browse, stay") << 0 << false;
    QTest::newRow("Browse, close") << 1 << false;
    QTest::newRow("double-click, stay") << 0 << true;
    QTest::newRow("double-click, close") << 1 << true;
}

// The selected line's page opens with the visible steps in order, then all lines are saved.
void tst_frmMain_Results::browse()
{
    QFETCH(int, exitAfterSave);
    QFETCH(bool, doubleClick);
    finishedRun(exitAfterSave);
    frmMainProbe probe(*window);
    QStringList captions;
    connect(window.get(), &QWidget::windowTitleChanged, this,
            [&](const QString& t) { captions << t; });

    probe.lstCheck()->setCurrentRow(1);
    if (doubleClick)
        probe.lstCheck_DblClick();
    else
        probe.tbrCheck_ButtonClick(probe.tbrCheckButton(2));

    QCOMPARE(opener.opened(), QStringList{server->url(u"/third"_s)});
    QCOMPARE(captions.mid(0, 3),
             (QStringList{u"IEを起動中..."_s, u"ページをロード中..."_s, FinishedCaption}));
    QVERIFY(window->cursor().shape() != Qt::WaitCursor);
    QCOMPARE(folder->storedInfo(u"1 first"_s), u"10"_s);
    QCOMPARE(folder->storedInfo(u"3 third"_s), u"10"_s);
    QVERIFY(!written(u"2 same"_s));
    QCOMPARE(unloaded->count(), exitAfterSave);
    if (exitAfterSave)
        return;
    QCOMPARE(window->windowTitle(), FinishedCaption);

    // Every line in turn, each time saving all lines again.
    markUntouched(folder->itemPath(u"3 third"_s));
    probe.lstCheck()->setCurrentRow(0);
    probe.BrowseResult();
    QCOMPARE(opener.opened().value(1), server->url(u"/first"_s));
    QVERIFY(written(u"3 third"_s));
    QCOMPARE(unloaded->count(), 0);
}

void tst_frmMain_Results::browseWithoutSelection()
{
    finishedRun(1);
    frmMainProbe probe(*window);
    probe.lstCheck()->clearSelection();
    probe.tbrCheck_ButtonClick(probe.tbrCheckButton(2));
    probe.lstCheck_DblClick();
    QVERIFY(opener.opened().isEmpty());
    QVERIFY(!written(u"1 first"_s));
    QVERIFY(!written(u"3 third"_s));
    QCOMPARE(unloaded->count(), 0);
    QCOMPARE(window->windowTitle(), FinishedCaption);
}

void tst_frmMain_Results::browserFailure_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("empty address") << QString() << 0;
    QTest::newRow("malformed address") << u"http://[::1"_s << 0;
    QTest::newRow("opener fails, no browser set up") << u"http://127.0.0.1:9/"_s << 3;
}

// A browser that cannot be started: caption and cursor restored, a message, and no save.
void tst_frmMain_Results::browserFailure()
{
    QFETCH(QString, url);
    QFETCH(int, exitCode);
    finishedRun(1);
    frmMainProbe probe(*window);
    opener.setExitCode(exitCode);
    probe.Results()[0].URL = url;
    probe.lstCheck()->setCurrentRow(0);
    probe.tbrCheck_ButtonClick(probe.tbrCheckButton(2));

    QCOMPARE(msgBox.messages.size(), 1);
    if (exitCode)
        QVERIFY(msgBox.messages.first().contains(u"終了コード 3"_s));
    QCOMPARE(window->windowTitle(), FinishedCaption);
    QVERIFY(window->cursor().shape() != Qt::WaitCursor);
    QVERIFY(!written(u"1 first"_s));
    QVERIFY(!written(u"3 third"_s));
    QCOMPARE(unloaded->count(), 0);
    QVERIFY(!probe.OpenInBrowser(url));
}

void tst_frmMain_Results::browserStillStarting_data()
{
    QTest::addColumn<QList<int>>("tabs"); // the tabs chosen while the opener runs
    QTest::newRow("waited for") << QList<int>();
    QTest::newRow("Setting tab meanwhile") << QList<int>{1};
    QTest::newRow("new run meanwhile") << QList<int>{1, 0};
}

// An opener still running after the grace has opened the page; the window answers meanwhile.
// Leaving the Check pane ends that Browse: nothing saved, nothing closed.
void tst_frmMain_Results::browserStillStarting()
{
    QFETCH(QList<int>, tabs);
    finishedRun(1);
    frmMainProbe probe(*window);
    opener.setSleepSeconds(30);
    BrowserLauncher::SetGraceForTesting(tabs.isEmpty() ? 300 : 5000);
    QStringList during;
    QTimer::singleShot(100, this, [&] {
        during << window->windowTitle() << QString::number(window->cursor().shape());
        probe.BrowseResult(); // pressed again while waiting: ignored
        for (int tab : tabs)
            probe.tabMain()->setCurrentIndex(tab);
    });
    probe.lstCheck()->setCurrentRow(0);
    QElapsedTimer clock;
    clock.start();
    probe.BrowseResult();
    BrowserLauncher::SetGraceForTesting(0);

    QCOMPARE(during, (QStringList{u"ページをロード中..."_s, QString::number(Qt::WaitCursor)}));
    QTRY_COMPARE(opener.opened().size(), 1); // left early, the opener may still be starting
    QCOMPARE(written(u"1 first"_s), tabs.isEmpty());
    QCOMPARE(unloaded->count(), tabs.isEmpty() ? 1 : 0);
    if (!tabs.isEmpty()) {
        QCOMPARE_LT(clock.elapsed(), 4000);
        QVERIFY(window->cursor().shape() != Qt::WaitCursor);
        QVERIFY(msgBox.messages.isEmpty());
        if (tabs.size() == 1)
            QCOMPARE(window->windowTitle(), u"設定"_s);
        else
            QVERIFY(window->windowTitle().startsWith(u"実行中..."_s));
    }
    // An opener notes its process only once it sleeps.
    QTRY_VERIFY((opener.killRunning(), BrowserLauncher::RunningOpeners() == 0));
}

void tst_frmMain_Results::toolbarKeys_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("saves");
    QTest::addColumn<bool>("unloads");
    QTest::newRow("Save") << u"Save"_s << true << false;
    QTest::newRow("Exit") << u"Exit"_s << false << true;
    QTest::newRow("save") << u"save"_s << false << false;
    QTest::newRow("EXIT") << u"EXIT"_s << false << false;
    QTest::newRow("Exit with a blank") << u"Exit "_s << false << false;
    QTest::newRow("no key") << QString() << false << false;
}

// Clicks are dispatched by the button's key, exactly.
void tst_frmMain_Results::toolbarKeys()
{
    QFETCH(QString, key);
    QFETCH(bool, saves);
    QFETCH(bool, unloads);
    finishedRun(0);
    frmMainProbe probe(*window);
    QAction button;
    button.setObjectName(key);
    probe.tbrCheck_ButtonClick(&button);
    QCOMPARE(written(u"1 first"_s), saves);
    QCOMPARE(unloaded->count(), unloads ? 1 : 0);
}

void tst_frmMain_Results::failingSave_data()
{
    AddFailingWriteRows();
}

// The writes that fail are reported together, the other files are still written, the window stays
// although it should close after saving, and a later Save writes everything still there.
void tst_frmMain_Results::failingSave()
{
    QFETCH(bool, folderGone);
    finishedRun(1);
    frmMainProbe probe(*window);
    const QString readOnly = folder->itemPath(u"1 first"_s);
    const auto permissions = QFile::permissions(readOnly);
    QVERIFY(folder->failWrites(u"1 first"_s, folderGone));
    probe.tbrCheck_ButtonClick(probe.tbrCheckButton(1));
    QCOMPARE(msgBox.messages.size(), 1); // one message naming every failed item
    QVERIFY(msgBox.messages.first().contains(u"「1 first」"_s));
    QCOMPARE(msgBox.messages.first().contains(u"「3 third」"_s), folderGone);
    QCOMPARE(unloaded->count(), 0);
    QCOMPARE(window->windowTitle(), FinishedCaption);
    if (!folderGone) {
        QCOMPARE(folder->storedInfo(u"1 first"_s), u"1"_s);
        QCOMPARE(folder->storedInfo(u"3 third"_s), u"10"_s);
    }

    if (folderGone)
        QVERIFY(QDir().mkpath(folder->itemFolder()));
    else
        QVERIFY(QFile::setPermissions(readOnly, permissions));
    msgBox.messages.clear();
    probe.tbrCheck_ButtonClick(probe.tbrCheckButton(1));
    if (folderGone) { // the files went with the folder: none comes back
        QCOMPARE(msgBox.messages.size(), 1);
        QVERIFY(NativeNames(folder->itemFolder()).isEmpty());
        return;
    }
    QVERIFY(msgBox.messages.isEmpty());
    QCOMPARE(folder->storedInfo(u"1 first"_s), u"10"_s);
    QCOMPARE(folder->storedInfo(u"3 third"_s), u"10"_s);
    QCOMPARE(unloaded->count(), 1);
}

// At start-up with an empty folder every button is enabled; Save then writes nothing and
// the program keeps running.
void tst_frmMain_Results::saveWithoutResults()
{
    folder = std::make_unique<TestProgramFolder>(1);
    window = std::make_unique<frmMain>();
    frmMainProbe probe(*window);
    QSignalSpy closed(window.get(), &frmMain::Unloaded);
    QVERIFY(probe.tbrCheckButton(1)->isEnabled());
    probe.tbrCheck_ButtonClick(probe.tbrCheckButton(1));
    probe.tbrCheck_ButtonClick(probe.tbrCheckButton(2));
    QCOMPARE(QDir(folder->itemFolder()).entryList(QDir::Files), QStringList());
    QCOMPARE(closed.count(), 0);
    QVERIFY(msgBox.messages.isEmpty());
    QVERIFY(opener.opened().isEmpty());
}

void tst_frmMain_Results::acceptPage_data()
{
    QTest::addColumn<int>("exitAfterSave");
    QTest::addColumn<bool>("failing");
    QTest::newRow("close after the last") << 1 << false;
    QTest::newRow("stay after the last") << 0 << false;
    QTest::newRow("write fails") << 1 << true;
}

// One page accepted: only its item is written and its line leaves; the next line's view is its
// own page. When the last one leaves, the window does what Save would have done.
void tst_frmMain_Results::acceptPage()
{
    QFETCH(int, exitAfterSave);
    QFETCH(bool, failing);
    finishedRun(exitAfterSave);
    frmMainProbe probe(*window);
    auto* accept = probe.lstCheck()->findChild<QAction*>(u"AcceptPage"_s);
    QVERIFY(accept);
    if (failing)
        QVERIFY(folder->failWrites(u"1 first"_s, false));
    probe.lstCheck()->setCurrentRow(0);
    accept->trigger();
    if (failing) {
        QCOMPARE(msgBox.messages.size(), 1);
        QVERIFY(msgBox.messages.first().contains(u"「1 first」"_s));
        QCOMPARE(Lines(probe.lstCheck()), (QStringList{u"1 first"_s, u"3 third"_s}));
        QCOMPARE(unloaded->count(), 0);
        return;
    }
    QCOMPARE(folder->storedInfo(u"1 first"_s), u"10"_s);
    QVERIFY(!written(u"3 third"_s));
    QCOMPARE(Lines(probe.lstCheck()), QStringList{u"3 third"_s});
    QCOMPARE(probe.Results().size(), 1);
    QVERIFY(probe.txtChange()->toPlainText().startsWith(server->url(u"/third"_s)));
    QCOMPARE(window->windowTitle(), FinishedCaption);
    QCOMPARE(unloaded->count(), 0);

    accept->trigger();
    QCOMPARE(folder->storedInfo(u"3 third"_s), u"10"_s);
    QCOMPARE(unloaded->count(), exitAfterSave);
    QVERIFY(msgBox.messages.isEmpty());
    if (!exitAfterSave) {
        QCOMPARE(probe.lstCheck()->count(), 0);
        QVERIFY(!probe.tbrCheckButton(1)->isEnabled());
        QVERIFY(window->windowTitle() != FinishedCaption);
    }
}

void tst_frmMain_Results::undecodableHeaderSavedOnce_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QByteArray>("stored");
    QTest::newRow("stray 0x81") << "Wed, 01 Jan 2025\x81"_ba
                                << "Wed, 01 Jan 2025?"_ba;
    QTest::newRow("Latin-1") << "mer., 01 janv. 2025 \xa0(\xe9)"_ba
                             << "mer., 01 janv. 2025 ?(?)"_ba;
}

// The header that was saved counts as unchanged on the next run.
void tst_frmMain_Results::undecodableHeaderSavedOnce()
{
    QFETCH(QByteArray, header);
    QFETCH(QByteArray, stored);
    server->setResponse(u"/odd"_s, Page("odd", header));
    folder = std::make_unique<TestProgramFolder>(0);
    folder->writeItem(MakeItem(u"odd"_s, server->url(u"/odd"_s)));
    for (const bool changed : {true, false}) {
        window = std::make_unique<frmMain>();
        QSignalSpy closed(window.get(), &frmMain::Unloaded);
        QVERIFY(WaitForRunEnd(*window, closed));
        QCOMPARE(closed.count(), changed ? 0 : 1);
        frmMainProbe(*window).SaveResults();
        QCOMPARE(ReadAll(folder->itemPath(u"odd"_s)).split('\n').value(5), "Info=" + stored + '\r');
    }
}

QTEST_MAIN(tst_frmMain_Results)
#include "tst_frmMain_Results.moc"
