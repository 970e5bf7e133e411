#pragma once
#include <QString>
#include <functional>
class QWidget;

// The program's message box: the text, an OK button, no icon, the program's name as title.
void MsgBox(const QString& text, QWidget* parent = nullptr);

// The same box, shown without waiting for OK: what runs meanwhile goes on.
void MsgBoxModeless(const QString& text, QWidget* parent);

// Test seam: while set, MsgBox hands the text to the hook instead of showing a box.
void SetMsgBoxHookForTesting(std::function<void(const QString&)> hook);
