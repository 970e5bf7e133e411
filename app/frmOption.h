#pragma once
// The options dialog: the item folder, "ExitAfterSave", "Connections" and "CompareText", read from
// the settings file when shown and written only on OK. Create a new one for every showing.
#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

class frmOption final : public QDialog
{
    Q_OBJECT
public:
    explicit frmOption(QWidget* parent = nullptr);

private:
    friend struct frmOptionProbe; // tests

    QLabel* lblFolderPath = nullptr;
    QLineEdit* txtFolderPath = nullptr;
    QPushButton* cmdBrowseFolder = nullptr;
    QCheckBox* chkExitAfterSave = nullptr;
    QLabel* lblConnections = nullptr;
    QSpinBox* spnConnections = nullptr;
    QCheckBox* chkCompareText = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;

    bool connectionsStored = false; // the file names "Connections"
    bool compareTextStored = false; // the file names "CompareText"

    void Form_Load();
    void cmdBrowseFolder_Click();
    void cmdOK_Click();
    void cmdCancel_Click();
};
