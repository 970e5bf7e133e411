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
        if (!writer_.joinable())
            writer_ = std::thread(&KeptPages::run, this);
    }
    wake_.notify_one();
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
    idle_.wait(lock, [this] { return jobs_.empty() && !busy_; });
}

void KeptPages::run()
{
    // The lowest priority: on a busy machine the run comes first, the cache later.
    ::setpriority(PRIO_PROCESS, pid_t(::gettid()), 19);
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
        if (jobs_.empty()) {
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
    if (job.onlyIfMissing) {
        // A page the listing names is read once, so that a damaged one is replaced; after
        // that an unchanged run costs the writer nothing.
        bool listed = false;
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
    }
    const QByteArray bytes = Encode(job.page);
    if (bytes.isEmpty())
        return;
    if (!folderMade_) {
        if (!QDir().mkpath(folder_))
            return;
        ::chmod(QFile::encodeName(folder_).constData(), 0700);
        folderMade_ = true;
    }
    // A cache file: not synced, and private, since pages behind a password are kept too.
    AtomicFile file(QFile::encodeName(path), AtomicFile::Kind::Cache);
    if (!file.open() || file.write(bytes) < 0 || !file.commit())
        return;
    std::lock_guard lock(mutex_);
    Entry& entry = entries_[name];
    total_ += bytes.size() - entry.size;
    entry = {bytes.size(), nowMs(), true};
    if (total_ > capBytes_)
        evict();
}

// Called on the writer thread before its first write.
bool KeptPages::isKept(const QString& name) const
{
    return entries_.value(name).size > HeaderBytes;
}

void KeptPages::scan()
{
    scanned_ = true;
    QDir dir(folder_);
    if (!dir.exists()) {
        std::lock_guard lock(mutex_);
        indexed_ = true;
        return;
    }
    ::chmod(QFile::encodeName(folder_).constData(), 0700);
    const QFileInfoList files =
        dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    std::lock_guard lock(mutex_);
    for (const QFileInfo& info : files) {
        const QString name = info.fileName();
        const qint64 modified = info.lastModified().toMSecsSinceEpoch();
        // A temporary left by a writer that ended midway (".kept-" is the older name).
        if (AtomicFile::IsTemporaryName(name.toStdString()) || name.startsWith(u".kept-"_s)) {
            AtomicFile::RemoveIfStale(QFile::encodeName(info.filePath()).constData());
            continue;
        }
        if (!name.endsWith(u".page"_s))
            continue;
        entries_.insert(name, {info.size(), modified});
        total_ += info.size();
    }
    indexed_ = true;
    if (total_ > capBytes_)
        evict();
}

// The pages used least recently go first, down to nine tenths of the cap so that the next
// writes do not evict one by one.
void KeptPages::evict()
{
    QList<std::pair<qint64, QString>> byUse;
    byUse.reserve(entries_.size());
    for (auto it = entries_.cbegin(); it != entries_.cend(); ++it)
        byUse.append({it->used, it.key()});
    std::sort(byUse.begin(), byUse.end());
    for (const auto& [used, name] : byUse) {
        if (total_ <= capBytes_ / 10 * 9)
            break;
        // Only what is really gone leaves the count; a file that cannot go stays counted.
        if (QFile::remove(folder_ + name) || !QFile::exists(folder_ + name)) {
            total_ -= entries_.value(name).size;
            entries_.remove(name);
        } else {
            break;
        }
    }
}
