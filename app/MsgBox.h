#pragma once
#include <QString>
#include <QStringList>
#include <functional>
class QWidget;

// The program's message box: the text, an OK button, no icon, the program's name as title.
// details, when given, can be unfolded below the text and scrolled (a long list of failures).
void MsgBox(const QString& text, QWidget* parent = nullptr, const QString& details = {});

// Entries a box lists before the rest goes to its details: the box stays within an 800-pixel
// screen even when each entry takes two lines.
constexpr int MsgBoxListLines = 5;
// The first maxShown entries, one a line, and "ほか N 件" for the rest.
QString ListWithin(const QStringList& entries, int maxShown);

// The same box with はい and いいえ: true when the user answers はい.
bool MsgBoxYesNo(const QString& text, QWidget* parent);

// The same box, shown without waiting for OK: what runs meanwhile goes on.
void MsgBoxModeless(const QString& text, QWidget* parent);

// Test seam: while set, MsgBox hands the text (and the details after a blank line) to the
// hook instead of showing a box; MsgBoxYesNo then answers はい.
void SetMsgBoxHookForTesting(std::function<void(const QString&)> hook);
