#include "edit/frmFilterSet.h"
#include "app/MsgBox.h"
#include "app/Twips.h"
#include "edit/SharedDialog.h"
#include "store/FilterRules.h"
#include <QAction>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

frmFilterSet& frmFilterSet::Instance()
{
    return SharedDialog<frmFilterSet>([] { return new frmFilterSet; });
}

frmFilterSet::frmFilterSet(QWidget* parent) : QDialog(parent)
{
    setObjectName(u"frmFilterSet"_s);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);

    const auto button = [this](const char* name, const QString& caption) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        return b;
    };

    lblSelect = new QLabel(u"判定する範囲 (CSSセレクタ、空なら全体)(&S)"_s, this);
    lblSelect->setObjectName(u"lblSelect"_s);
    txtSelect = new QLineEdit(this);
    txtSelect->setObjectName(u"txtSelect"_s);
    txtSelect->setAccessibleName(u"判定する範囲"_s);
    txtSelect->setMinimumWidth(TwipsToPixels(5400, this));
    lblSelect->setBuddy(txtSelect);
    lblIgnore = new QLabel(u"無視する文字 (正規表現、1行に1つ)(&I)"_s, this);
    lblIgnore->setObjectName(u"lblIgnore"_s);
    lstIgnore = new QListWidget(this);
    lstIgnore->setObjectName(u"lstIgnore"_s);
    lstIgnore->setAccessibleName(u"無視する文字"_s);
    lstIgnore->setEditTriggers(QAbstractItemView::DoubleClicked |
                               QAbstractItemView::EditKeyPressed);
    lblIgnore->setBuddy(lstIgnore);
    cmdAddIgnore = button("cmdAddIgnore", u"追加(&A)"_s);
    cmdEditIgnore = button("cmdEditIgnore", u"編集(&E)"_s);
    cmdRemoveIgnore = button("cmdRemoveIgnore", u"削除(&D)"_s);
    cmdOK = new QPushButton(u"OK"_s, this);
    cmdOK->setObjectName(u"cmdOK"_s);
    cmdOK->setDefault(true);
    cmdCancel = button("cmdCancel", u"キャンセル"_s);
    const int buttonWidth = TwipsToPixels(1215, this);
    for (QPushButton* b : {cmdAddIgnore, cmdEditIgnore, cmdRemoveIgnore, cmdOK, cmdCancel})
        b->setMinimumWidth(buttonWidth);

    // Del in the list removes the pattern, as the button does.
    auto* remove = new QAction(lstIgnore);
    remove->setShortcut(QKeySequence::Delete);
    remove->setShortcutContext(Qt::WidgetShortcut);
    lstIgnore->addAction(remove);
    connect(remove, &QAction::triggered, this, &frmFilterSet::cmdRemoveIgnore_Click);

    auto* grid = new QGridLayout(this);
    grid->addWidget(lblSelect, 0, 0, 1, 2);
    grid->addWidget(txtSelect, 1, 0, 1, 2);
    grid->setRowMinimumHeight(2, 4);
    grid->addWidget(lblIgnore, 3, 0, 1, 2);
    grid->addWidget(lstIgnore, 4, 0);
    auto* listButtons = new QVBoxLayout;
    listButtons->addWidget(cmdAddIgnore);
    listButtons->addWidget(cmdEditIgnore);
    listButtons->addWidget(cmdRemoveIgnore);
    listButtons->addStretch(1);
    grid->addLayout(listButtons, 4, 1);
    grid->setRowMinimumHeight(5, 8);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    grid->addLayout(buttons, 6, 0, 1, 2);
    grid->setColumnStretch(0, 1);
    grid->setRowStretch(4, 1);

    QWidget* const tabOrder[] = {txtSelect,       lstIgnore, cmdAddIgnore, cmdEditIgnore,
                                 cmdRemoveIgnore, cmdOK,     cmdCancel};
    for (std::size_t i = 1; i < std::size(tabOrder); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);

    connect(cmdOK, &QPushButton::clicked, this, &frmFilterSet::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmFilterSet::cmdCancel_Click);
    connect(cmdAddIgnore, &QPushButton::clicked, this, &frmFilterSet::cmdAddIgnore_Click);
    connect(cmdEditIgnore, &QPushButton::clicked, this, &frmFilterSet::cmdEditIgnore_Click);
    connect(cmdRemoveIgnore, &QPushButton::clicked, this, &frmFilterSet::cmdRemoveIgnore_Click);
    connect(lstIgnore, &QListWidget::currentRowChanged, this, &frmFilterSet::UpdateButtons);
    resize(sizeHint().width(), TwipsToPixels(4200, this));
}

int frmFilterSet::exec()
{
    Form_Load();
    return QDialog::exec();
}

void frmFilterSet::Form_Load()
{
    Cancelled = true;
    setWindowTitle(u"判定ルール - %1"_s.arg(Title));
    txtSelect->setText(Select);
    lstIgnore->clear();
    for (const QString& pattern : Ignore) {
        auto* line = new QListWidgetItem(pattern, lstIgnore);
        line->setFlags(line->flags() | Qt::ItemIsEditable);
    }
    if (lstIgnore->count() > 0)
        lstIgnore->setCurrentRow(0);
    UpdateButtons();
    txtSelect->setFocus();
}

QStringList frmFilterSet::IgnoreLines() const
{
    QStringList lines;
    for (int i = 0; i < lstIgnore->count(); ++i) {
        if (const QString text = lstIgnore->item(i)->text(); !text.isEmpty())
            lines.append(text);
    }
    return lines;
}

void frmFilterSet::UpdateButtons()
{
    const bool selected = lstIgnore->currentRow() >= 0;
    cmdEditIgnore->setEnabled(selected);
    cmdRemoveIgnore->setEnabled(selected);
}

void frmFilterSet::cmdAddIgnore_Click()
{
    auto* line = new QListWidgetItem(lstIgnore);
    line->setFlags(line->flags() | Qt::ItemIsEditable);
    lstIgnore->setCurrentItem(line);
    lstIgnore->setFocus();
    lstIgnore->editItem(line);
}

void frmFilterSet::cmdEditIgnore_Click()
{
    if (QListWidgetItem* line = lstIgnore->currentItem()) {
        lstIgnore->setFocus();
        lstIgnore->editItem(line);
    }
}

void frmFilterSet::cmdRemoveIgnore_Click()
{
    delete lstIgnore->currentItem();
    UpdateButtons();
}

void frmFilterSet::cmdOK_Click()
{
    const QString select = txtSelect->text();
    const QStringList ignore = IgnoreLines();
    QString problem = FilterRulesProblem(FilterRules{select, ignore});
    if (problem.isEmpty() && Validate)
        problem = Validate(select, ignore);
    if (!problem.isEmpty()) {
        MsgBox(problem, this);
        return;
    }
    Cancelled = false;
    Select = select;
    Ignore = ignore;
    accept();
}

void frmFilterSet::cmdCancel_Click()
{
    reject();
}
