#pragma once
// Item files: an Internet Shortcut with a private [SiteVigil] section last, CP932, CRLF.
#include "app/Files.h"
#include "store/ItemRecord.h"
#include <QString>
#include <functional>
#include <optional>

class ItemFileStamps;

// A file larger than this is no item file: listed, marked, never read whole nor rewritten.
constexpr qint64 MaxItemFileBytes = 1 << 20;

// Reads the listed file fileName (bytes, as ListItemFiles gives them) of folderPath; the record
// keeps it as its FileName. Never fails: what cannot be read keeps its start value. A file
// with a UTF-8 byte-order mark is read as UTF-8; a UTF-16 one gives start values only.
// stamps, when given, take what was read (stamps begun for folderPath).
ItemRecord ReadItemFile(const QString& folderPath, const QByteArray& fileName,
                        ItemFileStamps* stamps = nullptr);

// The item's Info when it is an error text (it begins with "エラー:"), or why the file is no
// item file (too large), otherwise empty. Cheap enough for every file of a folder: only files
// whose bytes hold the prefix are parsed.
QString StoredErrorInfo(const QString& folderPath, const QByteArray& fileName);

// Which file of folderPath a file named fileName (an item's title + ".url", or a dropped
// file's name) is, decided here alone: the listed file listedName while fileName still names
// it (the title is unchanged); else the item file named fileName in any letter case; else a
// new file of that name. problem says why it must not be written: a new name that cannot be a
// file here and on Windows, or a link to anything but an item file.
struct ItemFilePlace {
    QByteArray path;
    QString problem;
};
ItemFilePlace PlaceItemFile(const QString& folderPath, const QString& fileName,
                            const QByteArray& listedName = {});

// Writes the item's file (PlaceItemFile of item.Title + ".url" and item.FileName) atomically,
// keeping the foreign lines of an existing file and its UTF-8 byte-order mark. A UTF-16 file
// and a file that cannot be read whole (too large) are left untouched (a failure that says so),
// as is what PlaceItemFile refuses. With stamps that hold the file's path, the file is
// replaced only while it is as they have it (checked just before the replacement, the
// refusal saying why), and the stamp then takes what was written.
FileResult WriteItemFile(const QString& folderPath, const ItemRecord& item,
                         ItemFileStamps* stamps = nullptr);

// WriteItemFile for many items at once, a result for each, in the same files with the same
// bytes; the new files among them are synced together (Files::WriteAllAtomically).
QList<FileResult> WriteItemFiles(const QString& folderPath, const QList<ItemRecord>& items);
// The two halves of the round trip in memory (for fuzzing it without a disk): what
// ReadItemFile takes from a file's bytes into item, and the bytes WriteItemFile writes for item
// over an existing file's bytes (nullopt: a new file). Neither refuses anything: a UTF-16 file
// gives item nothing, and WriteItemFile writes over one only after its own checks.
void ParseItemFile(QByteArray bytes, ItemRecord& item);
QByteArray ComposeItemFile(const std::optional<QByteArray>& file, const ItemRecord& item);
// Rewrites the existing listed file fileName of folderPath on the road of WriteItemFile (the
// same refusals, the same atomic replacement, its UTF-8 byte-order mark kept): edit is given
// the file's bytes without the mark and their encoding, and returns the new bytes. Bytes that
// come back unchanged leave the file untouched.
using ItemFileEdit =
    std::function<QByteArray(const QByteArray& content, const Files::TextEncoding& text)>;
FileResult EditItemFile(const QString& folderPath, const QByteArray& fileName,
                        const ItemFileEdit& edit);

// Empty when title can be an item file name on this platform and on Windows, otherwise why not.
QString TitleProblem(const QString& title);
