#pragma once
// The file operations of the item store.
#include "store/ItemFile.h"
#include <QString>

namespace FileSystem {
// True exactly when a regular file (not a folder) exists at path.
bool FileExists(const QString& path);
// Removes the file; a read-only file is not forced.
FileResult DeleteFile(const QString& path);
// The last component of the path, as the file system spells it.
QString GetFileName(const QString& path);
// Copies byte for byte (a link is copied as the file it points to), replacing an existing
// destination atomically.
FileResult CopyFile(const QString& source, const QString& destination);
} // namespace FileSystem
