// The end of a check run, the results actions and the page viewer.
#include "app/DesktopNotifier.h"
#include "app/Module1.h"
#include "app/MsgBox.h"
#include "app/frmMain.h"
#include "check/BrowserLauncher.h"
#include "check/RunResults.h"
#include "check/WebAddress.h"
#include "store/FilterRules.h"

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
#include <QSignalBlocker>
#include <QSoundEffect>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QToolBar>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace
{

// The wait cursor and the starting captions while a page opens; the window's own come back
// after, unless a caption was set meanwhile (the Setting pane shown).
class BrowseCaptions final
{
public:
    explicit BrowseCaptions(QWidget& window)
        : window_(window), caption_(window.windowTitle()),
          hadCursor_(window.testAttribute(Qt::WA_SetCursor)), cursor_(window.cursor())
    {
        window.setCursor(Qt::WaitCursor);
        window.setWindowTitle(ProgressCaption(u"IEを起動"_s));
        window.setWindowTitle(loading_);
    }
    ~BrowseCaptions()
    {
        if (hadCursor_)
            window_.setCursor(cursor_);
        else
            window_.unsetCursor();
        if (window_.windowTitle() == loading_)
            window_.setWindowTitle(caption_);
    }
    BrowseCaptions(const BrowseCaptions&) = delete;
    BrowseCaptions& operator=(const BrowseCaptions&) = delete;

private:
    QWidget& window_;
    const QString caption_;
    const bool hadCursor_;
    const QCursor cursor_;
    const QString loading_ = ProgressCaption(u"ページをロード"_s);
};

} // namespace

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
    const QList<DiffLine> lines = runResults->Report(SelectedResultLine());
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
        cursor.block().setUserState(lines.at(i).kind); // where a sign begins the line
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

void frmMain::CreateResultActions()
{
    QAction* accept =
        AddMenuAction(lstCheck, u"このページだけ保存(&A)"_s, u"AcceptPage"_s, &frmMain::AcceptPage);
    lstCheck->setContextMenuPolicy(Qt::ActionsContextMenu);
    // The change view builds its own menu, with these actions after the usual entries.
    QAction* ignore = AddMenuAction(txtChange, u"この部分の変化を無視(&I)"_s, u"IgnoreChange"_s,
                                    &frmMain::IgnoreSelectedChange);

    const auto update = [this, accept, ignore] {
        const bool line = !lstCheck->selectedItems().isEmpty();
        accept->setEnabled(line);
        ignore->setEnabled(line && !SelectedChangeText().isEmpty());
    };
    connect(lstCheck, &QListWidget::itemSelectionChanged, this, update);
    connect(txtChange, &QPlainTextEdit::selectionChanged, this, update);
}

void frmMain::AcceptPage()
{
    const int line = SelectedResultLine();
    if (line < 0 || !lstCheck->isEnabled())
        return;
    QStringList failures;
    if (!WriteItemFile(Results.at(line), failures)) {
        ReportWriteFailures(failures); // the line stays for another try
        return;
    }
    runResults->Accept(line);
    runResults->Remove(line);
    Results.removeAt(line);
    {
        // The lines and the results agree again before the view asks for the next one.
        const QSignalBlocker block(lstCheck);
        delete lstCheck->takeItem(line);
        if (lstCheck->count() > 0)
            lstCheck->setCurrentRow(std::min(line, lstCheck->count() - 1));
    }
    if (lstCheck->count() == 0) {
        // Every change has been saved, page by page: what Save of them all would have done.
        if (ExitAfterSave != 0) {
            Unload();
            return;
        }
        tbrCheckButton(1)->setEnabled(false);
        tbrCheckButton(2)->setEnabled(false);
        setWindowTitle(u"更新されているページはありません。"_s);
    }
    emit lstCheck->itemSelectionChanged();
}

QString frmMain::SelectedChangeText() const
{
    const QTextCursor cursor = txtChange->textCursor();
    if (!cursor.hasSelection())
        return {};
    int start = cursor.selectionStart();
    const QTextBlock block = txtChange->document()->findBlock(start);
    const int kind = block.userState();
    // The sign is the view's, not the page's.
    if (start == block.position() &&
        (kind == DiffLine::Removed || kind == DiffLine::Added || kind == DiffLine::Context))
        ++start;
    if (start >= cursor.selectionEnd())
        return {};
    QTextCursor text(txtChange->document());
    text.setPosition(start);
    text.setPosition(cursor.selectionEnd(), QTextCursor::KeepAnchor);
    return text.selectedText().trimmed();
}

int frmMain::SelectedResultLine() const
{
    const QList<QListWidgetItem*> selected = lstCheck->selectedItems();
    const int line = selected.isEmpty() ? -1 : lstCheck->row(selected.first());
    return line < Results.size() ? line : -1;
}

void frmMain::IgnoreSelectedChange()
{
    const int line = SelectedResultLine();
    if (line < 0)
        return;
    const ItemRecord& item = Results.at(line);
    QString why;
    const QString pattern = LiteralIgnorePattern(SelectedChangeText(), &why);
    if (pattern.isEmpty()) {
        MsgBox(why, this);
        return;
    }
    FilterRules rules = ReadFilterRules(FolderPath, item.FileName);
    if (rules.ignore.contains(pattern)) {
        MsgBox(u"「%1」の判定ルールには、すでに次の行があります。\n\nIgnore=%2"_s.arg(item.Title,
                                                                                      pattern),
               this);
        return;
    }
    if (!MsgBoxYesNo(u"「%1」の判定ルールに次の行を加えます。\n\nIgnore=%2\n\n次のチェックから、"
                     u"この文字に一致する部分の変化は無視されます。よろしいですか?"_s.arg(
                         item.Title, pattern),
                     this))
        return;
    rules.ignore.append(pattern);
    const FileResult result = WriteFilterRules(FolderPath, item.FileName, rules);
    if (!result.ok) {
        QStringList failures{u"「%1」\n    %2"_s.arg(item.Title, result.message)};
        ReportWriteFailures(failures);
    }
}

void frmMain::BrowseResult()
{
    const int line = SelectedResultLine();
    if (line < 0)
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
    QString why;
    bool opened = false;
    {
        const BrowseCaptions shown(*this);
        opened = LaunchBrowser(WebAddress(URL), why);
    }
    if (unloaded || browseEnded)
        return false;
    if (!opened)
        MsgBox(u"ブラウザを起動できませんでした。\n"_s + URL +
                   (why.isEmpty() ? QString() : u"\n"_s + why),
               this);
    return opened;
}

bool frmMain::LaunchBrowser(const QUrl& address, QString& why)
{
    if (!address.isValid() || address.isEmpty())
        return false;
    if (BrowserLauncher::OpenerProgram().isEmpty())
        return QDesktopServices::openUrl(address);
    return WaitForOpener(address, why);
}

bool frmMain::WaitForOpener(const QUrl& address, QString& why)
{
    // The window stays responsive while the opener is watched; closing it ends the wait.
    bool opened = false;
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
    return opened;
}
