#pragma once
// The item settings dialog. One shared instance; the caller sets the public members, shows
// it with exec(), reads Cancelled and, when false, the members.
#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

class frmItemSet final : public QDialog
{
    Q_OBJECT
public:
    static frmItemSet& Instance();

    QString Title;
    QString URL;
    qint16 Err = 0;
    QString Info;
    qint16 Check2Byte = 0;
    bool Cancelled = true;

    int exec() override; // runs Form_Load, then the modal loop

private:
    explicit frmItemSet(QWidget* parent = nullptr);
    friend struct frmItemSetProbe; // tests

    QLabel* lblTitle = nullptr;
    QLineEdit* txtTitle = nullptr;
    QLabel* lblURL = nullptr;
    QLineEdit* txtURL = nullptr;
    QLabel* lblError = nullptr;
    QLineEdit* txtErr = nullptr;
    QPushButton* cmdErrAutoSet = nullptr;
    QLabel* lblNumAccess = nullptr;
    QLineEdit* txtNumAccess = nullptr;
    QLabel* lblInfo = nullptr;
    QLineEdit* txtInfo = nullptr;
    QCheckBox* chkCheck2Byte = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;

    void Form_Load();
    void cmdOK_Click();
    void cmdCancel_Click();
    void cmdErrAutoSet_Click();
    void FitCaptions();
};
