// The check run: one transfer at a time on Inet1, advanced from its state events.
#include "app/Module1.h"
#include "app/frmMain.h"
#include "check/ChangeDecision.h"
#include "check/ErrorInfo.h"
#include "check/Inet.h"
#include "check/KeptPages.h"

#include <QAction>
#include <QListWidget>
#include <QToolBar>
#include <QWidget>

using namespace Qt::StringLiterals;

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
            runErrors.append({item.Title, item.URL, Inet1->ResponseInfo()});
            item.Info = ErrorInfo(Inet1->ResponseInfo());
            // A failed write is told once at the end of the run; no box stops it here.
            WriteItemFile(item, runWriteFailures);
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
        const QString header = Inet1->GetHeader(u"Last-modified"_s);
        // The body is read only on the size path, and only its first block.
        const QString body = header.isEmpty() ? Inet1->GetChunk(Inet::MaxBodyBytes) : QString();
        const ChangeDecision decision = DecideChange(header, body, Items.at(CurrentIndex));
        // The bytes the decision measured, for the change view and the kept page.
        const KeptPage page{Items.at(CurrentIndex).URL,
                            Inet1->GetHeader(u"Content-Type"_s).toUtf8(), Inet1->Body()};
        if (decision.changed) {
            ItemRecord& item = Items[CurrentIndex];
            PageSample sample{.title = item.Title,
                              .url = item.URL,
                              .oldInfo = item.Info,
                              .newInfo = decision.newInfo,
                              .err = item.Err,
                              .check2Byte = item.Check2Byte,
                              .headerPath = !header.isEmpty(),
                              .status = Inet1->Status(),
                              .contentType = page.contentType,
                              .body = page.body,
                              .keptFile = {},
                              .keptRead = false};
            item.Info = decision.newInfo;
            lstCheck->addItem(item.Title);
            Results.resize(lstCheck->count());
            Results.last() = item;
            QListWidgetItem* line = lstCheck->item(lstCheck->count() - 1);
            const QString tells = sample.url + u'\n' + InfoChange(sample);
            line->setToolTip(tells);
            line->setData(Qt::AccessibleDescriptionRole, tells);
            resultPages.resize(lstCheck->count());
            resultPages.last() = std::move(sample);
        } else {
            // Something to compare the first change with; an accepted page stays as it is.
            keptPages->KeepIfMissing(page);
        }
    }
    Advance();
}
