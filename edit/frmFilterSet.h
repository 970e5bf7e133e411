#pragma once
// The rules of one item for deciding by the text of its page: a selector and patterns to
// ignore. One shared instance; the caller sets the public members, shows it with exec(), reads
// Cancelled and, when false, Select and Ignore. The dialog reads and writes no file.
#include <QDialog>
#include <QStringList>
#include <functional>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

class frmFilterSet final : public QDialog
{
    Q_OBJECT
public:
    static frmFilterSet& Instance();

    QString Title; // the item, named in the caption
    QString Select;
    QStringList Ignore;
    bool Cancelled = true;
    // Why the texts are no valid selector or pattern, empty when they are; none checks nothing.
    std::function<QString(const QString& select, const QStringList& ignore)> Validate;

    int exec() override; // runs Form_Load, then the modal loop

private:
    explicit frmFilterSet(QWidget* parent = nullptr);
    friend struct frmFilterSetProbe; // tests

    QLabel* lblSelect = nullptr;
    QLineEdit* txtSelect = nullptr;
    QLabel* lblIgnore = nullptr;
    QListWidget* lstIgnore = nullptr;
    QPushButton* cmdAddIgnore = nullptr;
    QPushButton* cmdEditIgnore = nullptr;
    QPushButton* cmdRemoveIgnore = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;

    void Form_Load();
    void cmdOK_Click();
    void cmdCancel_Click();
    void cmdAddIgnore_Click();
    void cmdEditIgnore_Click();
    void cmdRemoveIgnore_Click();
    void UpdateButtons();
    QStringList IgnoreLines() const;
};
