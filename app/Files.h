#pragma once
// The one road to the files the program reads and writes (item files, the settings file, a
// dropped file). A file is reached by the bytes of its path: a name copied from a Japanese
// Windows machine may be Shift-JIS, which no QString path reaches (Qt spells every name in
// UTF-8). The Japanese messages of these operations are written here and nowhere else.
#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>
#include <unistd.h>

struct FileResult {
    bool ok = true;
    QString message; // why it failed, for the user

    static FileResult Failure(const QString& message) { return FileResult{false, message}; }
};

namespace Files
{
// A path given as text, as the file system spells it.
QByteArray Path(const QString& path);
// A file name as text: its bytes decoded as UTF-8 when they are valid UTF-8, otherwise as CP932.
QString DecodeName(QByteArrayView name);
// The path as the user reads it in messages.
QString Display(const QByteArray& path);

// True exactly when a regular file (or a link to one) is at path.
bool IsFile(const QByteArray& path);
// Windows' read-only attribute: the file has no write permission at all (checked on the bits,
// so that root sees it too), or this user may not write it. False when there is no file.
bool IsReadOnly(const QByteArray& path);

// Which file a path led to when it was opened; known is false when it could not be opened.
// Closes the descriptor when it goes out of scope.
struct Descriptor {
    int fd;
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

struct FileIdentity {
    quint64 device = 0;
    quint64 inode = 0;
    bool known = false;
};

// The whole file; false with the system's reason in error when it cannot be read. Only a
// regular file (or a link to one) is read, and nothing blocks. A file of more than maxBytes (when
// not negative) is not read at all: false, with that reason. identity, when given, gets the
// file that was opened (whatever it is), so that bytes and identity describe the same one.
bool Read(const QByteArray& path, QByteArray* bytes, QString* error, qint64 maxBytes = -1,
          FileIdentity* identity = nullptr);
// The reason Read gives for a FIFO, device, socket or folder.
QString NotRegular();
// The reason Read gives for a file of more than maxBytes.
QString TooLarge(qint64 maxBytes);
// The file a write to path replaces when path is a symbolic link (followed to its end, which
// may not exist), otherwise empty.
QByteArray LinkTarget(const QByteArray& path);
// Replaces the file with bytes through an AtomicFile: the old content stays whole until the
// new one is. A check given is the AtomicFile's replace check: the reason it gives, when it
// refuses, is the failure's message as it is.
FileResult WriteAtomically(const QByteArray& path, const QByteArray& bytes,
                           const std::function<QString()>& check = {});
// The same for many files (path, bytes) at once, a result for each: every file is on the disk
// and renamed as WriteAtomically does, and its folder synced, before its result tells it
// written; but up to 128 files are written first and made durable by one sync of their file
// system, one wait for the disk rather than one for each file.
QList<FileResult> WriteAllAtomically(const QList<std::pair<QByteArray, QByteArray>>& files);
// Copies byte for byte (a link is copied as the file it points to), replacing an existing
// destination atomically; never onto itself, a folder or a read-only file.
FileResult Copy(const QByteArray& source, const QByteArray& destination);
// Removes the file (a link itself, not its target); a read-only file is not forced.
FileResult Delete(const QByteArray& path);

// The reasons other units refuse a file with, shown is the path as Display gives it.
QString NotReadable(const QString& shown); // no reason to tell
QString NotReadable(const QString& shown, const QString& reason);
QString NotFound(const QString& shown);
QString NotAFile(const QString& shown);
QString ReadOnly(const QString& shown);           // a file that is not to be replaced
QString ReadOnlyNotWritten(const QString& shown); // the same, said of an item file
// An item file a check run read and would have rewritten, left as the user made it meanwhile.
QString ChangedWhileChecking(const QString& shown);
QString GoneWhileChecking(const QString& shown); // removed or renamed

// A line ends at CR LF, CR or LF; a last line without terminator counts too. CR and LF never
// occur inside a CP932 pair, so CP932 bytes can be split directly.
QList<QByteArray> SplitLines(const QByteArray& bytes);
// Lines of an item file: a line ends at CR LF or CR, and a lone LF is a character of its line
// (old files hold such error texts). Text without any CR, written by tools that end lines
// with LF alone, is split as SplitLines does.
QList<QByteArray> SplitLinesAtCR(const QByteArray& bytes);
// The lines SplitLines (or, atCR, SplitLinesAtCR) gives, one after the other, as views into
// bytes: nothing is copied, so a large file costs no allocation per line.
class LineReader
{
public:
    explicit LineReader(QByteArrayView bytes, bool atCR = false);
    // The next line into line; false after the last.
    bool Next(QByteArrayView& line);
    // Passes over the lines before the next one that holds c (over all that are left when
    // none does), and gives them as they stand, their ends included.
    QByteArrayView SkipToLineWith(char c);
    // Appends lines as SkipToLineWith gives them, each ended by CR LF as when what Next
    // gives is joined so.
    void AppendWithCRLF(QByteArray& out, QByteArrayView lines) const;
    // AppendWithCRLF for lines of bytes that SplitLines splits (not at CR alone).
    static void AppendLinesWithCRLF(QByteArray& out, QByteArrayView lines);

private:
    LineReader(QByteArrayView bytes, bool lfEnds, int);
    qsizetype nextOf(char c, qsizetype from) const;
    const char* p_;
    qsizetype n_;
    bool lfEnds_;
    qsizetype start_ = 0, cr_ = 0, lf_ = 0;
};
// A value written as one line: CR LF, CR and (unless keepLoneLF) LF become blanks.
QString OneLine(QString value, bool keepLoneLF = false);
// The text without the given blanks at either end.
QString TrimBlanks(QStringView text, QStringView blanks = u" \t");

// A file that begins with a UTF-8 byte-order mark is UTF-8 throughout (some Linux editors
// write one); any other is CP932. A rewrite keeps the mark.
struct TextEncoding {
    bool utf8 = false;
    QString decode(QByteArrayView raw) const;
    QByteArray encode(const QString& text) const;
    QByteArray mark() const; // what a rewritten file begins with
};
// Takes the UTF-8 mark off the bytes, and tells which encoding they are in.
TextEncoding TakeByteOrderMark(QByteArray* bytes);
TextEncoding TakeByteOrderMark(QByteArrayView* bytes);
// True when the bytes begin with a UTF-16 byte-order mark.
bool IsUtf16(QByteArrayView bytes);
// True when CP932 bytes would read as if they had a byte-order mark.
bool LooksMarked(QByteArrayView bytes);
} // namespace Files
