#pragma once
#include <QString>
class QWidget;

// Shows the folder picker ("フォルダを選択してください"). Returns the chosen folder without a
// trailing separator (except a root), or empty text when cancelled.
QString BrowseFolder(QWidget* owner);
