#pragma once
// The page each item had when the user last accepted it, kept so that the next change can be
// shown line by line. The store is a cache in the user's data folder, not the user's data: a
// file that cannot be written or read simply means no kept page, and nothing is reported.
// Writes go to a thread of their own, so a run never waits for the disk.
// The cap counts the disk blocks of every file in the folder, foreign ones too. Pages of URLs
// no item has go first, then (as a cache) the pages used least recently; as baselines, the
// pages of the catalogue's items are never evicted. A page kept only in advance is written
// only where it fits, so that a full store is not rewritten by every run.
#include "check/TransferState.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

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
    qint64 CapBytes() const { return capBytes_; }

    // The page becomes the kept page of its URL.
    void Accept(const KeptPage& page);
    // The page is kept only when its URL has no kept page yet (or only an empty or cut one).
    void KeepIfMissing(const KeptPage& page);
    // The kept file's bytes (for Decode), empty when there is none; counts as a use.
    QByteArray ReadFile(const QString& url);
    // Returns once everything queued so far is written (tests, benchmarks).
    void WaitIdle();

    // The URLs of the items a run goes over; whole: every item file was read, so that a page
    // of any other URL belongs to no item.
    void SetCatalogue(const QStringList& urls, bool whole = true);
    // A run went over the whole catalogue: pages of URLs outside it are removed (those written
    // since SetCatalogue stay: another instance may have an item the catalogue has not).
    void CatalogueRunEnded();
    // Baselines: the page of an item in the catalogue is never evicted, however full; all of
    // them (the option), or the marked ones (items with rules, until the next SetCatalogue).
    void SetBaselines(bool on);
    void MarkBaseline(const QString& url);
    // The pages that may not be evicted (and foreign files) alone exceed the cap.
    bool BaselinesOverCap() const;

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
        qint64 size = 0; // on the disk, in whole blocks
        qint64 used = 0;
        bool whole = false;  // read and decoded, or written, by this process
        bool orphan = false; // its URL is outside a known catalogue
    };
    void queue(Job job);
    void startWriter(); // with mutex_ held
    void run();
    void write(const Job& job);
    void scan();
    void applyCatalogue(std::unique_lock<std::mutex>& lock);
    void removeOrphans(std::unique_lock<std::mutex>& lock);
    // The functions below are called with mutex_ held.
    bool isKept(const QString& name) const;
    bool inCatalogue(const QString& name) const;
    bool isBaseline(const QString& name) const;
    bool fits(const QString& name, qint64 bytes) const;
    bool roomFor(std::unique_lock<std::mutex>& lock, const QString& name, qint64 bytes);
    void count(const QString& name, const Entry& entry);
    void forget(const QString& name);
    void evict(std::unique_lock<std::mutex>& lock, qint64 target, bool itemsToo,
               const QString& keep = {});

    const QString folder_;
    const qint64 capBytes_;
    mutable std::mutex mutex_;
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
    qint64 total_ = 0;       // pages and foreign files
    qint64 foreign_ = 0;     // files in the folder that are no page of this store
    qint64 orphanBytes_ = 0; // pages whose URL no item has
    qint64 blockBytes_ = 4096;
    // The catalogue as given, turned into file names by the writer.
    std::optional<QStringList> givenCatalogue_;
    bool catalogueWhole_ = false;
    qint64 catalogueSince_ = 0;
    bool catalogueKnown_ = false;
    QSet<QString> catalogue_;
    bool runEnded_ = false;
    bool baselines_ = false;
    QSet<QString> marked_;
};
