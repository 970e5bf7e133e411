#pragma once
// The main window. Its state and every handler and procedure are declared here; the
// member functions live in the folder of their subsystem:
//   app/frmMain.cpp               start-up, LoadItems, RefreshSettingList, panes, help, unload
//   app/frmMain_Controls.cpp      the list, link label and toolbar widgets the window is built of
//   check/frmMain_CheckRun.cpp    CheckItem, SkipItem, CancelTransfer, Inet1_StateChanged,
//                                 CompareResponse
//   check/frmMain_Results.cpp     FinishCheck, the results actions, OpenInBrowser, the
//                                 change view
//   store/frmMain_SettingPane.cpp NewItem, EditItem, DeleteItem, ShowOptions, drop and paste
// Handlers named after a control and its event stay short and call the procedures.
// Who owns what: the window owns its controls, the catalogue (Items, LastIndex, CurrentIndex),
// the changed lines (Results), the options it read and the start mode; what a run found (the
// pages behind the lines, errors, failed writes, run number, kept pages) is one RunResults,
// which also decides each completed response. Inet owns the requests.
#include "app/StartOptions.h"
#include "store/ItemFileStamp.h"
#include "store/ItemRecord.h"
#include <QIcon>
#include <QList>
#include <QMainWindow>
#include <QStringList>
#include <memory>

class DesktopNotifier;
class Inet;
class QPlainTextEdit;
class QAction;
class QEventLoop;
class QLabel;
class QListWidget;
class QMimeData;
class QSoundEffect;
class QTabBar;
class QToolBar;
class QToolButton;
class QUrl;
class QWidget;
class RunResults;
struct WebLinks;

class frmMain final : public QMainWindow
{
    Q_OBJECT
public:
    // Builds the window and runs Form_Load, which starts the first check run.
    explicit frmMain(QWidget* parent = nullptr);
    // The same for a start the command line chose: Settings opens on the Setting tab with no
    // run; Background keeps the window hidden until a run's results are shown.
    explicit frmMain(StartMode mode, QWidget* parent = nullptr);
    // Background with no display to show a window on: a run with changes ends with the
    // notification alone.
    frmMain(StartMode mode, bool display, QWidget* parent = nullptr);
    ~frmMain() override;

    // The run's desktop notification, which the program lets arrive before it ends.
    const DesktopNotifier* Notifier() const { return notifier; }

    static QString HomePageUrl();

signals:
    // The window has unloaded: the program ends.
    void Unloaded();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    friend struct frmMainProbe; // tests

    // --- controls
    QTabBar* tabMain = nullptr;
    QWidget* pctCheck = nullptr;
    QListWidget* lstCheck = nullptr;
    QPlainTextEdit* txtChange = nullptr; // what changed on the selected page
    QToolBar* tbrCheck = nullptr;
    QWidget* pctSetting = nullptr;
    QListWidget* lstSetting = nullptr;
    QToolBar* tbrSetting = nullptr;
    QToolButton* cmdHelp = nullptr;
    QLabel* lblOrlan = nullptr;
    // Above the Setting list: why the item folder cannot be listed, and what a stopped run
    // failed to write; hidden when there is nothing to tell.
    QLabel* lblSettingNotice = nullptr;
    Inet* Inet1 = nullptr;
    QList<QIcon> imlCheck;
    QList<QIcon> imlSetting;
    QSoundEffect* alertSound = nullptr;
    DesktopNotifier* notifier = nullptr;

    // --- state
    QList<ItemRecord> Items{ItemRecord{}};
    qint16 LastIndex = -1;
    qint16 CurrentIndex = 0;
    QList<ItemRecord> Results;
    qint16 ExitAfterSave = 1;
    qint16 Connections = 1; // pages fetched at once; 1 is one request after the other
    qint16 CompareText = 0; // 1: a change is decided by the text of the page
    QString FolderPath;
    bool unloaded = false;
    StartMode startMode = StartMode::Normal;
    // A background run whose window has not appeared: no message box may open meanwhile.
    bool hiddenRun = false;
    bool display = true;              // false: no window can ever be shown
    bool browsing = false;            // a page is being opened; another Browse waits for it
    QEventLoop* browseWait = nullptr; // that opening's wait; leaving the Check pane ends it
    bool browseEnded = false;
    // What LoadItems read of each item file: the run writes none that changed since. The
    // Setting pane clears them, for the user's own edits win.
    ItemFileStamps itemStamps;
    bool checkListDue = false; // FillCheckList is queued
    // What the run found: line i of lstCheck is its line i; also the accepted pages.
    std::unique_ptr<RunResults> runResults;
    bool baselinesNoticed = false; // the Setting pane told that the baselines exceed the cap

    // Toolbar buttons by their 1-based position.
    QAction* tbrCheckButton(int index) const;
    QAction* tbrSettingButton(int index) const;

    void CreateControls();
    void CreateShortcuts();
    // Selects the tab step places further on, wrapping, as a click on it would.
    void SwitchTab(int step);
    void Unload();
    // The one unload sequence of Unload and the close box: Form_Unload, then Unloaded, once.
    void UnloadOnce();

    // --- handlers
    void Form_Load();
    void Form_Unload();
    void tabMain_BeforeClick(int newIndex);
    void tbrCheck_ButtonClick(QAction* Button);
    void tbrSetting_ButtonClick(QAction* Button);
    void lstCheck_DblClick();
    void lstSetting_DblClick();
    void lstSetting_OLEDragDrop(const QMimeData* Data);
    void Inet1_StateChanged(int State);
    void cmdHelp_Click();
    void lblOrlan_Click();

    // --- start-up and panes (app/frmMain.cpp)
    void LoadItems();
    void RefreshSettingList();
    void ShowCheckPane();
    void ShowSettingPane();

    // --- item files through FolderPath; a failed write adds a line naming the item and why
    // to failures, and ReportWriteFailures tells them all in one message box
    ItemRecord ReadItemFile(const QByteArray& fileName) const;
    bool WriteItemFile(const ItemRecord& item, QStringList& failures);
    void ReportWriteFailures(QStringList& failures);

    // --- check run (check/)
    void CheckItem();
    void SkipItem();
    // Ends the transfer in progress and, unless told to keep them, the requests fetched ahead.
    enum class Ahead { End, Keep };
    void CancelTransfer(Ahead ahead = Ahead::End);
    void Advance();
    void CompareResponse();
    // Adds the lines of lstCheck that Results holds beyond it, in one go.
    void FillCheckList();
    void FinishCheck();
    // Fills txtChange for the selected line of lstCheck, or with the run's errors.
    void ShowChange();
    void PlayAlert();
    // The desktop notification at the end of a run (see FinishCheck).
    void NotifyRunEnd(bool hidden);
    // The run's failed writes in one box; while hidden they stay for the Setting pane.
    void ReportRunWriteFailures();
    void SaveResults();
    // The results' context menus: one page accepted, a part of the change ignored.
    void CreateResultActions();
    // An action of owner for its context menu, disabled until a selection allows it.
    QAction* AddMenuAction(QWidget* owner, const QString& caption, const QString& name,
                           void (frmMain::*slot)());
    // Writes the selected line's item and keeps its page, as Save does for all; the line leaves.
    void AcceptPage();
    // Adds the text selected in the change view, as it stands, to the line's Ignore rules.
    void IgnoreSelectedChange();
    // That text without the diff's sign; empty when nothing but blanks is selected.
    QString SelectedChangeText() const;
    // The selected line of lstCheck that has a result, or -1.
    int SelectedResultLine() const;
    void BrowseResult();
    void ExitApp();
    // False, after a message, when no browser opened. The opener is watched in a local event
    // loop: the window answers meanwhile, and a second call while one waits returns false.
    bool OpenInBrowser(const QString& URL);
    // The page opened: by the desktop, or by the opener program watched until it answers.
    bool LaunchBrowser(const QUrl& address, QString& why);
    bool WaitForOpener(const QUrl& address, QString& why);

    // --- Setting pane (store/)
    void NewItem();
    void EditItem();
    // Shows the item dialog filled from shown, writes what it holds on OK, refreshes the list.
    void ShowItemDialog(const ItemRecord& shown);
    void DeleteItem();
    void ShowOptions();
    // Ctrl+V and the list's context menu: the clipboard taken as a drop.
    void CreatePasteAction();
    // The list's context menu entry for the selected item's rules of the text decision.
    void CreateFilterRulesAction();
    void EditFilterRules();
    void lstSetting_Paste();
    // Writes each link as NewItem writes a new item; failures get the links not taken. The
    // titles of the items written or found already holding the link.
    QStringList WriteWebLinks(const WebLinks& links, QStringList& failures);
    // Selects the lines of these titles, the first as the current one.
    void SelectTitles(const QStringList& titles);
};
