#include "app/Files.h"

#include "app/AtomicFile.h"
#include "app/CodePage.h"
#include "app/SystemError.h"

#include <QFile>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace
{

const QByteArray Utf8Bom = "\xEF\xBB\xBF";

QString notAFile(const QString& shown)
{
    return u"「%1」はファイルではありません。"_s.arg(shown);
}

QString cannotRead(const QString& shown, const QString& reason)
{
    return u"ファイル「%1」を読み込めません: %2"_s.arg(shown, reason);
}

QString cannotWrite(const QString& shown, const QString& reason)
{
    return u"ファイル「%1」に書き込めません: %2"_s.arg(shown, reason);
}

// A line ends at CR LF, CR, and with lfEnds at a lone LF too.
QList<QByteArray> splitLines(const QByteArray& bytes, bool atCR)
{
    QList<QByteArray> lines;
    Files::LineReader reader(bytes, atCR);
    for (QByteArrayView line; reader.Next(line);)
        lines.append(line.toByteArray());
    return lines;
}

} // namespace

namespace Files
{

QByteArray Path(const QString& path)
{
    return QFile::encodeName(path);
}

QString DecodeName(QByteArrayView name)
{
    return name.isValidUtf8() ? QString::fromUtf8(name) : CodePage::FromAnsi(name);
}

QString Display(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/') + 1;
    return QFile::decodeName(path.left(slash)) + DecodeName(QByteArrayView(path).sliced(slash));
}

bool IsFile(const QByteArray& path)
{
    struct stat st;
    return !path.isEmpty() && ::stat(path.constData(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsReadOnly(const QByteArray& path)
{
    struct stat st;
    if (::stat(path.constData(), &st) != 0)
        return false;
    return !(st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) || ::access(path.constData(), W_OK) != 0;
}

bool Read(const QByteArray& path, QByteArray* bytes, QString* error, qint64 maxBytes,
          FileIdentity* identity)
{
    // As little work per file as the system allows: the Setting list reads every file of a
    // folder of tens of thousands.
    bytes->clear();
    // Opening without blocking: a FIFO (or a link to one) has no writer to wait for. Then only
    // a regular file is read; a FIFO, device or socket may never end.
    const Files::Descriptor in{::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
    if (in.fd < 0) {
        *error = SystemErrorText(errno);
        return false;
    }
    struct stat st;
    const bool known = ::fstat(in.fd, &st) == 0;
    if (identity && known)
        *identity = {quint64(st.st_dev), quint64(st.st_ino), true};
    if (!known || !S_ISREG(st.st_mode)) {
        *error = NotRegular();
        return false;
    }
    const auto tooLarge = [&] {
        bytes->clear();
        *error = TooLarge(maxBytes);
        return false;
    };
    // A size on disk says it before any byte is read (a sparse file of gigabytes).
    if (maxBytes >= 0 && st.st_size > maxBytes)
        return tooLarge();
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(in.fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            *error = SystemErrorText(errno);
            return false;
        }
        bytes->append(buffer, qsizetype(n));
        if (maxBytes >= 0 && bytes->size() > maxBytes)
            return tooLarge();
        // A short read of a regular file is its end: one read call for a small item file.
        if (n < qsizetype(sizeof buffer))
            return true;
    }
}

QString NotRegular()
{
    return u"通常のファイルではありません（FIFO やデバイスなど）"_s;
}

QString TooLarge(qint64 maxBytes)
{
    return u"ファイルが大きすぎます（%1 バイトを超えています）"_s.arg(maxBytes);
}

QByteArray LinkTarget(const QByteArray& path)
{
    struct stat st;
    if (::lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
        return {};
    QByteArray target = path;
    AtomicFile::ResolveLinks(&target);
    return target;
}

FileResult WriteAtomically(const QByteArray& path, const QByteArray& bytes,
                           const std::function<QString()>& check)
{
    AtomicFile out(path);
    out.setReplaceCheck(check);
    if (out.open() && out.write(bytes) == bytes.size() && out.commit())
        return {};
    if (out.refused())
        return FileResult::Failure(out.errorString());
    return FileResult::Failure(cannotWrite(Display(path), out.errorString()));
}

QList<FileResult> WriteAllAtomically(const QList<std::pair<QByteArray, QByteArray>>& files)
{
    // Few enough open at once for any limit of open files.
    constexpr qsizetype Chunk = 128;
    QList<FileResult> results;
    results.reserve(files.size());
    for (qsizetype from = 0; from < files.size(); from += Chunk) {
        const qsizetype to = std::min(files.size(), from + Chunk);
        std::vector<std::unique_ptr<AtomicFile>> outs;
        for (qsizetype i = from; i < to; ++i) {
            const auto& [path, bytes] = files.at(i);
            auto out = std::make_unique<AtomicFile>(path);
            if (out->open())
                out->write(bytes);
            outs.push_back(std::move(out));
        }
        // One sync of each file system for the chunk; where it fails, its files fail too.
        QHash<quint64, QString> synced; // device: the sync's error, empty when it succeeded
        for (const auto& out : outs) {
            if (!out->errorString().isEmpty())
                continue;
            const quint64 device = out->Device();
            if (synced.contains(device))
                continue;
            synced.insert(device, out->syncFileSystem() ? QString() : out->errorString());
        }
        QSet<QByteArray> folders;
        for (qsizetype i = from; i < to; ++i) {
            AtomicFile& out = *outs[std::size_t(i - from)];
            const QString syncError =
                out.errorString().isEmpty() ? synced.value(out.Device()) : QString();
            if (!syncError.isEmpty()) {
                out.cancelWriting();
                results.append(
                    FileResult::Failure(cannotWrite(Display(files.at(i).first), syncError)));
            } else if (out.errorString().isEmpty() &&
                       out.commit(AtomicFile::FolderSync::Later, AtomicFile::FileSync::Done)) {
                folders.insert(out.TargetFolder());
                results.append(FileResult{});
            } else {
                results.append(FileResult::Failure(
                    cannotWrite(Display(files.at(i).first), out.errorString())));
            }
        }
        for (const QByteArray& folder : std::as_const(folders))
            AtomicFile::SyncFolder(folder);
    }
    return results;
}

QString NotReadable(const QString& shown)
{
    return u"ファイル「%1」を読み込めません。"_s.arg(shown);
}

QString NotReadable(const QString& shown, const QString& reason)
{
    return u"「%1」を読み込めません: %2"_s.arg(shown, reason);
}

QString NotFound(const QString& shown)
{
    return u"ファイル「%1」が見つかりません。"_s.arg(shown);
}

QString NotAFile(const QString& shown)
{
    return notAFile(shown);
}

QString ReadOnly(const QString& shown)
{
    return u"ファイル「%1」は読み取り専用です。"_s.arg(shown);
}

QString ReadOnlyNotWritten(const QString& shown)
{
    return u"「%1」は読み取り専用のため書き込めません。"_s.arg(shown);
}

QString ChangedWhileChecking(const QString& shown)
{
    return u"「%1」は確認中に変更されたため書き込みませんでした。"_s.arg(shown);
}

QString GoneWhileChecking(const QString& shown)
{
    return u"「%1」は確認中に削除または移動されたため書き込みませんでした。"_s.arg(shown);
}

FileResult Copy(const QByteArray& source, const QByteArray& destination)
{
    const QString from = Display(source);
    const QString to = Display(destination);
    struct stat src;
    if (::stat(source.constData(), &src) != 0)
        return FileResult::Failure(NotFound(from));
    if (!S_ISREG(src.st_mode))
        return FileResult::Failure(notAFile(from));
    if (struct stat dst; ::stat(destination.constData(), &dst) == 0) {
        if (S_ISDIR(dst.st_mode))
            return FileResult::Failure(u"「%1」はフォルダのため、上書きできません。"_s.arg(to));
        if (dst.st_dev == src.st_dev && dst.st_ino == src.st_ino)
            return FileResult::Failure(
                u"ファイル「%1」をそれ自身にコピーすることはできません。"_s.arg(from));
        if (IsReadOnly(destination))
            return FileResult::Failure(
                u"ファイル「%1」は読み取り専用のため上書きできません。"_s.arg(to));
    }

    const Files::Descriptor in{::open(source.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
    if (in.fd < 0)
        return FileResult::Failure(cannotRead(from, SystemErrorText(errno)));
    if (struct stat opened; ::fstat(in.fd, &opened) != 0 || !S_ISREG(opened.st_mode))
        return FileResult::Failure(notAFile(from));
    AtomicFile out(destination);
    if (!out.open())
        return FileResult::Failure(cannotWrite(to, out.errorString()));
    QByteArray block(1 << 16, Qt::Uninitialized);
    for (;;) {
        const ssize_t got = ::read(in.fd, block.data(), size_t(block.size()));
        if (got < 0 && errno == EINTR)
            continue;
        if (got == 0)
            break;
        if (got < 0) {
            const QString reason = SystemErrorText(errno);
            out.cancelWriting();
            return FileResult::Failure(cannotRead(from, reason));
        }
        if (out.write(QByteArrayView(block.constData(), got)) != got)
            return FileResult::Failure(cannotWrite(to, out.errorString()));
    }
    if (!out.commit())
        return FileResult::Failure(cannotWrite(to, out.errorString()));
    return {};
}

FileResult Delete(const QByteArray& path)
{
    const QString shown = Display(path);
    struct stat st;
    if (::lstat(path.constData(), &st) != 0)
        return FileResult::Failure(NotFound(shown));
    // A link is judged by what it points to, as when it is opened.
    if (struct stat target; ::stat(path.constData(), &target) == 0) {
        if (S_ISDIR(target.st_mode))
            return FileResult::Failure(notAFile(shown));
        if (IsReadOnly(path))
            return FileResult::Failure(
                u"ファイル「%1」は読み取り専用のため削除できません。"_s.arg(shown));
    }
    if (::unlink(path.constData()) != 0)
        return FileResult::Failure(
            u"ファイル「%1」を削除できません: %2"_s.arg(shown, SystemErrorText(errno)));
    return {};
}

QList<QByteArray> SplitLines(const QByteArray& bytes)
{
    return splitLines(bytes, false);
}

QList<QByteArray> SplitLinesAtCR(const QByteArray& bytes)
{
    return splitLines(bytes, true);
}

LineReader::LineReader(QByteArrayView bytes, bool atCR)
    : LineReader(bytes, !atCR || !bytes.contains('\r'), 0)
{
}

LineReader::LineReader(QByteArrayView bytes, bool lfEnds, int)
    : p_(bytes.data()), n_(bytes.size()), lfEnds_(lfEnds)
{
    cr_ = nextOf('\r', 0);
    lf_ = lfEnds_ ? nextOf('\n', 0) : n_;
}

// The next CR or LF is found by memchr, not byte by byte: a file of long lines costs a step
// per line.
qsizetype LineReader::nextOf(char c, qsizetype from) const
{
    const void* at = from < n_ ? std::memchr(p_ + from, c, std::size_t(n_ - from)) : nullptr;
    return at ? static_cast<const char*>(at) - p_ : n_;
}

bool LineReader::Next(QByteArrayView& line)
{
    qsizetype i = std::min(cr_, lf_);
    if (i >= n_) {
        if (start_ >= n_)
            return false;
        line = QByteArrayView(p_ + start_, n_ - start_); // a last line without an end
        start_ = n_;
        return true;
    }
    line = QByteArrayView(p_ + start_, i - start_);
    if (i == cr_ && i + 1 < n_ && p_[i + 1] == '\n')
        ++i;
    start_ = i + 1;
    if (cr_ < start_)
        cr_ = nextOf('\r', start_);
    if (lf_ < start_)
        lf_ = lfEnds_ ? nextOf('\n', start_) : n_;
    return true;
}

QByteArrayView LineReader::SkipToLineWith(char c)
{
    const qsizetype from = start_;
    const qsizetype hit = nextOf(c, from);
    // The line that holds it begins after the last line end before it.
    qsizetype begin = hit;
    if (hit < n_) {
        const auto after = [&](char end) {
            const void* at = ::memrchr(p_ + from, end, std::size_t(hit - from));
            return at ? static_cast<const char*>(at) - p_ + 1 : from;
        };
        begin = after('\r');
        if (lfEnds_)
            begin = std::max(begin, after('\n'));
        else if (begin > from && p_[begin] == '\n') // c is no LF: this one ends a CR LF
            ++begin;
    }
    start_ = begin;
    if (cr_ < start_)
        cr_ = nextOf('\r', start_);
    if (lf_ < start_)
        lf_ = lfEnds_ ? nextOf('\n', start_) : n_;
    return QByteArrayView(p_ + from, begin - from);
}

void LineReader::AppendWithCRLF(QByteArray& out, QByteArrayView lines) const
{
    if (lines.isEmpty())
        return;
    // Lines that all end in CR LF are taken as they stand, the usual case.
    const qsizetype crlf = lines.count("\r\n");
    if (lines.count('\r') == crlf && (!lfEnds_ || lines.count('\n') == crlf)) {
        out += lines;
        if (!lines.endsWith("\r\n"))
            out += "\r\n";
        return;
    }
    LineReader reader(lines, lfEnds_, 0);
    for (QByteArrayView line; reader.Next(line);) {
        out += line;
        out += "\r\n";
    }
}

void LineReader::AppendLinesWithCRLF(QByteArray& out, QByteArrayView lines)
{
    LineReader(QByteArrayView(), false).AppendWithCRLF(out, lines);
}

QString OneLine(QString value, bool keepLoneLF)
{
    value.replace(u"\r\n"_s, u" "_s);
    value.replace(u'\r', u' ');
    if (!keepLoneLF)
        value.replace(u'\n', u' ');
    return value;
}

QString TrimBlanks(QStringView text, QStringView blanks)
{
    qsizetype b = 0, e = text.size();
    while (b < e && blanks.contains(text[b]))
        ++b;
    while (e > b && blanks.contains(text[e - 1]))
        --e;
    return text.mid(b, e - b).toString();
}

QString TextEncoding::decode(QByteArrayView raw) const
{
    return utf8 ? QString::fromUtf8(raw) : CodePage::FromAnsi(raw);
}

QByteArray TextEncoding::encode(const QString& text) const
{
    return utf8 ? text.toUtf8() : CodePage::ToAnsi(text);
}

QByteArray TextEncoding::mark() const
{
    return utf8 ? Utf8Bom : QByteArray();
}

TextEncoding TakeByteOrderMark(QByteArray* bytes)
{
    TextEncoding e;
    e.utf8 = bytes->startsWith(Utf8Bom);
    if (e.utf8)
        bytes->remove(0, Utf8Bom.size());
    return e;
}

TextEncoding TakeByteOrderMark(QByteArrayView* bytes)
{
    TextEncoding e;
    e.utf8 = bytes->startsWith(Utf8Bom);
    if (e.utf8)
        *bytes = bytes->sliced(Utf8Bom.size());
    return e;
}

bool IsUtf16(QByteArrayView bytes)
{
    return bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF");
}

bool LooksMarked(QByteArrayView bytes)
{
    return bytes.startsWith(Utf8Bom) || IsUtf16(bytes);
}

} // namespace Files
