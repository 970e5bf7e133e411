// The check run: one transfer at a time on Inet1, advanced from its state events.
#include "app/Module1.h"
#include "app/frmMain.h"
#include "check/Inet.h"
#include "check/KeptPages.h"
#include "check/RunResults.h"

#include <QAction>
#include <QListWidget>
#include <QTimer>
#include <QToolBar>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace
{

// How long a changed page waits at most before its line is shown.
constexpr int CheckListFillMs = 100;

RunResults::Response CompletedResponse(Inet& inet)
{
    RunResults::Response response{.lastModified = inet.GetHeader(u"Last-modified"_s),
                                  .firstBlock = {},
                                  .contentType = inet.GetHeader(u"Content-Type"_s).toUtf8(),
                                  .body = inet.Body(),
                                  .status = inet.Status()};
    // The body is read as text only on the size path, and only its first block.
    if (response.lastModified.isEmpty())
        response.firstBlock = inet.GetChunk(Inet::MaxBodyBytes);
    return response;
}

} // namespace

void frmMain::CheckItem()
{
    if (!pctCheck->isEnabled())
        return;
    if (CurrentIndex < 0 || CurrentIndex >= Items.size())
        return; // nothing to request; the run waits for Skip
    const ItemRecord& item = Items.at(CurrentIndex);
    setWindowTitle(ProgressCaption(u"実行"_s, item.Title));
    Inet1->Execute(item.URL);
    if (Connections > 1) {
        QStringList ahead;
        for (int i = CurrentIndex + 1; i <= LastIndex && ahead.size() < Connections - 1; ++i)
            ahead << Items.at(i).URL;
        Inet1->SetAhead(ahead);
    }
}

void frmMain::SkipItem()
{
    tbrCheckButton(3)->setEnabled(false);
    // The run goes on with the next items, whose requests fetched ahead stay.
    CancelTransfer(Ahead::Keep);
    tbrCheckButton(3)->setEnabled(true);
    Advance();
}

void frmMain::CancelTransfer(Ahead ahead)
{
    setWindowTitle(ProgressCaption(u"取消"_s));
    pctCheck->setEnabled(false);
    pctSetting->setEnabled(false);
    Inet1->Cancel();
    if (ahead == Ahead::End)
        Inet1->CancelAhead();
    pctCheck->setEnabled(true);
    pctSetting->setEnabled(true);
}

void frmMain::Advance()
{
    if (CurrentIndex < LastIndex) {
        CurrentIndex = static_cast<qint16>(CurrentIndex + 1);
        CheckItem();
    } else {
        // Every item had its turn: the pages of URLs no item has can go.
        runResults->Kept().CatalogueRunEnded();
        FinishCheck();
    }
}

void frmMain::Inet1_StateChanged(int State)
{
    if (State == Inet::icResponseCompleted) {
        CompareResponse();
        return;
    }
    if (State == Inet::icError) {
        if (CurrentIndex >= 0 && CurrentIndex < Items.size()) {
            ItemRecord& item = Items[CurrentIndex];
            runResults->Failed(item, Inet1->ResponseInfo());
            // A failed write is told once at the end of the run; no box stops it here.
            QStringList failed;
            WriteItemFile(item, failed);
            runResults->WriteFailed(failed);
        }
        SkipItem();
        return;
    }
    const QString status = Inet::StatusText(State);
    if (!status.isEmpty() && !lstCheck->isEnabled() && pctCheck->isEnabled() && CurrentIndex >= 0 &&
        CurrentIndex < Items.size())
        setWindowTitle(ProgressCaption(status, Items.at(CurrentIndex).Title));
}

void frmMain::CompareResponse()
{
    if (!pctCheck->isEnabled())
        return;
    if (CurrentIndex >= 0 && CurrentIndex < Items.size()) {
        ItemRecord& item = Items[CurrentIndex];
        const RunResults::Outcome outcome = runResults->Completed(item, CompletedResponse(*Inet1));
        if (outcome == RunResults::Outcome::Failed || outcome == RunResults::Outcome::Recovered) {
            // Written at once, as a failed transfer is; a failed write is told at the end.
            QStringList failed;
            WriteItemFile(item, failed);
            runResults->WriteFailed(failed);
        } else if (outcome == RunResults::Outcome::Changed) {
            Results.resize(runResults->Count());
            Results.last() = item;
            // The lines are added in batches: one each would lay the list out again each time.
            if (!checkListDue) {
                checkListDue = true;
                QTimer::singleShot(CheckListFillMs, this, &frmMain::FillCheckList);
            }
        }
    }
    Advance();
}

void frmMain::FillCheckList()
{
    checkListDue = false;
    for (qsizetype i = lstCheck->count(); i < std::min(Results.size(), runResults->Count()); ++i) {
        auto* line = new QListWidgetItem(Results.at(i).Title);
        const QString tells = runResults->ToolTip(i);
        line->setToolTip(tells);
        line->setData(Qt::AccessibleDescriptionRole, tells);
        lstCheck->addItem(line);
    }
}
