#include "check/KeptPages.h"

#include "app/AtomicFile.h"
#include "app/Files.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

using namespace Qt::StringLiterals;

namespace
{

constexpr char Magic[4] = {'S', 'V', 'K', 'P'};
constexpr quint8 Version = 1;
constexpr quint8 DigestVersion = 2;
constexpr int MaxKeyBytes = 255;
constexpr qsizetype HeaderBytes = 20;
constexpr int MaxFieldBytes = 8192;
// Fast: the store saves disk, not bandwidth, and the run must not wait for it.
constexpr int CompressionLevel = 1;

void put32(QByteArray& out, quint32 v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.append(char((v >> shift) & 0xff));
}

void put16(QByteArray& out, quint16 v)
{
    out.append(char(v >> 8));
    out.append(char(v & 0xff));
}

quint32 get(QByteArrayView in, qsizetype at, int bytes)
{
    quint32 v = 0;
    for (int i = 0; i < bytes; ++i)
        v = (v << 8) | uchar(in.at(at + i));
    return v;
}

quint32 crcOf(QByteArrayView bytes)
{
    return quint32(crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), uInt(bytes.size())));
}

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

// A FIFO or a link to a device where a page should be is no page, and never waited for.
QByteArray readAll(const QString& path)
{
    QByteArray bytes;
    QString error;
    if (!Files::Read(QFile::encodeName(path), &bytes, &error, 4 * KeptPages::MaxBodyBytes))
        return {};
    return bytes;
}

// What a file takes on the disk: its blocks, or its size in whole blocks where the system
// counts fewer (data held in the inode, a sparse or compressed file).
qint64 diskBytes(const struct stat& st)
{
    const qint64 blocks = qint64(st.st_blocks) * 512;
    if (blocks >= st.st_size)
        return blocks;
    const qint64 block = st.st_blksize > 0 ? st.st_blksize : 4096;
    return (qint64(st.st_size) + block - 1) / block * block;
}

qint64 modifiedMs(const struct stat& st)
{
    return qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
}

// A name FileName gives: 40 lowercase hex digits and ".page". Any other file is foreign.
bool isPageName(QStringView name)
{
    if (name.size() != 45 || !name.endsWith(u".page"))
        return false;
    return std::all_of(name.begin(), name.begin() + 40, [](QChar c) {
        return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f');
    });
}

} // namespace

KeptPages::KeptPages(const QString& folder, qint64 capBytes) : folder_(folder), capBytes_(capBytes)
{
}

KeptPages::~KeptPages()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        stopDeadline_ = nowMs() + DrainMs;
    }
    wake_.notify_all();
    if (writer_.joinable())
        writer_.join();
}

QString KeptPages::DefaultFolder()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    return data.isEmpty() ? QString() : data + u"/snapshots/"_s;
}

QString KeptPages::FileName(const QString& url)
{
    return QString::fromLatin1(
               QCryptographicHash::hash(url.toUtf8(), QCryptographicHash::Sha1).toHex()) +
           u".page"_s;
}

QByteArray KeptPages::Encode(const KeptPage& page)
{
    const QByteArrayView body =
        QByteArrayView(page.body).first(std::min<qsizetype>(page.body.size(), MaxBodyBytes));
    const QByteArray url = page.url.toUtf8().left(MaxFieldBytes);
    const QByteArray type = page.contentType.left(MaxFieldBytes);
    // A page kept without a digest stays in the first version, as the store always wrote it.
    const bool withDigest = !page.digest.isEmpty();
    if (withDigest && (page.digest.size() > MaxKeyBytes || page.rulesKey.size() > MaxKeyBytes))
        return {};
    uLongf packedSize = compressBound(uLong(body.size()));
    QByteArray out;
    out.reserve(HeaderBytes + url.size() + type.size() + 2 + page.digest.size() +
                page.rulesKey.size() + qsizetype(packedSize));
    out.append(Magic, 4);
    out.append(char(withDigest ? DigestVersion : Version));
    out.append(3, '\0');
    put32(out, quint32(body.size()));
    put32(out, crcOf(body));
    put16(out, quint16(url.size()));
    put16(out, quint16(type.size()));
    out.append(url);
    out.append(type);
    if (withDigest) {
        out.append(char(page.digest.size()));
        out.append(page.digest);
        out.append(char(page.rulesKey.size()));
        out.append(page.rulesKey);
    }
    const qsizetype at = out.size();
    out.resize(at + qsizetype(packedSize));
    if (compress2(reinterpret_cast<Bytef*>(out.data() + at), &packedSize,
                  reinterpret_cast<const Bytef*>(body.data()), uLong(body.size()),
                  CompressionLevel) != Z_OK)
        return {};
    out.truncate(at + qsizetype(packedSize));
    return out;
}

std::optional<KeptPage> KeptPages::Decode(QByteArrayView file)
{
    if (file.size() < HeaderBytes || !file.startsWith(QByteArrayView(Magic, 4)) ||
        (uchar(file.at(4)) != Version && uchar(file.at(4)) != DigestVersion) || file.at(5) ||
        file.at(6) || file.at(7))
        return std::nullopt;
    const quint32 bodySize = get(file, 8, 4);
    const quint32 crc = get(file, 12, 4);
    const qsizetype urlSize = get(file, 16, 2);
    const qsizetype typeSize = get(file, 18, 2);
    if (bodySize > quint32(MaxBodyBytes) || urlSize > MaxFieldBytes || typeSize > MaxFieldBytes ||
        file.size() < HeaderBytes + urlSize + typeSize)
        return std::nullopt;
    KeptPage page;
    page.url = QString::fromUtf8(file.sliced(HeaderBytes, urlSize));
    page.contentType = file.sliced(HeaderBytes + urlSize, typeSize).toByteArray();
    qsizetype at = HeaderBytes + urlSize + typeSize;
    if (uchar(file.at(4)) == DigestVersion) {
        for (QByteArray* field : {&page.digest, &page.rulesKey}) {
            if (file.size() < at + 1 || file.size() < at + 1 + uchar(file.at(at)))
                return std::nullopt;
            *field = file.sliced(at + 1, uchar(file.at(at))).toByteArray();
            at += 1 + field->size();
        }
        if (page.digest.isEmpty())
            return std::nullopt;
    }
    const QByteArrayView packed = file.sliced(at);
    // One byte more than promised, so that a stream longer than its header says is caught.
    QByteArray space(qsizetype(bodySize) + 1, Qt::Uninitialized);
    uLongf outSize = uLongf(space.size());
    uLong inSize = uLong(packed.size());
    const int rc = uncompress2(reinterpret_cast<Bytef*>(space.data()), &outSize,
                               reinterpret_cast<const Bytef*>(packed.data()), &inSize);
    if (rc != Z_OK || outSize != bodySize || inSize != uLong(packed.size()))
        return std::nullopt;
    page.body = space.first(qsizetype(bodySize));
    if (crcOf(page.body) != crc)
        return std::nullopt;
    return page;
}

std::optional<KeptPage> KeptPages::DecodeFor(const QString& url, QByteArrayView file)
{
    std::optional<KeptPage> page = Decode(file);
    if (page && page->url != url)
        return std::nullopt;
    return page;
}

void KeptPages::Accept(const KeptPage& page)
{
    queue({page, false});
}

void KeptPages::KeepIfMissing(const KeptPage& page)
{
    queue({page, true});
}

void KeptPages::queue(Job job)
{
    if (folder_.isEmpty())
        return;
    const QString name = job.onlyIfMissing ? FileName(job.page.url) : QString();
    {
        std::lock_guard lock(mutex_);
        if (job.onlyIfMissing) {
            // Once the folder is listed, a page already kept is not even queued.
            const qint64 size = job.page.body.size();
            if ((indexed_ && isKept(name) && entries_.value(name).whole) ||
                queuedBytes_ + size > MaxQueuedBytes)
                return;
            queuedBytes_ += size;
        }
        jobs_.push_back(std::move(job));
        startWriter();
    }
    wake_.notify_one();
}

void KeptPages::startWriter()
{
    if (!writer_.joinable())
        writer_ = std::thread(&KeptPages::run, this);
}

void KeptPages::SetCatalogue(const QStringList& urls, bool whole)
{
    if (folder_.isEmpty())
        return;
    std::lock_guard lock(mutex_);
    givenCatalogue_ = urls;
    catalogueWhole_ = whole;
    catalogueSince_ = nowMs();
    marked_.clear(); // the rules may have gone since
    // Turned into names on the writer, meanwhile the run begins.
    startWriter();
    wake_.notify_one();
}

void KeptPages::CatalogueRunEnded()
{
    if (folder_.isEmpty())
        return;
    {
        std::lock_guard lock(mutex_);
        if (!catalogueWhole_)
            return;
        runEnded_ = true;
        startWriter();
    }
    wake_.notify_one();
}

void KeptPages::SetBaselines(bool on)
{
    std::lock_guard lock(mutex_);
    baselines_ = on;
}

void KeptPages::MarkBaseline(const QString& url)
{
    if (folder_.isEmpty())
        return;
    const QString name = FileName(url);
    std::lock_guard lock(mutex_);
    marked_.insert(name);
}

bool KeptPages::BaselinesOverCap() const
{
    std::lock_guard lock(mutex_);
    if (!baselines_ && marked_.isEmpty())
        return false;
    qint64 kept = foreign_;
    for (auto it = entries_.cbegin(); it != entries_.cend(); ++it)
        if (isBaseline(it.key()))
            kept += it->size;
    return kept > capBytes_;
}

QByteArray KeptPages::ReadFile(const QString& url)
{
    if (folder_.isEmpty())
        return {};
    const QString name = FileName(url);
    QByteArray bytes = readAll(folder_ + name);
    if (!bytes.isEmpty()) {
        std::lock_guard lock(mutex_);
        if (auto it = entries_.find(name); it != entries_.end())
            it->used = nowMs();
    }
    return bytes;
}

void KeptPages::WaitIdle()
{
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return jobs_.empty() && !busy_ && !runEnded_ && !givenCatalogue_; });
}

void KeptPages::run()
{
    // The lowest priority: on a busy machine the run comes first, the cache later.
    ::setpriority(PRIO_PROCESS, pid_t(::gettid()), 19);
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock,
                   [this] { return stopping_ || !jobs_.empty() || runEnded_ || givenCatalogue_; });
        if (givenCatalogue_) {
            busy_ = true;
            applyCatalogue(lock);
            busy_ = false;
        }
        if (jobs_.empty()) {
            // The run's own pages first: what it ended with is cleared up after them.
            if (runEnded_) {
                busy_ = true;
                removeOrphans(lock);
                busy_ = false;
                runEnded_ = false;
            }
            idle_.notify_all();
            if (stopping_)
                return;
            continue;
        }
        Job job = std::move(jobs_.front());
        jobs_.pop_front();
        if (job.onlyIfMissing) {
            queuedBytes_ -= job.page.body.size();
            // The program is ending: a page only kept in advance may wait for the next run.
            if (stopping_ && nowMs() > stopDeadline_) {
                if (jobs_.empty())
                    idle_.notify_all();
                continue;
            }
        }
        busy_ = true;
        lock.unlock();
        write(job);
        lock.lock();
        busy_ = false;
        if (jobs_.empty())
            idle_.notify_all();
    }
}

void KeptPages::write(const Job& job)
{
    if (!scanned_)
        scan();
    const QString name = FileName(job.page.url);
    const QString path = folder_ + name;
    bool listed = false;
    if (job.onlyIfMissing) {
        // A page the listing names is read once, so that a damaged one is replaced; after
        // that an unchanged run costs the writer nothing.
        {
            std::lock_guard lock(mutex_);
            listed = isKept(name);
            if (listed && entries_.value(name).whole)
                return;
        }
        if (listed && DecodeFor(job.page.url, readAll(path))) {
            std::lock_guard lock(mutex_);
            if (auto it = entries_.find(name); it != entries_.end())
                it->whole = true;
            return;
        }
        // A full store is not even compressed for.
        std::lock_guard lock(mutex_);
        if (!fits(name, blockBytes_) && orphanBytes_ == 0 && !isBaseline(name)) {
            if (listed && QFile::remove(path))
                forget(name); // damaged: it would only ever be read in vain
            return;
        }
    }
    const QByteArray bytes = Encode(job.page);
    if (bytes.isEmpty())
        return;
    const qint64 estimate = (bytes.size() + blockBytes_ - 1) / blockBytes_ * blockBytes_;
    if (job.onlyIfMissing) {
        std::unique_lock lock(mutex_);
        if (!roomFor(lock, name, estimate)) {
            if (listed && QFile::remove(path))
                forget(name);
            return;
        }
    }
    if (!folderMade_) {
        if (!QDir().mkpath(folder_))
            return;
        ::chmod(QFile::encodeName(folder_).constData(), 0700);
        folderMade_ = true;
    }
    // A cache file: not synced, and private, since pages behind a password are kept too.
    const QByteArray nativePath = QFile::encodeName(path);
    AtomicFile file(nativePath, AtomicFile::Kind::Cache);
    if (!file.open() || file.write(bytes) < 0 || !file.commit())
        return;
    struct stat st {
    };
    const qint64 size = ::lstat(nativePath.constData(), &st) == 0 ? diskBytes(st) : estimate;
    std::unique_lock lock(mutex_);
    forget(name);
    count(name, {size, nowMs(), true, false});
    if (total_ > capBytes_)
        evict(lock, capBytes_, true, name);
}

bool KeptPages::isKept(const QString& name) const
{
    return entries_.contains(name);
}

bool KeptPages::inCatalogue(const QString& name) const
{
    return !catalogueKnown_ || catalogue_.contains(name);
}

bool KeptPages::isBaseline(const QString& name) const
{
    return (baselines_ || marked_.contains(name)) && inCatalogue(name);
}

// Beside the page that name holds now, with a block to spare for a count that was low.
bool KeptPages::fits(const QString& name, qint64 bytes) const
{
    return total_ - entries_.value(name).size + bytes + blockBytes_ <= capBytes_;
}

// Room for a page kept in advance: pages of URLs no item has make way (a tenth of the cap
// more, so that not every page evicts), pages of items never do. A baseline is kept anyway.
bool KeptPages::roomFor(std::unique_lock<std::mutex>& lock, const QString& name, qint64 bytes)
{
    if (fits(name, bytes))
        return true;
    if (orphanBytes_ > 0) {
        evict(lock, std::max<qint64>(0, capBytes_ - capBytes_ / 10 - bytes), false, name);
        if (fits(name, bytes))
            return true;
    }
    return isBaseline(name);
}

void KeptPages::count(const QString& name, const Entry& entry)
{
    Entry& e = entries_[name];
    e = entry;
    e.orphan = !inCatalogue(name);
    total_ += e.size;
    if (e.orphan)
        orphanBytes_ += e.size;
}

void KeptPages::forget(const QString& name)
{
    const auto it = entries_.constFind(name);
    if (it == entries_.cend())
        return;
    total_ -= it->size;
    if (it->orphan)
        orphanBytes_ -= it->size;
    entries_.erase(it);
}

// Called on the writer thread before its first write.
void KeptPages::scan()
{
    scanned_ = true;
    const QByteArray folder = QFile::encodeName(folder_);
    struct stat st {
    };
    DIR* dir = ::stat(folder.constData(), &st) == 0 && S_ISDIR(st.st_mode)
                   ? ::opendir(folder.constData())
                   : nullptr;
    if (!dir) {
        std::lock_guard lock(mutex_);
        indexed_ = true;
        return;
    }
    if (st.st_blksize > 0)
        blockBytes_ = st.st_blksize;
    ::chmod(folder.constData(), 0700);
    QHash<QString, Entry> found;
    qint64 foreign = 0;
    while (const dirent* d = ::readdir(dir)) {
        const std::string_view raw(d->d_name);
        if (raw == "." || raw == "..")
            continue;
        // A temporary left by a writer that ended midway (".kept-" is the older name).
        if (AtomicFile::IsTemporaryName(raw) || raw.substr(0, 6) == ".kept-") {
            AtomicFile::RemoveIfStale((folder + d->d_name).constData());
            if (::fstatat(::dirfd(dir), d->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0)
                foreign += diskBytes(st); // being written by another instance
            continue;
        }
        if (::fstatat(::dirfd(dir), d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            S_ISDIR(st.st_mode))
            continue;
        const QString name = QFile::decodeName(d->d_name);
        // Foreign files take room too, but are never removed.
        if (isPageName(name))
            found.insert(name, {diskBytes(st), modifiedMs(st), false, false});
        else
            foreign += diskBytes(st);
    }
    ::closedir(dir);
    std::unique_lock lock(mutex_);
    foreign_ = foreign;
    total_ += foreign;
    for (auto it = found.cbegin(); it != found.cend(); ++it)
        count(it.key(), it.value());
    indexed_ = true;
    if (total_ > capBytes_)
        evict(lock, capBytes_, true);
}

void KeptPages::applyCatalogue(std::unique_lock<std::mutex>& lock)
{
    const QStringList urls = *std::exchange(givenCatalogue_, std::nullopt);
    lock.unlock();
    QSet<QString> names;
    names.reserve(urls.size());
    for (const QString& url : urls)
        names.insert(FileName(url));
    lock.lock();
    catalogue_ = std::move(names);
    catalogueKnown_ = true;
    orphanBytes_ = 0;
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        it->orphan = !catalogue_.contains(it.key());
        if (it->orphan)
            orphanBytes_ += it->size;
    }
}

void KeptPages::removeOrphans(std::unique_lock<std::mutex>& lock)
{
    lock.unlock();
    if (!scanned_)
        scan();
    lock.lock();
    if (!catalogueKnown_ || !catalogueWhole_ || orphanBytes_ == 0)
        return;
    QStringList orphans;
    for (auto it = entries_.cbegin(); it != entries_.cend(); ++it)
        if (it->orphan)
            orphans.append(it.key());
    const qint64 since = catalogueSince_;
    for (const QString& name : orphans) {
        if (stopping_ && nowMs() > stopDeadline_)
            break; // the next run's end removes the rest
        lock.unlock();
        const QByteArray path = QFile::encodeName(folder_ + name);
        struct stat st {
        };
        const bool there = ::lstat(path.constData(), &st) == 0;
        const bool gone = !there || (modifiedMs(st) < since && ::unlink(path.constData()) == 0);
        lock.lock();
        if (gone)
            forget(name);
    }
}

// Pages of URLs no item has go first, least recently used first, then (itemsToo) the pages of
// items that are no baseline, until the store is within target.
void KeptPages::evict(std::unique_lock<std::mutex>& lock, qint64 target, bool itemsToo,
                      const QString& keep)
{
    struct Candidate {
        bool ofItem;
        qint64 used;
        QString name;
        bool operator>(const Candidate& o) const
        {
            return std::tie(ofItem, used) > std::tie(o.ofItem, o.used);
        }
    };
    std::vector<Candidate> heap;
    for (auto it = entries_.cbegin(); it != entries_.cend(); ++it)
        if (it.key() != keep && (it->orphan || (itemsToo && !isBaseline(it.key()))))
            heap.push_back({!it->orphan, it->used, it.key()});
    // A heap, not a sort: an Accept over the cap usually evicts a page or two of many.
    std::make_heap(heap.begin(), heap.end(), std::greater<>());
    while (total_ > target && !heap.empty()) {
        std::pop_heap(heap.begin(), heap.end(), std::greater<>());
        const QString name = std::move(heap.back().name);
        heap.pop_back();
        const QString path = folder_ + name;
        lock.unlock();
        // Only what is really gone leaves the count; a file that cannot go stays counted.
        const bool gone = QFile::remove(path) || !QFile::exists(path);
        lock.lock();
        if (!gone)
            break;
        forget(name);
    }
}
