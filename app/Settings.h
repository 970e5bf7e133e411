#pragma once
// The settings file "SiteVigil.ini" next to the program, section "Option".
#include <QString>

// AppFolder() + "SiteVigil.ini", spelt as the file there is, in whatever letter case.
QString SettingsFilePath();
// The most bytes (CP932) of the item folder's path that ReadFolderPath gives.
constexpr int MaxFolderPathBytes = 255;
// "ExitAfterSave": 1 when missing; any value other than 0 and 1 gives 0.
qint16 ReadExitAfterSave();
// "FolderPath" through a 256-character buffer (cut to 255 bytes, NULs removed, spaces
// trimmed). With withDefault, an empty value gives AppFolder() + "URLs/".
QString ReadFolderPath(bool withDefault);
// "Connections": pages fetched at once in a check run, 1 to MaxConnections; 1 when missing,
// not a number or out of range.
constexpr int MaxConnections = 16;
qint16 ReadConnections();
// "CompareText": 1 decides a change by the text of the page; 0 when missing or any other value.
qint16 ReadCompareText();
