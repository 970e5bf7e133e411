#include "store/ItemFileStamp.h"

#include "app/Files.h"
#include "store/ItemFile.h"
#include "store/ItemFolder.h"

#include <QCryptographicHash>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

std::array<char, 32> digestOf(QByteArrayView bytes)
{
    const QByteArray hash = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
    std::array<char, 32> digest;
    std::copy_n(hash.constData(), digest.size(), digest.begin());
    return digest;
}

} // namespace

void ItemFileStamps::Begin(const QString& folderPath, qsizetype count)
{
    stamps_.clear();
    folder_ = ListedFilePath(folderPath, {});
    if (count > 0)
        stamps_.reserve(count);
}

void ItemFileStamps::Take(const QByteArray& fileName, QByteArrayView bytes,
                          const Files::FileIdentity& file)
{
    Stamp stamp;
    if (file.known)
        stamp = {digestOf(bytes), file.device, file.inode, true};
    stamps_.insert(fileName, stamp);
}

void ItemFileStamps::Renew(const QByteArray& path, QByteArrayView bytes)
{
    const QByteArray name = nameOf(path);
    if (!stamps_.contains(name))
        return;
    Files::FileIdentity file;
    if (struct stat st; ::stat(path.constData(), &st) == 0)
        file = {quint64(st.st_dev), quint64(st.st_ino), true};
    Take(name, bytes, file);
}

QByteArray ItemFileStamps::nameOf(const QByteArray& path) const
{
    if (!path.startsWith(folder_) || path.indexOf('/', folder_.size()) >= 0)
        return {};
    return path.sliced(folder_.size());
}

ItemFileStamps::Since ItemFileStamps::Compare(const QByteArray& path) const
{
    const auto found = stamps_.constFind(nameOf(path));
    if (found == stamps_.cend())
        return Since::Unchanged;
    const Stamp& was = *found;
    // Identity and bytes from one opening, so that both describe the same file; nothing
    // blocks on a FIFO put there.
    const Files::Descriptor in{::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
    struct stat st;
    if (in.fd < 0 && (errno == ENOENT || errno == ENOTDIR))
        return Since::Gone;
    if (in.fd < 0 ? ::stat(path.constData(), &st) != 0 : ::fstat(in.fd, &st) != 0)
        return Since::Changed;
    if (!was.present || quint64(st.st_dev) != was.device || quint64(st.st_ino) != was.inode)
        return Since::Changed;
    if (in.fd < 0 || !S_ISREG(st.st_mode))
        return Since::Unchanged; // the same file the run could not read either
    if (st.st_size > MaxItemFileBytes)
        return Since::Changed; // no item file is read whole at that size
    QCryptographicHash hash(QCryptographicHash::Sha256);
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(in.fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Since::Changed;
        if (n == 0)
            break;
        hash.addData(QByteArrayView(buffer, qsizetype(n)));
    }
    return hash.resultView() == QByteArrayView(was.digest.data(), qsizetype(was.digest.size()))
               ? Since::Unchanged
               : Since::Changed;
}

QString ItemFileStamps::Refusal(const QByteArray& path) const
{
    switch (Compare(path)) {
    case Since::Unchanged:
        break;
    case Since::Changed:
        return Files::ChangedWhileChecking(Files::Display(path));
    case Since::Gone:
        return Files::GoneWhileChecking(Files::Display(path));
    }
    return {};
}
