#include "app/AtomicFile.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>

#include <filesystem>
#include <system_error>
#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

AtomicFile::AtomicFile(const QString& path) : path_(path) {}

AtomicFile::~AtomicFile()
{
    cancelWriting();
}

bool AtomicFile::NameHasPlaceholder(const QString& path)
{
    const QString name = path.mid(path.lastIndexOf(u'/') + 1);
    int run = 0;
    for (const QChar c : name) {
        run = c == u'X' ? run + 1 : 0;
        if (run >= 6)
            return true;
    }
    return false;
}

bool AtomicFile::open()
{
    error_.clear();
    if (!NameHasPlaceholder(path_)) {
        save_ = std::make_unique<QSaveFile>(path_);
        return save_->open(QIODevice::WriteOnly) || fail(save_->errorString());
    }
    const QFileInfo target(path_);
    if (target.isDir())
        return fail(u"「%1」はフォルダです"_s.arg(path_));
    temp_ = std::make_unique<QTemporaryFile>(target.absolutePath() + u"/.sitevigil-XXXXXX"_s);
    temp_->setAutoRemove(true);
    return temp_->open() || fail(temp_->errorString());
}

qint64 AtomicFile::write(QByteArrayView data)
{
    QFileDevice* device = save_ ? static_cast<QFileDevice*>(save_.get()) : temp_.get();
    if (!device) {
        error_ = u"ファイルが開かれていません"_s;
        return -1;
    }
    const qint64 written = device->write(data.data(), data.size());
    if (written != data.size())
        error_ = device->errorString();
    return written;
}

bool AtomicFile::commit()
{
    if (save_) {
        const bool ok = save_->commit();
        const QString error = save_->errorString();
        save_.reset();
        return ok || fail(error);
    }
    if (!temp_)
        return fail(u"ファイルが開かれていません"_s);
    if (!temp_->flush())
        return fail(temp_->errorString());
#ifdef Q_OS_UNIX
    if (::fdatasync(temp_->handle()) != 0)
        return fail(u"ディスクに書き込めません"_s);
#endif
    const QFileInfo target(path_);
    const QFileDevice::Permissions permissions = target.exists()
        ? target.permissions()
        : QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
            | QFileDevice::ReadOther;
    temp_->setPermissions(permissions);
    const QString tempPath = temp_->fileName();
    temp_->close();
    std::error_code ec;
    std::filesystem::rename(QFile::encodeName(tempPath).toStdString(),
                            QFile::encodeName(path_).toStdString(), ec);
    if (ec)
        return fail(QString::fromLocal8Bit(ec.message()));
    temp_->setAutoRemove(false); // it is the file now
    temp_.reset();
    return true;
}

void AtomicFile::cancelWriting()
{
    if (save_)
        save_->cancelWriting();
    save_.reset();
    temp_.reset(); // removes the temporary
}

bool AtomicFile::fail(const QString& error)
{
    error_ = error;
    cancelWriting();
    return false;
}
