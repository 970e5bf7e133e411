#include "check/Inet.h"
#include "support/FakeOpener.h"
#include "support/TestHttpServer.h"
#include "support/TestProgramFolder.h"
#include "support/WindowTesting.h"
#include "support/frmMainProbe.h"
#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTabBar>
#include <QTemporaryDir>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace
{

QByteArray ItemFileBytes(const QString& url, const QByteArray& info)
{
    return "[InternetShortcut]\r\nURL=" + url.toLatin1() +
           "\r\n\r\n[SiteVigil]\r\nErr=0\r\nInfo=" + info + "\r\nCheck2Byte=0\r\n";
}

// Which of the Check pane's controls are enabled.
QString CheckPaneEnabled(const frmMainProbe& p)
{
    QStringList states;
    const auto add = [&states](const char* name, const QObject* control) {
        const bool on = control->property("enabled").toBool();
        states.append(QString::fromLatin1(name) + (on ? u":on"_s : u":off"_s));
    };
    add("list", p.lstCheck());
    add("save", p.tbrCheckButton(1));
    add("browse", p.tbrCheckButton(2));
    add("skip", p.tbrCheckButton(3));
    add("exit", p.tbrCheckButton(4));
    add("orlan", p.lblOrlan());
    return states.join(u' ');
}

QWidget* FrontPane(const frmMainProbe& p)
{
    return qobject_cast<QStackedWidget*>(p.pctCheck()->parentWidget())->currentWidget();
}

} // namespace

class tst_frmMain_Shell final : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestProgramFolder> program;
    QString items; // the default item folder, with its separator
    std::unique_ptr<TestHttpServer> server;
    std::unique_ptr<MsgBoxCapture> capture;
    FakeOpener opener; // web pages and the help file

    void AddItem(const QString& title, const QString& path, const QByteArray& info = "0")
    {
        WriteAll(items + title + u".url"_s, ItemFileBytes(server->url(path), info));
    }
    void SetUpPages()
    {
        TestResponse hang;
        hang.hang = true;
        server->setResponse(u"/hang"_s, hang);
        server->setResponse(u"/changed"_s, Page("hello")); // 5 characters against a stored 0
        server->setResponse(u"/same"_s, Page("0"));        // 1 character
    }

private slots:
    void init()
    {
        program = std::make_unique<TestProgramFolder>();
        QVERIFY(program->isValid());
        items = program->itemFolder();
        server = std::make_unique<TestHttpServer>();
        QVERIFY(server->listen());
        SetUpPages();
        opener.clear();
        capture = std::make_unique<MsgBoxCapture>();
    }
    void cleanup()
    {
        capture.reset();
        server.reset();
        program.reset();
    }

    void windowAtStartWithoutItems()
    {
        frmMain w;
        frmMainProbe p(w);
        QCOMPARE(w.windowTitle(), u"アイテムが1つもありません。"_s);
        QCOMPARE(p.LastIndex(), qint16(-1));
        QCOMPARE(p.Items().size(), 1);
        QCOMPARE(p.FolderPath(), items);
        QCOMPARE(server->totalRequests(), 0);

        QCOMPARE(p.tabMain()->count(), 2);
        QCOMPARE(p.tabMain()->tabText(0), u"チェック"_s);
        QCOMPARE(p.tabMain()->tabData(0).toString(), u"Check"_s);
        QCOMPARE(p.tabMain()->tabText(1), u"設定"_s);
        QCOMPARE(p.tabMain()->tabData(1).toString(), u"Setting"_s);
        QCOMPARE(p.tabMain()->currentIndex(), 0);
        QCOMPARE(FrontPane(p), p.pctCheck());
        QCOMPARE(p.pctSetting()->parentWidget(), p.pctCheck()->parentWidget());

        // Every control starts enabled, the version label too.
        for (QWidget* c : w.findChildren<QWidget*>(QRegularExpression(u"^(pct|lst|lbl|cmd|tab)"_s)))
            QVERIFY2(c->isEnabled(), qPrintable(c->objectName()));
        for (int i = 1; i <= 4; ++i) {
            QVERIFY(p.tbrCheckButton(i)->isEnabled());
            QVERIFY(p.tbrSettingButton(i)->isEnabled());
        }
        QVERIFY(!p.tbrCheckButton(5));
        QVERIFY(!p.tbrSettingButton(0));

        QCOMPARE(p.cmdHelp()->toolTip(), u"readme.txtを表示"_s);
        QVERIFY(!p.cmdHelp()->accessibleName().isEmpty());
        QVERIFY(!p.cmdHelp()->icon().isNull());
        QCOMPARE(p.lblOrlan()->text(), u"orlan"_s);
        QVERIFY(p.lblOrlan()->font().underline());
        QCOMPARE(p.lblOrlan()->font().pointSize(), 9);
        QCOMPARE(p.lblOrlan()->palette().color(QPalette::Active, QPalette::WindowText),
                 QColor(0, 0, 255));
        QCOMPARE(p.lblOrlan()->cursor().shape(), Qt::PointingHandCursor);
        QVERIFY(p.lblOrlan()->focusPolicy() & Qt::TabFocus);
        QVERIFY(p.lstSetting()->acceptDrops());
        QVERIFY(!p.lstSetting()->isSortingEnabled());
    }

    void toolbarButtons_data()
    {
        QTest::addColumn<bool>("check");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("caption");
        QTest::newRow("Save") << true << 1 << u"Save"_s << u"保存"_s;
        QTest::newRow("Browse") << true << 2 << u"Browse"_s << u"IEで開く"_s;
        QTest::newRow("Skip") << true << 3 << u"Skip"_s << u"スキップ"_s;
        QTest::newRow("Exit") << true << 4 << u"Exit"_s << u"終了"_s;
        QTest::newRow("New") << false << 1 << u"New"_s << u"新規アイテム"_s;
        QTest::newRow("Edit") << false << 2 << u"Edit"_s << u"アイテム設定"_s;
        QTest::newRow("Delete") << false << 3 << u"Delete"_s << u"アイテム削除"_s;
        QTest::newRow("Option") << false << 4 << u"Option"_s << u"オプション設定"_s;
    }
    void toolbarButtons()
    {
        QFETCH(bool, check);
        QFETCH(int, index);
        QFETCH(QString, key);
        QFETCH(QString, caption);
        frmMain w;
        frmMainProbe p(w);
        QToolBar* bar = check ? p.tbrCheck() : p.tbrSetting();
        QAction* a = check ? p.tbrCheckButton(index) : p.tbrSettingButton(index);
        QVERIFY(a);
        QCOMPARE(a->objectName(), key);
        QCOMPARE(a->text(), caption);
        QVERIFY(!a->icon().isNull());
        QCOMPARE(bar->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
        QCOMPARE(bar->iconSize(), QSize(16, 16));
        auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(a));
        QVERIFY(button);
        QVERIFY(button->focusPolicy() & Qt::TabFocus);
        // No tooltip is shown for a toolbar button.
        QHelpEvent tip(QEvent::ToolTip, QPoint(2, 2), button->mapToGlobal(QPoint(2, 2)));
        QVERIFY(QCoreApplication::sendEvent(button, &tip));
    }

    void settings_data()
    {
        QTest::addColumn<QByteArray>("content"); // empty: no settings file
        QTest::addColumn<int>("exitAfterSave");
        QTest::addColumn<QString>("folder"); // "<default>" for the program's URLs folder
        const QString def = u"<default>"_s;
        QTest::newRow("no file") << QByteArray() << 1 << def;
        QTest::newRow("no key") << QByteArray("[Option]\r\n") << 1 << def;
        QTest::newRow("zero") << QByteArray("[Option]\r\nExitAfterSave=0\r\n") << 0 << def;
        QTest::newRow("one") << QByteArray("[option]\r\nexitaftersave=1\r\n") << 1 << def;
        QTest::newRow("two") << QByteArray("[Option]\r\nExitAfterSave=2\r\n") << 0 << def;
        QTest::newRow("minus one") << QByteArray("[Option]\r\nExitAfterSave=-1\r\n") << 0 << def;
        QTest::newRow("junk") << QByteArray("[Option]\r\nExitAfterSave=yes\r\n") << 0 << def;
        QTest::newRow("beyond 16 bits")
            << QByteArray("[Option]\r\nExitAfterSave=65537\r\n") << 0 << def;
        QTest::newRow("blank path") << QByteArray("[Option]\r\nFolderPath=    \r\n") << 1 << def;
        QTest::newRow("path") << QByteArray("[Option]\r\nFolderPath=/srv/items/\r\n") << 1
                              << u"/srv/items/"_s;
        const QByteArray longPath = '/' + QByteArray(299, 'a');
        QTest::newRow("300 bytes") << "[Option]\r\nFolderPath=" + longPath + "\r\n"
                                   << 1 << QString::fromLatin1(longPath.left(255));
    }
    void settings()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, exitAfterSave);
        QFETCH(QString, folder);
        if (!content.isEmpty())
            WriteAll(program->ini(), content);
        frmMain w;
        frmMainProbe p(w);
        QCOMPARE(int(p.ExitAfterSave()), exitAfterSave);
        QCOMPARE(p.FolderPath(), folder == u"<default>"_s ? items : folder);
        QCOMPARE(QFile::exists(program->ini()), !content.isEmpty());
    }

    void catalogueInListingOrder()
    {
        AddItem(u"b"_s, u"/hang"_s);
        AddItem(u"A"_s, u"/hang"_s);
        AddItem(u"C"_s, u"/hang"_s);
        WriteAll(items + u"News.URL"_s, ItemFileBytes(server->url(u"/hang"_s), "0"));
        AddItem(u"ウェブサイトの更新情報"_s, u"/hang"_s);
        WriteAll(items + u"notes.txt"_s, "x");
        WriteAll(items + u".hidden.url"_s, ItemFileBytes(u"http://127.0.0.1:1/"_s, "0"));
        QVERIFY(QDir(items).mkdir(u"folder.url"_s));

        frmMain w;
        frmMainProbe p(w);
        QCOMPARE(p.LastIndex(), qint16(4));
        QCOMPARE(p.Items().size(), 5);
        QStringList titles;
        for (const ItemRecord& item : p.Items())
            titles.append(item.Title);
        QCOMPARE(titles,
                 (QStringList{u"A"_s, u"b"_s, u"C"_s, u"News"_s, u"ウェブサイトの更新情報"_s}));
        QCOMPARE(p.Items().at(3).URL, server->url(u"/hang"_s));
        QCOMPARE(p.Items().at(4).URL, server->url(u"/hang"_s));

        p.tabMain()->setCurrentIndex(1);
        QCOMPARE(Lines(p.lstSetting()), titles);
    }

    void enabledStatesThroughARun()
    {
        AddItem(u"A"_s, u"/changed"_s);
        AddItem(u"B"_s, u"/same"_s, "1");
        frmMain w;
        frmMainProbe p(w);

        // Running.
        QCOMPARE(p.CurrentIndex(), qint16(0));
        QVERIFY(w.windowTitle().endsWith(u"A"_s));
        QCOMPARE(p.lstCheck()->count(), 0);
        QCOMPARE(CheckPaneEnabled(p), u"list:off save:off browse:off skip:on exit:on orlan:off"_s);
        QVERIFY(p.pctCheck()->isEnabled());
        QTest::mouseClick(p.lblOrlan(), Qt::LeftButton);
        p.lblOrlan_Click();
        QVERIFY(opener.opened().isEmpty());

        // Finished with one changed page.
        QTRY_COMPARE(w.windowTitle(), u"更新されているページがあります。"_s);
        QCOMPARE(Lines(p.lstCheck()), QStringList{u"A"_s});
        QCOMPARE(CheckPaneEnabled(p), u"list:on save:on browse:on skip:off exit:on orlan:on"_s);
        QVERIFY(!p.unloaded());

        // The author label now opens the home page, by mouse and by keyboard.
        QTest::mouseClick(p.lblOrlan(), Qt::LeftButton);
        QCOMPARE(opener.opened(), QStringList{frmMain::HomePageUrl()});
        p.lblOrlan()->setFocus();
        QTest::keyClick(p.lblOrlan(), Qt::Key_Space);
        QCOMPARE(opener.opened().size(), 2);
        QVERIFY(QUrl(frmMain::HomePageUrl()).isValid());
        QVERIFY(!frmMain::HomePageUrl().contains(u"127.0.0.1"_s));
    }

    void settingTabDuringARun()
    {
        AddItem(u"A"_s, u"/hang"_s);
        AddItem(u"B"_s, u"/changed"_s);
        frmMain w;
        frmMainProbe p(w);
        QTRY_COMPARE(server->hits(u"/hang"_s), 1);

        p.tabMain()->setCurrentIndex(1);
        QCOMPARE(w.windowTitle(), u"設定"_s);
        QCOMPARE(FrontPane(p), p.pctSetting());
        QVERIFY(p.pctSetting()->isEnabled());
        QVERIFY(!p.pctCheck()->isEnabled());
        QCOMPARE(Lines(p.lstSetting()), (QStringList{u"A"_s, u"B"_s}));
        QVERIFY(p.lblOrlan()->isEnabled());
        QTest::qWait(300); // the run does not go on
        QCOMPARE(w.windowTitle(), u"設定"_s);
        QCOMPARE(server->hits(u"/changed"_s), 0);
        QCOMPARE(p.CurrentIndex(), qint16(0));

        // Selecting the tab in front changes nothing.
        w.setWindowTitle(u"marker"_s);
        p.tabMain_BeforeClick(1);
        p.tabMain()->setCurrentIndex(1);
        QCOMPARE(w.windowTitle(), u"marker"_s);
        QCOMPARE(FrontPane(p), p.pctSetting());

        // Back to Check: the catalogue is read again and a new run starts from the top.
        WriteAll(items + u"C.url"_s, ItemFileBytes(server->url(u"/hang"_s), "0"));
        QVERIFY(QFile::remove(items + u"A.url"_s));
        p.lstCheck()->addItem(u"old"_s);
        QTest::keyClick(p.tabMain(), Qt::Key_Left);
        QCOMPARE(p.tabMain()->currentIndex(), 0);
        QCOMPARE(FrontPane(p), p.pctCheck());
        QVERIFY(p.pctCheck()->isEnabled());
        QVERIFY(!p.pctSetting()->isEnabled());
        QCOMPARE(p.LastIndex(), qint16(1));
        QCOMPARE(p.Items().at(0).Title, u"B"_s);
        QCOMPARE(p.Items().at(1).Title, u"C"_s);
        QCOMPARE(p.lstCheck()->count(), 0);
        QTRY_COMPARE(server->hits(u"/changed"_s), 1);
        QTRY_COMPARE(server->hits(u"/hang"_s), 2);
        QCOMPARE(p.CurrentIndex(), qint16(1));
    }

    void checkTabWithEmptyFolderKeepsResults()
    {
        AddItem(u"A"_s, u"/changed"_s);
        frmMain w;
        frmMainProbe p(w);
        QTRY_COMPARE(w.windowTitle(), u"更新されているページがあります。"_s);
        p.tabMain()->setCurrentIndex(1);
        QVERIFY(QFile::remove(items + u"A.url"_s));
        p.tabMain()->setCurrentIndex(0);
        QCOMPARE(w.windowTitle(), u"アイテムが1つもありません。"_s);
        QCOMPARE(p.LastIndex(), qint16(-1));
        QCOMPARE(p.Items().size(), 1);
        QCOMPARE(Lines(p.lstCheck()), QStringList{u"A"_s});
        QCOMPARE(CheckPaneEnabled(p), u"list:on save:on browse:on skip:off exit:on orlan:on"_s);
        QCOMPARE(server->hits(u"/changed"_s), 1);
    }

    void missingItemFolder_data()
    {
        QTest::addColumn<bool>("fileInPlace"); // a file stands where the folder should be
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << false << u"が見つかりません"_s;
        QTest::newRow("a file in its place") << true << u"フォルダでないもの"_s;
    }
    // The start says only what the caption says; the Setting pane tells why in itself, with
    // no box, for as long as the folder stays broken.
    void missingItemFolder()
    {
        QFETCH(bool, fileInPlace);
        QFETCH(QString, reason);
        QVERIFY(QDir(items).removeRecursively());
        if (fileInPlace)
            WriteAll(items.chopped(1), "not a folder");
        frmMain w;
        frmMainProbe p(w);
        auto* notice = w.findChild<QLabel*>(u"lblSettingNotice"_s);
        QCOMPARE(w.windowTitle(), u"アイテムが1つもありません。"_s);
        p.tabMain()->setCurrentIndex(1);
        QCOMPARE(p.lstSetting()->count(), 0);
        QCOMPARE(w.windowTitle(), u"設定"_s);
        QVERIFY(capture->messages.isEmpty());
        QVERIFY(!notice->isHidden());
        QVERIFY2(notice->text().contains(items) && notice->text().contains(reason) &&
                     notice->text().contains(u"オプション設定"_s),
                 qPrintable(notice->text()));
        // Mended: the notice goes.
        QFile::remove(items.chopped(1));
        QVERIFY(QDir().mkpath(items));
        p.tabMain()->setCurrentIndex(0);
        p.tabMain()->setCurrentIndex(1);
        QVERIFY(notice->isHidden());
        QVERIFY(capture->messages.isEmpty());
    }

    void closeCancelsTheRun()
    {
        AddItem(u"A"_s, u"/hang"_s);
        AddItem(u"B"_s, u"/changed"_s);
        frmMain w;
        frmMainProbe p(w);
        QSignalSpy unloaded(&w, &frmMain::Unloaded);
        w.show();
        QTRY_COMPARE(server->hits(u"/hang"_s), 1);
        QVERIFY(w.close());
        QVERIFY(p.unloaded());
        QCOMPARE(unloaded.size(), 1);
        QVERIFY(!w.isVisible());
        QTest::qWait(300);
        QCOMPARE(server->hits(u"/changed"_s), 0);
        QCOMPARE(unloaded.size(), 1);
        // Nothing is written on the way out.
        QCOMPARE(QFile(items + u"A.url"_s).size(),
                 ItemFileBytes(server->url(u"/hang"_s), "0").size());
        QVERIFY(!QFile::exists(program->ini()));
    }

    // The help file opens through the desktop's opener; a missing file or a viewer that
    // fails is told.
    void help_data()
    {
        QTest::addColumn<bool>("file");
        QTest::addColumn<int>("exitCode"); // of the opener
        QTest::addColumn<QString>("message");
        QTest::newRow("no help file") << false << 0 << u"見つかりません"_s;
        QTest::newRow("opened") << true << 0 << QString();
        QTest::newRow("no viewer") << true << 3 << u"終了コード 3"_s;
    }
    void help()
    {
        QFETCH(bool, file);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        opener.clear();
        opener.setExitCode(exitCode);
        frmMain w;
        frmMainProbe p(w);
        const QString readme = program->path() + u"readme.txt"_s;
        const QString cwd = QDir::currentPath();
        QVERIFY(QDir::setCurrent(QDir::tempPath()));
        if (file)
            WriteAll(readme, "help");

        p.cmdHelp()->click();
        QVERIFY(QDir::setCurrent(cwd));
        const QStringList tried =
            file ? QStringList{QUrl::fromLocalFile(readme).toString(QUrl::FullyEncoded)}
                 : QStringList();
        QTRY_COMPARE(opener.opened(), tried);
        if (message.isEmpty()) {
            QTest::qWait(100);
            QVERIFY(capture->messages.isEmpty());
            return;
        }
        QTRY_COMPARE(capture->messages.size(), 1);
        QVERIFY(capture->messages.first().contains(QDir::toNativeSeparators(readme)));
        QVERIFY(capture->messages.first().contains(message));
    }
};

QTEST_MAIN(tst_frmMain_Shell)
#include "tst_frmMain_Shell.moc"
