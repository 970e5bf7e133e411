#include "app/MsgBox.h"
#include <QMessageBox>

using namespace Qt::StringLiterals;

namespace
{
std::function<void(const QString&)>& Hook()
{
    static std::function<void(const QString&)> hook;
    return hook;
}
} // namespace

void MsgBox(const QString& text, QWidget* parent)
{
    if (Hook()) {
        Hook()(text);
        return;
    }
    QMessageBox box(parent);
    box.setIcon(QMessageBox::NoIcon);
    box.setWindowTitle(u"SiteVigil"_s);
    box.setText(text);
    box.setStandardButtons(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
}

void SetMsgBoxHookForTesting(std::function<void(const QString&)> hook)
{
    Hook() = std::move(hook);
}
