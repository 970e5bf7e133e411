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

namespace
{
void Fill(QMessageBox& box, const QString& text)
{
    box.setIcon(QMessageBox::NoIcon);
    box.setWindowTitle(u"SiteVigil"_s);
    box.setText(text);
    box.setStandardButtons(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
}
} // namespace

void MsgBox(const QString& text, QWidget* parent, const QString& details)
{
    if (Hook()) {
        Hook()(details.isEmpty() ? text : text + u"\n\n"_s + details);
        return;
    }
    QMessageBox box(parent);
    Fill(box, text);
    box.setDetailedText(details);
    box.exec();
}

bool MsgBoxYesNo(const QString& text, QWidget* parent)
{
    if (Hook()) {
        Hook()(text);
        return true;
    }
    QMessageBox box(parent);
    Fill(box, text);
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

QString ListWithin(const QStringList& entries, int maxShown)
{
    QStringList shown = entries.mid(0, maxShown);
    if (entries.size() > maxShown)
        shown.append(u"ほか %1 件"_s.arg(entries.size() - maxShown));
    return shown.join(u'\n');
}

void MsgBoxModeless(const QString& text, QWidget* parent)
{
    if (Hook()) {
        Hook()(text);
        return;
    }
    auto* box = new QMessageBox(parent);
    Fill(*box, text);
    box->setWindowModality(Qt::NonModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
}

void SetMsgBoxHookForTesting(std::function<void(const QString&)> hook)
{
    Hook() = std::move(hook);
}
