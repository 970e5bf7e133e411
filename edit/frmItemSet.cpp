#include "edit/frmItemSet.h"
#include "app/CodePage.h"
#include "app/MsgBox.h"
#include "app/NumericValue.h"
#include "app/Twips.h"
#include "edit/SharedDialog.h"
#include "edit/frmErrAutoSet.h"
#include "store/ItemFile.h"
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <cmath>

frmItemSet& frmItemSet::Instance()
{
    return SharedDialog<frmItemSet>([] { return new frmItemSet; });
}

frmItemSet::frmItemSet(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmItemSet"));
    setWindowTitle(QStringLiteral("アイテム設定"));
    SetFixedDialogFrame(this, 5310, 1575);

    const auto label = [this](const char* name, const QString& caption, QRect rect) {
        auto* l = new QLabel(caption, this);
        l->setObjectName(QString::fromLatin1(name));
        l->setGeometry(rect);
        return l;
    };
    const auto textBox = [this](const char* name, const QString& accessibleName, QRect rect) {
        auto* t = new QLineEdit(this);
        t->setObjectName(QString::fromLatin1(name));
        t->setAccessibleName(accessibleName);
        t->setGeometry(rect);
        return t;
    };
    const auto button = [this](const char* name, const QString& caption, QRect rect) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(rect);
        return b;
    };

    lblTitle = label("lblTitle", QStringLiteral("タイトル"), TwipsRect(75, 90, 585, 180, this));
    txtTitle = textBox("txtTitle", QStringLiteral("タイトル"), TwipsRect(900, 60, 4350, 240, this));
    lblURL = label("lblURL", QStringLiteral("URL"), TwipsRect(75, 390, 330, 180, this));
    txtURL = textBox("txtURL", QStringLiteral("URL"), TwipsRect(900, 360, 4350, 240, this));
    lblError = label("lblError", QStringLiteral("許容誤差"), TwipsRect(75, 690, 720, 180, this));
    txtErr = textBox("txtErr", QStringLiteral("許容誤差"), TwipsRect(900, 660, 450, 240, this));
    cmdErrAutoSet =
        button("cmdErrAutoSet", QStringLiteral("自動設定"), TwipsRect(1425, 630, 900, 300, this));
    lblNumAccess = label("lblNumAccess", QStringLiteral("アクセス回数        回"),
                         TwipsRect(2400, 690, 1665, 180, this));
    // Created after its label so that it lies over the label's gap.
    txtNumAccess = textBox("txtNumAccess", QStringLiteral("アクセス回数"),
                           TwipsRect(3525, 660, 300, 240, this));
    txtNumAccess->setText(QStringLiteral("10"));
    lblInfo = label("lblInfo", QStringLiteral("更新情報"), TwipsRect(75, 990, 720, 180, this));
    txtInfo = textBox("txtInfo", QStringLiteral("更新情報"), TwipsRect(900, 960, 2400, 240, this));
    chkCheck2Byte = new QCheckBox(QStringLiteral("2バイト文字のみチェック"), this);
    chkCheck2Byte->setObjectName(QStringLiteral("chkCheck2Byte"));
    chkCheck2Byte->setGeometry(TwipsRect(900, 1275, 2175, 225, this));
    cmdOK = button("cmdOK", QStringLiteral("OK"), TwipsRect(4275, 825, 975, 300, this));
    cmdOK->setDefault(true);
    cmdCancel =
        button("cmdCancel", QStringLiteral("キャンセル"), TwipsRect(4275, 1200, 975, 300, this));

    lblTitle->setBuddy(txtTitle);
    lblURL->setBuddy(txtURL);
    lblError->setBuddy(txtErr);
    lblNumAccess->setBuddy(txtNumAccess);
    lblInfo->setBuddy(txtInfo);

    QWidget* const tabOrder[] = {txtTitle, txtURL,        txtErr, cmdErrAutoSet, txtNumAccess,
                                 txtInfo,  chkCheck2Byte, cmdOK,  cmdCancel};
    for (std::size_t i = 1; i < std::size(tabOrder); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);

    FitCaptions();

    connect(cmdOK, &QPushButton::clicked, this, &frmItemSet::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmItemSet::cmdCancel_Click);
    connect(cmdErrAutoSet, &QPushButton::clicked, this, &frmItemSet::cmdErrAutoSet_Click);
}

// The designed widths hold the captions in the font they were drawn for; another font must not
// clip them. The count box sits in the blank gap of its label, so the gap is widened to clear it.
void frmItemSet::FitCaptions()
{
    const QFontMetricsF metrics(lblNumAccess->font());
    const QString caption = lblNumAccess->text();
    const qsizetype gapStart = caption.indexOf(QLatin1Char(' '));
    const qsizetype blanks = caption.count(QLatin1Char(' '));
    if (gapStart > 0) {
        const qreal headEnd = lblNumAccess->x() + metrics.horizontalAdvance(caption.left(gapStart));
        const qreal margin = std::max<qreal>(2, txtNumAccess->x() - headEnd);
        const qreal gapWanted = txtNumAccess->geometry().right() + 1 + margin - headEnd;
        const qreal extra =
            (gapWanted - metrics.horizontalAdvance(QString(blanks, QLatin1Char(' ')))) / blanks;
        if (extra > 0) {
            QFont spaced = lblNumAccess->font();
            spaced.setWordSpacing(extra);
            lblNumAccess->setFont(spaced);
        }
    }
    for (QWidget* w : std::initializer_list<QWidget*>{lblTitle, lblURL, lblError, lblNumAccess,
                                                      lblInfo, chkCheck2Byte}) {
        if (const int needed = w->sizeHint().width(); needed > w->width())
            w->resize(needed, w->height());
    }
}

int frmItemSet::exec()
{
    Form_Load();
    return QDialog::exec();
}

void frmItemSet::Form_Load()
{
    Cancelled = true;
    txtTitle->setText(Title);
    txtURL->setText(URL);
    txtErr->setText(NumberText(Err));
    txtInfo->setText(Info);
    // Only 1 selects the double-byte measure; any other stored value reads as unchecked.
    chkCheck2Byte->setChecked(Check2Byte == 1);
    txtNumAccess->setText(QStringLiteral("10"));
    txtTitle->setFocus();
}

void frmItemSet::cmdOK_Click()
{
    const QString title = txtTitle->text();
    if (title.isEmpty()) {
        MsgBox(QStringLiteral("タイトルを入力してください。"), this);
        return;
    }
    // The title given keeps its file, whatever its name; only a new one must make a file here
    // and on Windows.
    if (const QString problem = title == Title ? QString() : TitleProblem(title);
        !problem.isEmpty()) {
        MsgBox(problem, this);
        return;
    }
    const std::optional<qint16> err = RoundToInt16(NumericValue(txtErr->text()));
    if (!err) {
        MsgBox(QStringLiteral("許容誤差が不正です。"), this);
        return;
    }
    // The URL is stored in a form that keeps its meaning; other text would come back altered.
    if (const QString lost = CodePage::Unrepresentable(txtInfo->text(), false); !lost.isEmpty()) {
        MsgBox(CodePage::UnrepresentableMessage(QStringLiteral("更新情報"), lost), this);
        return;
    }
    Cancelled = false;
    Title = title;
    URL = txtURL->text();
    Err = *err;
    Info = txtInfo->text();
    Check2Byte = chkCheck2Byte->isChecked() ? 1 : 0;
    accept();
}

void frmItemSet::cmdCancel_Click()
{
    reject();
}

void frmItemSet::cmdErrAutoSet_Click()
{
    const double value = NumericValue(txtNumAccess->text());
    const std::optional<qint16> count = RoundToInt16(value);
    if (!(std::floor(value) > 0) || !count) {
        MsgBox(QStringLiteral("アクセス回数が不正です。"), this);
        return;
    }
    frmErrAutoSet& calibration = frmErrAutoSet::Instance();
    calibration.URL = txtURL->text();
    calibration.Check2Byte = chkCheck2Byte->isChecked() ? 1 : 0;
    calibration.numAccess = *count;
    calibration.exec();
    if (!calibration.Cancelled)
        txtErr->setText(NumberText(calibration.Err));
}
