#include "store/NativeFile.h"

#include "app/CodePage.h"
#include "app/FileIO.h"
#include "store/FileSystem.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace
{

FileResult failure(const QString& message)
{
    return FileResult{false, message};
}

#ifdef Q_OS_UNIX
QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}
#endif

} // namespace

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
    if (const QString reachable = ReachablePath(path); !reachable.isNull())
        return FileIO::ReadAll(reachable, bytes, error);
#ifdef Q_OS_UNIX
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *error = systemError(errno);
        return false;
    }
    QFile f;
    if (!f.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        *error = f.errorString();
        return false;
    }
    *bytes = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        *error = f.errorString();
        return false;
    }
    return true;
#else
    *error = u"ファイル名を扱えません"_s;
    return false;
#endif
}

QString WriteAtomically(const QByteArray& path, const QByteArray& bytes)
{
    if (const QString reachable = ReachablePath(path); !reachable.isNull())
        return FileIO::WriteAtomically(reachable, bytes);
#ifdef Q_OS_UNIX
    // A link is written to the file it points to and stays a link, as on every other road.
    struct stat link;
    if (::lstat(path.constData(), &link) == 0 && S_ISLNK(link.st_mode)) {
        if (char* real = ::realpath(path.constData(), nullptr)) {
            const QByteArray target(real);
            std::free(real);
            return WriteAtomically(target, bytes);
        }
    }
    // The folder's part of the path is text, only the name is not: the new content is
    // written whole under a hidden name of its own beside the file, then renamed over it.
    const qsizetype slash = path.lastIndexOf('/') + 1;
    const QString folder = QFile::decodeName(path.left(slash));
    const QString staged =
        folder + u".sitevigil-%1"_s.arg(QRandomGenerator::global()->generate64(), 16, 16,
                                        QChar(u'0'));
    if (const QString error = FileIO::WriteAtomically(staged, bytes); !error.isEmpty())
        return error;
    const QByteArray stagedPath = QFile::encodeName(staged);
    struct stat st;
    if (::stat(path.constData(), &st) == 0)
        ::chmod(stagedPath.constData(), st.st_mode & 07777);
    if (std::rename(stagedPath.constData(), path.constData()) != 0) {
        const int error = errno;
        ::unlink(stagedPath.constData());
        return u"ファイル「%1」に書き込めません: %2"_s.arg(Display(path), systemError(error));
    }
    return {};
#else
    Q_UNUSED(bytes);
    return u"ファイル「%1」に書き込めません"_s.arg(Display(path));
#endif
}

FileResult Delete(const QByteArray& path)
{
    if (const QString reachable = ReachablePath(path); !reachable.isNull())
        return FileSystem::DeleteFile(reachable);
#ifdef Q_OS_UNIX
    const QString shown = Display(path);
    struct stat st;
    if (::lstat(path.constData(), &st) != 0)
        return failure(u"ファイル「%1」が見つかりません。"_s.arg(shown));
    if (S_ISDIR(st.st_mode))
        return failure(u"「%1」はファイルではありません。"_s.arg(shown));
    if (IsReadOnly(path))
        return failure(u"ファイル「%1」は読み取り専用のため削除できません。"_s.arg(shown));
    if (::unlink(path.constData()) != 0)
        return failure(u"ファイル「%1」を削除できません: %2"_s.arg(shown, systemError(errno)));
    return {};
#else
    return failure(u"ファイル「%1」を削除できません。"_s.arg(Display(path)));
#endif
}

} // namespace NativeFile
