#include "app/frmOption.h"
#include "app/BrowseFolder.h"
#include "app/CodePage.h"
#include "app/MsgBox.h"
#include "app/Profile.h"
#include "app/Settings.h"
#include "app/Twips.h"
#include <QCheckBox>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

using namespace Qt::StringLiterals;

frmOption::frmOption(QWidget* parent) : QDialog(parent)
{
    setObjectName(u"frmOption"_s);
    setWindowTitle(u"オプション設定"_s);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);

    lblFolderPath = new QLabel(u"参照フォルダ"_s, this);
    lblFolderPath->setObjectName(u"lblFolderPath"_s);
    txtFolderPath = new QLineEdit(this);
    txtFolderPath->setObjectName(u"txtFolderPath"_s);
    txtFolderPath->setAccessibleName(u"参照フォルダ"_s);
    txtFolderPath->setMinimumWidth(TwipsToPixels(4200, this));
    lblFolderPath->setBuddy(txtFolderPath);
    cmdBrowseFolder = new QPushButton(u"..."_s, this);
    cmdBrowseFolder->setObjectName(u"cmdBrowseFolder"_s);
    cmdBrowseFolder->setAccessibleName(u"参照フォルダを選ぶ"_s);
    cmdBrowseFolder->setToolTip(u"参照フォルダを選ぶ"_s);
    cmdBrowseFolder->setAutoDefault(false);
    cmdBrowseFolder->setFixedWidth(qMax(
        TwipsToPixels(450, this), cmdBrowseFolder->fontMetrics().horizontalAdvance(u"..."_s) + 16));
    chkExitAfterSave = new QCheckBox(u"保存後自動終了"_s, this);
    chkExitAfterSave->setObjectName(u"chkExitAfterSave"_s);
    lblConnections = new QLabel(u"同時接続数"_s, this);
    lblConnections->setObjectName(u"lblConnections"_s);
    spnConnections = new QSpinBox(this);
    spnConnections->setObjectName(u"spnConnections"_s);
    spnConnections->setRange(1, MaxConnections);
    spnConnections->setAccessibleName(u"同時接続数"_s);
    lblConnections->setBuddy(spnConnections);
    chkCompareText = new QCheckBox(u"本文の文字で変更を判定する(&T)"_s, this);
    chkCompareText->setObjectName(u"chkCompareText"_s);
    cmdOK = new QPushButton(u"OK"_s, this);
    cmdOK->setObjectName(u"cmdOK"_s);
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton(u"キャンセル"_s, this);
    cmdCancel->setObjectName(u"cmdCancel"_s);
    cmdCancel->setAutoDefault(false);
    const int buttonWidth = TwipsToPixels(1215, this);
    cmdOK->setMinimumWidth(buttonWidth);
    cmdCancel->setMinimumWidth(buttonWidth);

    auto* grid = new QGridLayout(this);
    grid->addWidget(lblFolderPath, 0, 0);
    grid->addWidget(txtFolderPath, 0, 1);
    grid->addWidget(cmdBrowseFolder, 0, 2);
    grid->addWidget(chkExitAfterSave, 1, 1, 1, 2);
    auto* connections = new QHBoxLayout;
    connections->addWidget(lblConnections);
    connections->addWidget(spnConnections);
    connections->addStretch(1);
    grid->addLayout(connections, 2, 1, 1, 2);
    grid->addWidget(chkCompareText, 3, 1, 1, 2);
    grid->setRowMinimumHeight(4, 8);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    grid->addLayout(buttons, 5, 0, 1, 3);
    grid->setColumnStretch(1, 1);

    setTabOrder(txtFolderPath, cmdBrowseFolder);
    setTabOrder(cmdBrowseFolder, chkExitAfterSave);
    setTabOrder(chkExitAfterSave, spnConnections);
    setTabOrder(spnConnections, chkCompareText);
    setTabOrder(chkCompareText, cmdOK);
    setTabOrder(cmdOK, cmdCancel);

    connect(cmdBrowseFolder, &QPushButton::clicked, this, &frmOption::cmdBrowseFolder_Click);
    connect(cmdOK, &QPushButton::clicked, this, &frmOption::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmOption::cmdCancel_Click);

    Form_Load();
    setFixedHeight(sizeHint().height());
}

void frmOption::Form_Load()
{
    const qint16 flag = ReadExitAfterSave();
    const QString path = ReadFolderPath(false);
    chkExitAfterSave->setChecked(flag == 1);
    txtFolderPath->setText(path);
    connectionsStored = !Profile::GetPrivateProfileString(u"Option"_s, u"Connections"_s, QString(),
                                                          16, SettingsFilePath())
                             .isEmpty();
    spnConnections->setValue(ReadConnections());
    compareTextStored = !Profile::GetPrivateProfileString(u"Option"_s, u"CompareText"_s, QString(),
                                                          16, SettingsFilePath())
                             .isEmpty();
    chkCompareText->setChecked(ReadCompareText() == 1);
}

void frmOption::cmdBrowseFolder_Click()
{
    QString folder = BrowseFolder(this);
    if (folder.isEmpty())
        return;
    if (!folder.endsWith(u'/'))
        folder += u'/';
    txtFolderPath->setText(folder);
}

void frmOption::cmdOK_Click()
{
    // A path that the settings file would give back altered names another folder.
    const QString path = txtFolderPath->text();
    if (const QString lost = CodePage::Unrepresentable(path, true); !lost.isEmpty()) {
        MsgBox(CodePage::UnrepresentableMessage(u"参照フォルダ"_s, lost), this);
        return;
    }
    const QString file = SettingsFilePath();
    const qint16 flag = chkExitAfterSave->isChecked() ? 1 : 0;
    // One replacement of the file, so that no failure leaves one key new and another old.
    Profile::KeyValues values{{u"ExitAfterSave"_s, QString::number(flag)}, {u"FolderPath"_s, path}};
    // A file that never named a number of connections stays as it was while it is 1.
    const int connections = spnConnections->value();
    if (connectionsStored || connections != 1)
        values.append({u"Connections"_s, QString::number(connections)});
    // Likewise a file that never named the text decision while it is off.
    const bool compareText = chkCompareText->isChecked();
    if (compareTextStored || compareText)
        values.append({u"CompareText"_s, compareText ? u"1"_s : u"0"_s});
    QString error;
    const bool written = Profile::WritePrivateProfileStrings(u"Option"_s, values, file, &error);
    if (!written) {
        MsgBox(u"設定ファイル「%1」を保存できませんでした。\n%2"_s.arg(
                   QDir::toNativeSeparators(file), error),
               this);
    } else if (const QString whole = Profile::GetPrivateProfileString(u"Option"_s, u"FolderPath"_s,
                                                                      QString(), 1 << 20, file);
               CodePage::ToAnsi(whole).size() > MaxFolderPathBytes) {
        // Written whole as typed, but read back through a 256-character buffer. The folder used
        // is shown in lines short enough for the box, which breaks lines only at blanks.
        QString used = QDir::toNativeSeparators(ReadFolderPath(true));
        for (qsizetype at = 64; at < used.size(); at += 65)
            used.insert(at, u'\n');
        MsgBox(u"参照フォルダのパスは%1バイトあり、そのまま保存しましたが、読み込むときは"
               u"%2バイトで切られます。次のフォルダが使われます:\n%3"_s
                   .arg(CodePage::ToAnsi(whole).size())
                   .arg(MaxFolderPathBytes)
                   .arg(used),
               this);
    }
    accept();
}

void frmOption::cmdCancel_Click()
{
    reject();
}
