#pragma once
// Item files: an Internet Shortcut with a private [SiteVigil] section last, CP932, CRLF.
#include "store/ItemRecord.h"
#include <QString>

struct FileResult {
    bool ok = true;
    QString message; // why it failed, for the user

    static FileResult Failure(const QString& message) { return FileResult{false, message}; }
};

// Reads the listed file fileName (bytes, as ListItemFiles gives them) of folderPath; the record
// keeps it as its FileName. Never fails: what cannot be read keeps its start value. A file
// with a UTF-8 byte-order mark is read as UTF-8; a UTF-16 one gives start values only.
ItemRecord ReadItemFile(const QString& folderPath, const QByteArray& fileName);
// The same for a name as text: folderPath + fileName, found without regard to letter case.
ItemRecord ReadItemFile(const QString& folderPath, const QString& fileName);

// The item's Info when it is an error text (it begins with "エラー:"), otherwise empty. Cheap
// enough for every file of a folder: only files whose bytes hold the prefix are parsed.
QString StoredErrorInfo(const QString& folderPath, const QByteArray& fileName);

// Writes the item's file atomically, keeping the foreign lines of an existing file and its
// UTF-8 byte-order mark: its FileName, or else folderPath + item.Title + ".url" (found without
// regard to letter case). Only a title that would make a new file is refused when it is no
// file name; a UTF-16 file is left untouched (a failure that says so).
FileResult WriteItemFile(const QString& folderPath, const ItemRecord& item);

// Empty when title can be an item file name on this platform and on Windows, otherwise why not.
QString TitleProblem(const QString& title);
