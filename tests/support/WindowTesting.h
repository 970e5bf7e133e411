#pragma once
// Helpers for tests of windows: message boxes captured instead of shown, modal dialogs
// driven from a timer and dismissed, list contents.
#include "app/MsgBox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QListWidget>
#include <QPointer>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <functional>

// Takes the texts of the program's message boxes while it lives.
class MsgBoxCapture final
{
public:
    MsgBoxCapture()
    {
        SetMsgBoxHookForTesting([this](const QString& text) { messages.append(text); });
    }
    ~MsgBoxCapture() { SetMsgBoxHookForTesting({}); }
    MsgBoxCapture(const MsgBoxCapture&) = delete;
    MsgBoxCapture& operator=(const MsgBoxCapture&) = delete;

    QStringList messages;
};

// Runs f on the next modal widget as soon as one is shown.
inline QPointer<QTimer> OnModal(std::function<void(QWidget*)> f)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, f] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            f(w);
        }
    });
    timer->start();
    return timer;
}

// The texts of the list's lines in order.
inline QStringList Lines(const QListWidget* list)
{
    QStringList lines;
    for (int i = 0; i < list->count(); ++i)
        lines.append(list->item(i)->text());
    return lines;
}

// Data rows (column "how") for the three ways a user dismisses a dialog.
inline void AddDismissRows()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Cancel button") << QStringLiteral("button");
    QTest::newRow("Esc") << QStringLiteral("escape");
    QTest::newRow("close box") << QStringLiteral("close box");
}

// Dismisses the dialog as the row says: its cmdCancel button, Esc pressed in escapeTarget
// (the dialog itself by default), or its close box.
inline void Dismiss(QWidget* dialog, const QString& how, QWidget* escapeTarget = nullptr)
{
    if (how == u"button")
        dialog->findChild<QAbstractButton*>(QStringLiteral("cmdCancel"))->click();
    else if (how == u"escape")
        QTest::keyClick(escapeTarget ? escapeTarget : dialog, Qt::Key_Escape);
    else
        dialog->close();
}
