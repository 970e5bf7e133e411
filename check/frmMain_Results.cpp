// The end of a check run, the results actions and the page viewer.
#include "app/Module1.h"
#include "app/MsgBox.h"
#include "app/frmMain.h"
#include "check/WebAddress.h"

#include <QAction>
#include <QApplication>
#include <QAudioDevice>
#include <QDesktopServices>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QToolBar>
#include <QUrl>

using namespace Qt::StringLiterals;

void frmMain::FinishCheck()
{
    if (lstCheck->count() == 0) {
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
    // Each failed write has been reported; the window stays so that the user can retry.
    bool allWritten = true;
    const QList<ItemRecord> results = Results;
    for (const ItemRecord& result : results)
        allWritten = WriteItemFile(result) && allWritten;
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
    if (!OpenInBrowser(Results.at(line).URL))
        return;
    SaveResults();
}

void frmMain::ExitApp()
{
    Unload();
}

bool frmMain::OpenInBrowser(const QString& URL)
{
    const QString caption = windowTitle();
    const bool hadCursor = testAttribute(Qt::WA_SetCursor);
    const QCursor previousCursor = cursor();
    setCursor(Qt::WaitCursor);
    setWindowTitle(u"IEを起動中..."_s);
    const QUrl address = WebAddress(URL);
    setWindowTitle(u"ページをロード中..."_s);
    const bool opened = address.isValid() && QDesktopServices::openUrl(address);
    if (hadCursor)
        setCursor(previousCursor);
    else
        unsetCursor();
    setWindowTitle(caption);
    if (!opened)
        MsgBox(u"ブラウザを起動できませんでした。\n"_s + URL, this);
    return opened;
}
