#pragma once
// The page each item had when the user last accepted it, kept so that the next change can be
// shown line by line. The store is a cache in the user's data folder, not the user's data: a
// file that cannot be written or read simply means no kept page, and nothing is reported.
// Writes go to a thread of their own, so a run never waits for the disk.
#include "check/TransferState.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

struct KeptPage {
    KeptPage() = default;
    KeptPage(QString url, QByteArray contentType, QByteArray body, QByteArray digest = {},
             QByteArray rulesKey = {})
        : url(std::move(url)), contentType(std::move(contentType)), body(std::move(body)),
          digest(std::move(digest)), rulesKey(std::move(rulesKey))
    {
    }

    QString url; // as stored in the item file
    QByteArray contentType;
    QByteArray body; // at most MaxBodyBytes
    // The digest of its text under the rules named by rulesKey (TextDigest, RulesKey); both
    // empty when the page was kept without a decision by text.
    QByteArray digest;
    QByteArray rulesKey;
};

class KeptPages final
{
public:
    static constexpr qint64 DefaultCapBytes = 64LL * 1024 * 1024;
    static constexpr int MaxBodyBytes = TransferState::MaxBodyBytes;
    // Bodies waiting for KeepIfMissing beyond this are dropped; the next run keeps them.
    static constexpr qint64 MaxQueuedBytes = 8LL * 1024 * 1024;

    // At the end, pages kept in advance (KeepIfMissing) are written for at most this long.
    static constexpr int DrainMs = 2000;

    // An empty folder turns the store off.
    explicit KeptPages(const QString& folder = DefaultFolder(), qint64 capBytes = DefaultCapBytes);
    // Writes what is queued (see DrainMs), then ends the writer.
    ~KeptPages();
    KeptPages(const KeptPages&) = delete;
    KeptPages& operator=(const KeptPages&) = delete;

    // AppDataLocation + "/snapshots/"; empty when the system names no data folder.
    static QString DefaultFolder();
    QString Folder() const { return folder_; }

    // The page becomes the kept page of its URL.
    void Accept(const KeptPage& page);
    // The page is kept only when its URL has no kept page yet (or only an empty or cut one).
    void KeepIfMissing(const KeptPage& page);
    // The kept file's bytes (for Decode), empty when there is none; counts as a use.
    QByteArray ReadFile(const QString& url);
    // Returns once everything queued so far is written (tests, benchmarks).
    void WaitIdle();

    // The file format: "SVKP", version, sizes, a CRC of the body, the URL and the content
    // type, then the body compressed by zlib. Version 2 (a page with a digest) has the digest
    // and the rules key, each after a byte of its size, before the body. Anything else decodes
    // to nothing.
    static QByteArray Encode(const KeptPage& page);
    static std::optional<KeptPage> Decode(QByteArrayView file);
    // The kept page of url in file, when the file is whole and belongs to that URL.
    static std::optional<KeptPage> DecodeFor(const QString& url, QByteArrayView file);
    static QString FileName(const QString& url);

private:
    struct Job {
        KeptPage page;
        bool onlyIfMissing = false;
    };
    struct Entry {
        qint64 size = 0;
        qint64 used = 0;
        bool whole = false; // read and decoded, or written, by this process
    };
    void queue(Job job);
    void run();
    void write(const Job& job);
    void scan();
    void evict();
    bool isKept(const QString& name) const; // with mutex_ held

    const QString folder_;
    const qint64 capBytes_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<Job> jobs_;
    qint64 queuedBytes_ = 0;
    bool busy_ = false;
    bool stopping_ = false;
    qint64 stopDeadline_ = 0;
    std::thread writer_;
    // The writer's view of the folder, built on its first job.
    bool scanned_ = false;
    bool indexed_ = false; // entries_ is complete (set with mutex_ held)
    bool folderMade_ = false;
    QHash<QString, Entry> entries_;
    qint64 total_ = 0;
};
