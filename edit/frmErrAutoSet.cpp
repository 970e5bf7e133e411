#include "edit/frmErrAutoSet.h"
#include "app/Module1.h"
#include "app/MsgBox.h"
#include "app/NumericValue.h"
#include "app/Twips.h"
#include "check/ChangeDecision.h"
#include "check/Inet.h"
#include "edit/SharedDialog.h"
#include <QPushButton>
#include <algorithm>

frmErrAutoSet& frmErrAutoSet::Instance()
{
    return SharedDialog<frmErrAutoSet>([] { return new frmErrAutoSet; });
}

frmErrAutoSet::frmErrAutoSet(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmErrAutoSet"));
    SetFixedDialogFrame(this, 2010, 435);

    cmdCancel = new QPushButton(QStringLiteral("キャンセル"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setGeometry(TwipsRect(510, 75, 975, 300, this));
    connect(cmdCancel, &QPushButton::clicked, this, &frmErrAutoSet::cmdCancel_Click);

    Inet1 = new Inet(this);
    connect(Inet1, &Inet::StateChanged, this, &frmErrAutoSet::Inet1_StateChanged);
}

int frmErrAutoSet::exec()
{
    Form_Load();
    return QDialog::exec();
}

void frmErrAutoSet::done(int result)
{
    Form_Unload();
    QDialog::done(result);
}

void frmErrAutoSet::Form_Load()
{
    Cancelled = true;
    counter = 0;
    Inet1->URL = URL;
    setWindowTitle(ProgressCaption(QStringLiteral("実行")));
    Inet1->Execute();
}

void frmErrAutoSet::Form_Unload()
{
    CancelTransfer();
}

void frmErrAutoSet::CancelTransfer()
{
    setWindowTitle(ProgressCaption(QStringLiteral("取消")));
    Inet1->Cancel();
}

void frmErrAutoSet::cmdCancel_Click()
{
    reject();
}

void frmErrAutoSet::Inet1_StateChanged(int State)
{
    switch (State) {
    case Inet::icResolvingHost:
    case Inet::icConnecting:
    case Inet::icRequesting:
    case Inet::icReceivingResponse:
    case Inet::icDisconnecting:
        setWindowTitle(
            ProgressCaption(Inet::StatusText(State),
                            NumberText(counter) + QStringLiteral("/") + NumberText(numAccess)));
        break;
    case Inet::icResponseCompleted:
        ResponseCompleted();
        break;
    case Inet::icError:
        MsgBox(ErrorPrefix() + Inet1->ResponseInfo(), this);
        reject();
        break;
    default:
        break;
    }
}

void frmErrAutoSet::ResponseCompleted()
{
    measures.resize(counter + 1);
    if (!Inet1->GetHeader(QStringLiteral("Last-modified")).isEmpty()) {
        MsgBox(QStringLiteral("このアイテムには誤差設定は必要ありません。"), this);
        reject();
        return;
    }
    measures[counter] = MeasureBody(Inet1->GetChunk(Inet::MaxBodyBytes), Check2Byte);
    ++counter;
    if (counter < numAccess) {
        setWindowTitle(ProgressCaption(QStringLiteral("実行")));
        Inet1->Execute();
        return;
    }
    const auto [min, max] = std::minmax_element(measures.cbegin(), measures.cbegin() + counter);
    // The tolerance is a 16-bit field; a larger spread is as good as no tolerance at all.
    Err = static_cast<qint16>(std::min<qint64>(qint64(*max) - *min, 32767));
    Cancelled = false;
    accept();
}
