#pragma once
// Item files: an Internet Shortcut with a private [SiteVigil] section last, CP932, CRLF.
#include "store/ItemRecord.h"
#include <QString>

struct FileResult {
    bool ok = true;
    QString message; // why it failed, for the user
};

// Reads folderPath + fileName. Never fails: what cannot be read keeps its start value. A
// file with a UTF-8 byte-order mark is read as UTF-8; a UTF-16 one gives start values only.
ItemRecord ReadItemFile(const QString& folderPath, const QString& fileName);

// The item's Info when it is an error text (it begins with "エラー:"), otherwise empty. Cheap
// enough for every file of a folder: only files whose bytes hold the prefix are parsed.
QString StoredErrorInfo(const QString& folderPath, const QString& fileName);

// Writes folderPath + item.Title + ".url" atomically, keeping the foreign lines of an
// existing file (found without regard to letter case) and its UTF-8 byte-order mark. Refuses
// titles that are no file name, and leaves a UTF-16 file untouched (a failure that says so).
FileResult WriteItemFile(const QString& folderPath, const ItemRecord& item);

// Empty when title can be an item file name on this platform and on Windows, otherwise why not.
QString TitleProblem(const QString& title);
