#pragma once
// What a check run read of each item file: a digest of its bytes and which file held them
// (device and inode). A run writes an item file only while it is still that file with those
// bytes, so that an edit made meanwhile (another window, any editor) is never overwritten, a
// removed file never comes back and a renamed one never returns under its old name.
#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <array>

class ItemFileStamps final
{
public:
    enum class Since { Unchanged, Changed, Gone };

    // The bytes just read from path, or just written to it; which file it is is taken now (a
    // file replaced in between reads as changed later, never as unchanged).
    void Take(const QByteArray& path, QByteArrayView bytes);
    bool Has(const QByteArray& path) const { return stamps_.contains(path); }
    // The file at path now against its stamp; a path never taken is Unchanged.
    Since Compare(const QByteArray& path) const;
    // The message a refused write is told with, or empty for Unchanged.
    QString Refusal(const QByteArray& path) const;
    void Clear() { stamps_.clear(); }

private:
    struct Stamp {
        std::array<char, 32> digest{}; // SHA-256, held inline: one stamp per item file
        quint64 device = 0;
        quint64 inode = 0;
        bool present = false;
    };
    QHash<QByteArray, Stamp> stamps_;
};
