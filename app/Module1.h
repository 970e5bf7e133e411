#pragma once
// Small routines shared by the windows; they hold no state.
#include <QString>

// The program folder with a trailing separator.
QString AppFolder();
// Test seam: points AppFolder at another folder (empty restores the real one).
void SetAppFolderForTesting(const QString& folder);

// The number of characters that take two bytes in CP932, or the length of the text when
// it has none.
qint32 CountDoubleByte(const QString& text);

// The caption of work in progress, "<state>中...<title>": "実行中...News", "取消中...".
QString ProgressCaption(const QString& state, const QString& title = {});

// True when the line begins with '[' and ends with ']' (not trimmed).
bool IsSectionHeader(const QString& line);
