#include "check/ListedBodies.h"

#include <QDir>

using namespace Qt::StringLiterals;

ListedBodies::ListedBodies(const QString& folder)
    : folder_(folder.isEmpty() ? QDir::tempPath() : folder)
{
}

ListedBodies::~ListedBodies() = default;

bool ListedBodies::open()
{
    if (file_)
        return true;
    if (failed_ || !QDir().mkpath(folder_)) {
        failed_ = true;
        return false;
    }
    auto file = std::make_unique<QTemporaryFile>(QDir(folder_).filePath(u".listed-XXXXXX"_s));
    if (!file->open()) {
        failed_ = true;
        return false;
    }
    // Unnamed from here on: the bytes vanish with the process, even when it is killed.
    file->setAutoRemove(!QFile::remove(file->fileName()));
    file_ = std::move(file);
    end_ = 0;
    return true;
}

ListedBody ListedBodies::Put(const QByteArray& body)
{
    if (body.isEmpty() || !open())
        return {.offset = -1, .size = body.size(), .held = body};
    if (!file_->seek(end_) || file_->write(body) != body.size()) {
        // A full disk: this body stays in memory; the span written so far is overwritten.
        return {.offset = -1, .size = body.size(), .held = body};
    }
    const ListedBody out{.offset = end_, .size = body.size(), .held = {}};
    end_ += body.size();
    return out;
}

std::optional<QByteArray> ListedBodies::Get(const ListedBody& body)
{
    if (body.offset < 0)
        return body.held;
    if (!file_ || !file_->seek(body.offset))
        return std::nullopt;
    QByteArray bytes = file_->read(body.size);
    if (bytes.size() != body.size)
        return std::nullopt;
    return bytes;
}

void ListedBodies::Clear()
{
    if (file_ && !file_->resize(0))
        file_.reset(); // a new file next time
    end_ = 0;
}
