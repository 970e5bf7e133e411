#pragma once
// Reading files and replacing them atomically, with the error texts shown to the user.
#include <QByteArray>
#include <QList>
#include <QString>

class QFileInfo;
class QIODevice;

namespace FileIO
{
// The whole file; false with the system's reason in error when it cannot be read.
bool ReadAll(const QString& path, QByteArray* bytes, QString* error);

// A line ends at CR LF, CR or LF; a last line without terminator counts too. CR and LF never
// occur inside a CP932 pair, so CP932 bytes can be split directly.
QList<QByteArray> SplitLines(const QByteArray& bytes);
// Lines of an item file: a line ends at CR LF or CR, and a lone LF is a character of its line
// (old files hold such error texts). Text without any CR, written by tools that end lines
// with LF alone, is split as SplitLines does.
QList<QByteArray> SplitLinesAtCR(const QByteArray& bytes);

// A value written as one line: its line breaks become blanks.
QString OneLine(QString value);

// Windows' read-only attribute: the file has no write permission at all (checked on the
// bits, so that root sees it too), or this user may not write it.
bool IsReadOnly(const QFileInfo& info);

// Replaces the file at path with bytes through an AtomicFile: the old content stays whole
// until the new one is. Empty on success, otherwise the message.
QString WriteAtomically(const QString& path, const QByteArray& bytes);
// The same with what source still holds, read in blocks; sourcePath names it in messages.
QString CopyAtomically(QIODevice& source, const QString& sourcePath, const QString& path);
} // namespace FileIO
