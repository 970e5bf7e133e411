#pragma once
// What a check run read of each item file: a digest of its bytes and which file held them
// (device and inode). A run writes an item file only while it is still that file with those
// bytes, so that an edit made meanwhile (another window, any editor) is never overwritten, a
// removed file never comes back and a renamed one never returns under its old name.
#include "app/Files.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <array>

class ItemFileStamps final
{
public:
    enum class Since { Unchanged, Changed, Gone };

    // Forgets every stamp; those taken next are of the listed files of folderPath (a plain
    // prefix, as ListItemFiles takes it), about count of them.
    void Begin(const QString& folderPath, qsizetype count = 0);
    // The bytes just read from the listed file fileName, and the file they were read from.
    void Take(const QByteArray& fileName, QByteArrayView bytes, const Files::FileIdentity& file);
    // A path as ListedFilePath gives it: whether it has a stamp, and a stamp anew of the bytes
    // just written there (which file it is taken after the writing: a file put there in
    // between reads as changed later, never as unchanged).
    bool Has(const QByteArray& path) const { return stamps_.contains(nameOf(path)); }
    void Renew(const QByteArray& path, QByteArrayView bytes);
    // The file at path now against its stamp; a path never taken is Unchanged.
    Since Compare(const QByteArray& path) const;
    // The message a refused write is told with, or empty for Unchanged.
    QString Refusal(const QByteArray& path) const;
    void Clear() { Begin({}); }

private:
    struct Stamp {
        std::array<char, 32> digest{}; // SHA-256, held inline: one stamp per item file
        quint64 device = 0;
        quint64 inode = 0;
        bool present = false;
    };
    QByteArray nameOf(const QByteArray& path) const;

    QByteArray folder_; // the folder part of the folder path, as ListedFilePath has it
    // By listed name: the keys share their bytes with the catalogue's file names.
    QHash<QByteArray, Stamp> stamps_;
};
