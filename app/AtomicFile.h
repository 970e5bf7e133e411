#pragma once
// Replaces a file in one step, like QSaveFile: after a crash the path holds the old or the
// new content. A temporary that a crash leaves behind is never named like an item or
// settings file: QSaveFile names its temporary after the file, with the random part at the
// last run of six "X" of the name when there is one ("NewsXXXXXX.url" -> "News3fK9aQ.url"),
// so for such names the temporary is a hidden file of its own name instead.
#include <QByteArrayView>
#include <QString>
#include <memory>

class QSaveFile;
class QTemporaryFile;

class AtomicFile final
{
public:
    explicit AtomicFile(const QString& path);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    bool open();
    qint64 write(QByteArrayView data); // bytes written, -1 on failure
    bool commit();                   // the new content replaces the file
    void cancelWriting();            // the file stays as it was
    QString errorString() const { return error_; }

    // Whether QSaveFile would put its random part inside the file's own name.
    static bool NameHasPlaceholder(const QString& path);

private:
    bool fail(const QString& error);

    QString path_;
    std::unique_ptr<QSaveFile> save_;
    std::unique_ptr<QTemporaryFile> temp_;
    QString error_;
};
