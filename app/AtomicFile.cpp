#include "app/AtomicFile.h"

#include "app/SystemError.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

using namespace Qt::StringLiterals;

namespace
{

constexpr int MaxLinks = 40; // as the system follows them

// The folder part of a native path, with its separator; empty for a bare name.
QByteArray folderOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash >= 0 ? path.left(slash + 1) : QByteArray();
}

} // namespace

int AtomicFile::ResolveLinks(QByteArray* path)
{
    for (int hops = 0;; ++hops) {
        struct stat st;
        if (::lstat(path->constData(), &st) != 0)
            return errno == ENOENT ? 0 : errno;
        if (S_ISDIR(st.st_mode))
            return EISDIR;
        if (!S_ISLNK(st.st_mode))
            return 0;
        if (hops == MaxLinks)
            return ELOOP;
        QByteArray link(st.st_size > 0 ? qsizetype(st.st_size) + 1 : 4096, Qt::Uninitialized);
        const ssize_t n = ::readlink(path->constData(), link.data(), size_t(link.size()));
        if (n < 0)
            return errno;
        link.truncate(qsizetype(n));
        *path = link.startsWith('/') ? link : folderOf(*path) + link;
    }
}

namespace
{

bool writeAll(int fd, const char* data, qsizetype size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

} // namespace

AtomicFile::AtomicFile(const QString& path, Kind kind) : kind_(kind), path_(QFile::encodeName(path))
{
}

AtomicFile::AtomicFile(QByteArray nativePath, Kind kind) : kind_(kind), path_(std::move(nativePath))
{
}

AtomicFile::~AtomicFile()
{
    cancelWriting();
}

bool AtomicFile::open()
{
    cancelWriting();
    error_.clear();
    refused_ = false;
    if (path_.isEmpty())
        return fail(ENOENT);
    target_ = path_;
    // A cache file is the program's own: a link standing there is replaced, never followed
    // (it might lead to a device or to another user's file).
    if (kind_ == Kind::UserData)
        if (const int err = ResolveLinks(&target_))
            return fail(err);

    static constexpr char letters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    const QByteArray start =
        folderOf(target_) + QByteArray(TemporaryPrefix.data(), qsizetype(TemporaryPrefix.size()));
    for (int attempt = 0; attempt < 100; ++attempt) {
        QByteArray name = start;
        for (int i = 0; i < 8; ++i)
            name += letters[QRandomGenerator::global()->bounded(int(sizeof letters - 1))];
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                              kind_ == Kind::Cache ? 0600 : 0666);
        if (fd >= 0) {
            fd_ = fd;
            temp_ = name;
            return true;
        }
        if (errno != EEXIST && errno != EINTR)
            return fail(errno);
    }
    return fail(EEXIST);
}

qint64 AtomicFile::write(QByteArrayView data)
{
    if (fd_ < 0) {
        error_ = u"ファイルが開かれていません"_s;
        return -1;
    }
    if (!writeAll(fd_, data.data(), data.size())) {
        fail(errno);
        return -1;
    }
    return data.size();
}

bool AtomicFile::syncFileSystem()
{
    if (fd_ < 0)
        return fail(u"ファイルが開かれていません"_s);
    if (::syncfs(fd_) != 0)
        return fail(errno);
    return true;
}

quint64 AtomicFile::Device() const
{
    struct stat info;
    return fd_ >= 0 && ::fstat(fd_, &info) == 0 ? quint64(info.st_dev) : 0;
}

QByteArray AtomicFile::TargetFolder() const
{
    return folderOf(target_);
}

void AtomicFile::SyncFolder(const QByteArray& folder)
{
    const int dirFd =
        ::open(folder.isEmpty() ? "." : folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        (void)::fsync(dirFd);
        ::close(dirFd);
    }
}

bool AtomicFile::commit(FolderSync folderSync, FileSync fileSync)
{
    if (fd_ < 0)
        return fail(u"ファイルが開かれていません"_s);
    struct stat old;
    bool synced = fileSync == FileSync::Done;
    if (kind_ == Kind::UserData && ::stat(target_.constData(), &old) == 0) {
        // The owner first: changing it may clear the set-id bits that fchmod then restores.
        if (old.st_uid != ::geteuid() || old.st_gid != ::getegid())
            (void)::fchown(fd_, old.st_uid, old.st_gid); // allowed to root and group members
        if (::fchmod(fd_, old.st_mode & 07777) != 0)
            return fail(errno);
        synced = false; // the mode too must be on the disk before the rename
    }
    if (kind_ == Kind::UserData && !synced && ::fsync(fd_) != 0)
        return fail(errno);
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) // where a network file system reports a late write error
        return fail(errno);
    // As late as the file road allows: what the check saw is what the rename replaces but
    // for the moment between the two.
    if (check_) {
        if (QString why = check_(); !why.isEmpty()) {
            refused_ = true;
            return fail(why);
        }
    }
    if (::rename(temp_.constData(), target_.constData()) != 0)
        return fail(errno);
    temp_.clear(); // it is the file now
    if (kind_ == Kind::Cache || folderSync == FolderSync::Later)
        return true;
    // The rename itself reaches the disk with the folder.
    SyncFolder(folderOf(target_));
    return true;
}

void AtomicFile::cancelWriting()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    if (!temp_.isEmpty())
        ::unlink(temp_.constData());
    temp_.clear();
}

void AtomicFile::RemoveIfStale(const char* nativePath)
{
    struct stat st;
    if (::lstat(nativePath, &st) != 0 || !S_ISREG(st.st_mode))
        return;
    if (std::time(nullptr) - st.st_mtime > StaleSeconds)
        ::unlink(nativePath);
}

bool AtomicFile::fail(int errnum)
{
    return fail(SystemErrorText(errnum));
}

bool AtomicFile::fail(const QString& error)
{
    error_ = error;
    cancelWriting();
    return false;
}
