#pragma once
// Lets tests reach the main window's private controls, state and procedures.
#include "app/frmMain.h"
#include "check/KeptPages.h"
#include "check/RunResults.h"

#include <QSignalSpy>
#include <QTest>

// The caption of a run that ended with changed pages.
inline const QString FinishedCaption = QStringLiteral("更新されているページがあります。");

// Waits until the run has ended: the window unloaded or the results are shown.
inline bool WaitForRunEnd(const frmMain& window, const QSignalSpy& unloaded, int timeoutMs = 15000)
{
    return QTest::qWaitFor(
        [&] { return unloaded.count() > 0 || window.windowTitle() == FinishedCaption; }, timeoutMs);
}

struct frmMainProbe {
    explicit frmMainProbe(frmMain& window) : w(window) {}
    frmMain& w;

    // controls
    QTabBar* tabMain() const { return w.tabMain; }
    QWidget* pctCheck() const { return w.pctCheck; }
    QListWidget* lstCheck() const { return w.lstCheck; }
    QPlainTextEdit* txtChange() const { return w.txtChange; }
    QToolBar* tbrCheck() const { return w.tbrCheck; }
    QWidget* pctSetting() const { return w.pctSetting; }
    QListWidget* lstSetting() const { return w.lstSetting; }
    QToolBar* tbrSetting() const { return w.tbrSetting; }
    QToolButton* cmdHelp() const { return w.cmdHelp; }
    QLabel* lblOrlan() const { return w.lblOrlan; }
    Inet* Inet1() const { return w.Inet1; }
    QAction* tbrCheckButton(int index) const { return w.tbrCheckButton(index); }
    QAction* tbrSettingButton(int index) const { return w.tbrSettingButton(index); }

    // state
    QList<ItemRecord>& Items() const { return w.Items; }
    qint16& LastIndex() const { return w.LastIndex; }
    qint16& CurrentIndex() const { return w.CurrentIndex; }
    QList<ItemRecord>& Results() const { return w.Results; }
    qint16& ExitAfterSave() const { return w.ExitAfterSave; }
    qint16& CompareText() const { return w.CompareText; }
    std::unique_ptr<RunResults>& runResults() const { return w.runResults; }
    QString& FolderPath() const { return w.FolderPath; }
    bool unloaded() const { return w.unloaded; }

    // handlers and procedures
    void tabMain_BeforeClick(int newIndex) const { w.tabMain_BeforeClick(newIndex); }
    void tbrCheck_ButtonClick(QAction* a) const { w.tbrCheck_ButtonClick(a); }
    void tbrSetting_ButtonClick(QAction* a) const { w.tbrSetting_ButtonClick(a); }
    void lstCheck_DblClick() const { w.lstCheck_DblClick(); }
    void lstSetting_DblClick() const { w.lstSetting_DblClick(); }
    void lstSetting_OLEDragDrop(const QMimeData* data) const { w.lstSetting_OLEDragDrop(data); }
    void Inet1_StateChanged(int state) const { w.Inet1_StateChanged(state); }
    void lblOrlan_Click() const { w.lblOrlan_Click(); }
    void LoadItems() const { w.LoadItems(); }
    void RefreshSettingList() const { w.RefreshSettingList(); }
    void ShowCheckPane() const { w.ShowCheckPane(); }
    void ShowSettingPane() const { w.ShowSettingPane(); }
    void SkipItem() const { w.SkipItem(); }
    void CancelTransfer() const { w.CancelTransfer(); }
    void SaveResults() const { w.SaveResults(); }
    void BrowseResult() const { w.BrowseResult(); }
    bool OpenInBrowser(const QString& url) const { return w.OpenInBrowser(url); }
    void NewItem() const { w.NewItem(); }
    void EditItem() const { w.EditItem(); }
    void DeleteItem() const { w.DeleteItem(); }
    void ShowOptions() const { w.ShowOptions(); }
};
