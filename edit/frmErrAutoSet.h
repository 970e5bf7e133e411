#pragma once
// The tolerance calibration: fetches URL numAccess times in a row and returns the spread of
// the size measures as Err. One shared instance; same caller protocol as frmItemSet.
#include <QDialog>
#include <QList>

class Inet;
class QPushButton;

class frmErrAutoSet final : public QDialog
{
    Q_OBJECT
public:
    static frmErrAutoSet& Instance();

    QString URL;
    qint16 Check2Byte = 0;
    qint16 numAccess = 1;
    qint16 Err = 0;
    bool Cancelled = true;

    int exec() override;            // runs Form_Load, then the modal loop
    void done(int result) override; // every way of closing runs Form_Unload

private:
    explicit frmErrAutoSet(QWidget* parent = nullptr);
    friend struct frmErrAutoSetProbe; // tests

    QPushButton* cmdCancel = nullptr;
    Inet* Inet1 = nullptr;
    qint16 counter = 0;
    QList<qint32> measures;

    void Form_Load();
    void Form_Unload();
    void Inet1_StateChanged(int State);
    void cmdCancel_Click();
    void CancelTransfer();
    void ResponseCompleted();
};
