// The end of a check run, the results actions and the page viewer.
#include "app/DesktopNotifier.h"
#include "app/Module1.h"
#include "app/MsgBox.h"
#include "app/frmMain.h"
#include "check/BrowserLauncher.h"
#include "check/RunResults.h"
#include "check/WebAddress.h"

#include <QAction>
#include <QApplication>
#include <QAudioDevice>
#include <QDesktopServices>
#include <QEventLoop>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMediaDevices>
#include <QPlainTextEdit>
#include <QSoundEffect>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QToolBar>
#include <QUrl>

using namespace Qt::StringLiterals;

void frmMain::FinishCheck()
{
    FillCheckList();
    const bool hidden = hiddenRun;
    // No display to show the list on: the notification tells the changes, nothing is saved.
    if (lstCheck->count() == 0 || (hidden && !display)) {
        NotifyRunEnd(hidden);
        // Told before the window closes: the one wait of an unattended run, not one per item.
        ReportRunWriteFailures();
        Unload();
        return;
    }
    PlayAlert();
    lstCheck->setEnabled(true);
    tbrCheckButton(1)->setEnabled(true);
    tbrCheckButton(2)->setEnabled(true);
    tbrCheckButton(3)->setEnabled(false);
    setWindowTitle(u"更新されているページがあります。"_s);
    lblOrlan->setEnabled(true);
    ShowChange();
    if (hidden) {
        hiddenRun = false;
        show();
        raise();
        activateWindow();
    }
    NotifyRunEnd(hidden);
    ReportRunWriteFailures();
}

void frmMain::ReportRunWriteFailures()
{
    QStringList failed = runResults->TakeWriteFailures();
    ReportWriteFailures(failed);
    runResults->WriteFailed(failed); // not told while hidden: the Setting pane tells them
}

void frmMain::NotifyRunEnd(bool hidden)
{
    auto notice = runResults->EndNotice(hidden);
    if (!notice)
        return;
    if (!display && lstCheck->count() > 0)
        notice->body += u"\n\nSiteVigil を開くと一覧が表示されます。"_s;
    // Without a window, choosing the notification could open nothing.
    notifier->Send(notice->summary, notice->body, display);
}

void frmMain::ShowChange()
{
    const QList<QListWidgetItem*> selected = lstCheck->selectedItems();
    const QList<DiffLine> lines =
        runResults->Report(selected.isEmpty() ? -1 : lstCheck->row(selected.first()));
    // Colour only adds to the signs, which stay for screen readers and colour-blind users.
    txtChange->clear();
    QTextCursor cursor(txtChange->document());
    cursor.beginEditBlock();
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QTextCharFormat format;
        if (lines.at(i).kind == DiffLine::Removed)
            format.setForeground(QColor(0xb0, 0x00, 0x00));
        else if (lines.at(i).kind == DiffLine::Added)
            format.setForeground(QColor(0x00, 0x70, 0x00));
        else if (lines.at(i).kind == DiffLine::Gap)
            format.setForeground(QColor(0x70, 0x70, 0x70));
        if (i > 0)
            cursor.insertBlock();
        cursor.insertText(lines.at(i).text, format);
    }
    cursor.endEditBlock();
    txtChange->moveCursor(QTextCursor::Start);
}

// Starts the alert and returns at once; a sound that cannot be played becomes a beep.
void frmMain::PlayAlert()
{
    const QString path = AppFolder() + u"alert.wav"_s;
    if (!QFileInfo(path).isFile() || QMediaDevices::defaultAudioOutput().isNull()) {
        QApplication::beep();
        return;
    }
    if (!alertSound) {
        alertSound = new QSoundEffect(this);
        connect(alertSound, &QSoundEffect::statusChanged, this, [this] {
            if (alertSound->status() == QSoundEffect::Error)
                QApplication::beep();
        });
    }
    // Loaded afresh each time, so a replaced file is the one that plays.
    alertSound->setSource(QUrl());
    alertSound->setSource(QUrl::fromLocalFile(path));
    alertSound->play();
}

void frmMain::tbrCheck_ButtonClick(QAction* Button)
{
    if (!Button)
        return;
    const QString key = Button->objectName();
    if (key == u"Save"_s)
        SaveResults();
    else if (key == u"Browse"_s)
        BrowseResult();
    else if (key == u"Skip"_s)
        SkipItem();
    else if (key == u"Exit"_s)
        ExitApp();
}

void frmMain::lstCheck_DblClick()
{
    BrowseResult();
}

void frmMain::SaveResults()
{
    // Nothing was ever found (the toolbar's first state with an empty folder): nothing to do.
    if (Results.isEmpty())
        return;
    // The failed writes are told at once; the window then stays so that the user can retry.
    QStringList failures;
    const QList<ItemRecord> results = Results;
    for (qsizetype i = 0; i < results.size(); ++i) {
        if (WriteItemFile(results.at(i), failures))
            runResults->Accept(i);
    }
    const bool allWritten = failures.isEmpty();
    ReportWriteFailures(failures);
    if (ExitAfterSave != 0 && allWritten)
        Unload();
}

void frmMain::BrowseResult()
{
    const QList<QListWidgetItem*> selected = lstCheck->selectedItems();
    if (selected.isEmpty())
        return;
    const int line = lstCheck->row(selected.first());
    if (line < 0 || line >= Results.size())
        return;
    const quint32 run = runResults->RunNumber();
    if (!OpenInBrowser(Results.at(line).URL))
        return;
    // While the browser started, a new run may have begun (or the Check pane been left:
    // OpenInBrowser then answers false): its results are not these.
    if (run == runResults->RunNumber() && pctCheck->isEnabled())
        SaveResults();
}

void frmMain::ExitApp()
{
    Unload();
}

bool frmMain::OpenInBrowser(const QString& URL)
{
    if (browsing)
        return false;
    const QString caption = windowTitle();
    const bool hadCursor = testAttribute(Qt::WA_SetCursor);
    const QCursor previousCursor = cursor();
    setCursor(Qt::WaitCursor);
    setWindowTitle(ProgressCaption(u"IEを起動"_s));
    const QUrl address = WebAddress(URL);
    const QString loading = ProgressCaption(u"ページをロード"_s);
    setWindowTitle(loading);

    bool opened = false;
    QString why;
    const bool usable = address.isValid() && !address.isEmpty();
    if (usable && BrowserLauncher::OpenerProgram().isEmpty()) {
        opened = QDesktopServices::openUrl(address);
    } else if (usable) {
        // The window stays responsive while the opener is watched; closing it ends the wait.
        browsing = true;
        browseEnded = false;
        QEventLoop wait;
        browseWait = &wait;
        BrowserLauncher launcher;
        connect(&launcher, &BrowserLauncher::Finished, &wait, [&](bool ok, const QString& message) {
            opened = ok;
            why = message;
            wait.quit();
        });
        connect(this, &frmMain::Unloaded, &wait, &QEventLoop::quit);
        launcher.Open(address);
        wait.exec();
        browseWait = nullptr;
        browsing = false;
    }

    if (hadCursor)
        setCursor(previousCursor);
    else
        unsetCursor();
    // A caption set meanwhile (the Setting pane shown) is not overwritten.
    if (windowTitle() == loading)
        setWindowTitle(caption);
    if (unloaded || browseEnded)
        return false;
    if (!opened)
        MsgBox(u"ブラウザを起動できませんでした。\n"_s + URL +
                   (why.isEmpty() ? QString() : u"\n"_s + why),
               this);
    return opened;
}
