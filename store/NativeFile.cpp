#include "store/NativeFile.h"

#include "app/AtomicFile.h"
#include "app/CodePage.h"
#include "app/FileIO.h"
#include "app/SystemError.h"
#include "store/FileSystem.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace NativeFile
{

QString DecodeName(QByteArrayView name)
{
    return name.isValidUtf8() ? QString::fromUtf8(name) : CodePage::FromAnsi(name);
}

QString ReachablePath(const QByteArray& path)
{
#ifdef Q_OS_UNIX
    if (!path.isValidUtf8())
        return {};
#endif
    return QFile::decodeName(path);
}

QString Display(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/') + 1;
    return QFile::decodeName(path.left(slash)) + DecodeName(QByteArrayView(path).sliced(slash));
}

bool IsFile(const QByteArray& path)
{
    if (const QString reachable = ReachablePath(path); !reachable.isNull())
        return FileSystem::FileExists(reachable);
#ifdef Q_OS_UNIX
    struct stat st;
    return ::stat(path.constData(), &st) == 0 && S_ISREG(st.st_mode);
#else
    return false;
#endif
}

bool IsReadOnly(const QByteArray& path)
{
    if (const QString reachable = ReachablePath(path); !reachable.isNull())
        return FileIO::IsReadOnly(QFileInfo(reachable));
#ifdef Q_OS_UNIX
    // As FileIO::IsReadOnly: no write bit at all, or not writable by this user.
    struct stat st;
    if (::stat(path.constData(), &st) != 0)
        return false;
    return !(st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) || ::access(path.constData(), W_OK) != 0;
#else
    return false;
#endif
}

bool ReadAll(const QByteArray& path, QByteArray* bytes, QString* error)
{
#ifdef Q_OS_UNIX
    // As little work per file as the system allows: the Setting list reads every file of a
    // folder of tens of thousands. A FIFO posing as an item does not block the open.
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        *error = SystemErrorText(errno);
        return false;
    }
    bytes->clear();
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            *error = SystemErrorText(errno);
        if (n > 0)
            bytes->append(buffer, qsizetype(n));
        // A short read of a regular file is its end: one read call for a small item file.
        if (n < qsizetype(sizeof buffer)) {
            ::close(fd);
            return n >= 0;
        }
    }
#else
    return FileIO::ReadAll(QFile::decodeName(path), bytes, error);
#endif
}

QString WriteAtomically(const QByteArray& path, const QByteArray& bytes)
{
    AtomicFile out(path);
    if (out.open() && out.write(bytes) == bytes.size() && out.commit())
        return {};
    return u"ファイル「%1」に書き込めません: %2"_s.arg(Display(path), out.errorString());
}

FileResult Delete(const QByteArray& path)
{
    if (const QString reachable = ReachablePath(path); !reachable.isNull())
        return FileSystem::DeleteFile(reachable);
#ifdef Q_OS_UNIX
    const QString shown = Display(path);
    struct stat st;
    if (::lstat(path.constData(), &st) != 0)
        return FileResult::Failure(u"ファイル「%1」が見つかりません。"_s.arg(shown));
    if (S_ISDIR(st.st_mode))
        return FileResult::Failure(u"「%1」はファイルではありません。"_s.arg(shown));
    if (IsReadOnly(path))
        return FileResult::Failure(
            u"ファイル「%1」は読み取り専用のため削除できません。"_s.arg(shown));
    if (::unlink(path.constData()) != 0)
        return FileResult::Failure(
            u"ファイル「%1」を削除できません: %2"_s.arg(shown, SystemErrorText(errno)));
    return {};
#else
    return FileResult::Failure(u"ファイル「%1」を削除できません。"_s.arg(Display(path)));
#endif
}

} // namespace NativeFile
