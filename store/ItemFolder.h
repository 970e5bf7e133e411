#pragma once
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

// The catalogue holds this many items at most; the listing itself has no limit.
constexpr int MaxItems = 32768;

// The names of the files matching folderPath + "*.url" (folderPath is a plain prefix), as the
// file system's bytes: files only, hidden ones excluded, extension matched without regard to
// case, ordered by name as text without regard to case.
QList<QByteArray> ListItemFiles(const QString& folderPath);

// The title of a listed file: its name as text (Files::DecodeName) less ".url".
QString ItemTitle(QByteArrayView fileName);

// The path of the listed file fileName: the folder part of folderPath + the name's bytes.
QByteArray ListedFilePath(const QString& folderPath, const QByteArray& fileName);

// The name (bytes, as listed) of an existing item file that is folderPath + fileName without
// regard to case (the exact spelling first), or empty when there is none.
QByteArray FindItemFile(const QString& folderPath, const QString& fileName);

// The item files of folderPath from one listing, found as FindItemFile finds them; names added
// later (files this program has just written) are found too. Many lookups, one listing.
class ItemFileIndex final
{
public:
    explicit ItemFileIndex(const QString& folderPath);
    QByteArray Find(const QString& fileName) const;
    // The bytes a new file of that name gets (the listed name of a file created now).
    QByteArray NewName(const QString& fileName) const;
    void Add(const QByteArray& name);

private:
    QString namePrefix;
    QSet<QByteArray> names;
    QHash<QString, QByteArray> byKey; // upper-cased name: the least of the names alike
};

// Empty when the folder that folderPath lists (its directory part) can be listed and its
// files read, otherwise why not, for the user (the folder missing, not a folder, no access).
QString FolderProblem(const QString& folderPath);
