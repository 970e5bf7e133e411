#pragma once
// Item files reached by the bytes of their path. A name copied from a Japanese Windows machine
// may be Shift-JIS, which no QString path reaches here: Qt spells every file name in UTF-8.
#include "store/ItemFile.h"

#include <QByteArray>
#include <QString>

namespace NativeFile
{
// A file name as text: its bytes decoded as UTF-8 when they are valid UTF-8, otherwise as CP932.
QString DecodeName(QByteArrayView name);
// The path as a QString that reaches the same file, or a null string when there is none.
QString ReachablePath(const QByteArray& path);
// The path as the user reads it in messages.
QString Display(const QByteArray& path);

bool IsFile(const QByteArray& path);
bool IsReadOnly(const QByteArray& path);
bool ReadAll(const QByteArray& path, QByteArray* bytes, QString* error);
// Empty on success, otherwise the message.
QString WriteAtomically(const QByteArray& path, const QByteArray& bytes);
// Removes the file; a read-only file is not forced.
FileResult Delete(const QByteArray& path);
} // namespace NativeFile
