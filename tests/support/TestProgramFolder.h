#pragma once
// A temporary program folder that AppFolder points at while the fixture lives, with an empty
// default item folder "URLs/" in it, and helpers for the item files in that folder.
#include "store/ItemRecord.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// The file's bytes, empty when it cannot be read.
QByteArray ReadAll(const QString& path);
// Creates or truncates the file with bytes (a test failure when it cannot be opened).
void WriteAll(const QString& path, const QByteArray& bytes);

// The record's fields in order (Title, URL, Err, Info, Check2Byte), so that one comparison
// checks them all and shows them all when it fails.
QStringList ItemFields(const ItemRecord& item);

// The same by the path's bytes, for names that are no UTF-8 (a Shift-JIS name from Windows).
QByteArray ReadNative(const QByteArray& path);
void WriteNative(const QByteArray& path, const QByteArray& bytes);
// The names of everything in the folder as the file system's bytes, sorted.
QList<QByteArray> NativeNames(const QString& folder);

// ListItemFiles' names as text.
QStringList ListedNames(const QString& folderPath);

// Data rows (column "folderGone") for the two ways writing an item file fails.
void AddFailingWriteRows();

inline ItemRecord MakeItem(const QString& title, const QString& url, qint16 err = 0,
                           const QString& info = QString(), qint16 check2Byte = 0)
{
    return ItemRecord{title, url, err, info, check2Byte};
}

class TestProgramFolder final
{
public:
    TestProgramFolder();
    // Also writes a settings file with only this ExitAfterSave (missing, it reads as 1).
    explicit TestProgramFolder(int exitAfterSave);
    ~TestProgramFolder();
    TestProgramFolder(const TestProgramFolder&) = delete;
    TestProgramFolder& operator=(const TestProgramFolder&) = delete;

    bool isValid() const { return valid; }
    // The folders with their separator: the program folder and its default item folder.
    QString path() const { return dir.path() + u'/'; }
    QString itemFolder() const { return path() + QStringLiteral("URLs/"); }
    QString ini() const { return path() + QStringLiteral("SiteVigil.ini"); }
    QString itemPath(const QString& title) const
    {
        return itemFolder() + title + QStringLiteral(".url");
    }

    // Writes the item's file in the layout a new one has: seven CRLF lines in CP932.
    void writeItem(const ItemRecord& item) const;
    // The file's lines as stored (split at CR LF; a lone CR or LF stays inside its line).
    QStringList itemLines(const QString& title) const;
    // The Info line's value, or a null string when the file does not have the item layout.
    QString storedInfo(const QString& title) const;
    // Makes writing the item's file fail: the item folder removed, or the file read-only.
    bool failWrites(const QString& title, bool folderGone) const;

private:
    QTemporaryDir dir;
    bool valid = false;
};
