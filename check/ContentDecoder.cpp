#include "check/ContentDecoder.h"

#include <QList>

#include <zlib.h>

#include <algorithm>

namespace
{
constexpr qsizetype MaxStartKept = 64 * 1024;
constexpr int ZlibOrGzip = 15 + 32; // window bits: detect the zlib or gzip wrapper
constexpr int RawDeflate = -15;
} // namespace

struct ContentDecoder::Stream {
    z_stream z{};
    bool open = false;

    bool init(int windowBits)
    {
        end();
        z = z_stream{};
        open = inflateInit2(&z, windowBits) == Z_OK;
        return open;
    }
    void end()
    {
        if (open)
            inflateEnd(&z);
        open = false;
    }
    ~Stream() { end(); }
};

std::optional<ContentDecoder::Coding> ContentDecoder::FromHeader(QByteArrayView contentEncoding)
{
    std::optional<Coding> result = Coding::Identity;
    for (const QByteArray& part : contentEncoding.toByteArray().split(',')) {
        const QByteArray name = part.trimmed().toLower();
        if (name.isEmpty() || name == "identity")
            continue;
        if (result != Coding::Identity)
            return std::nullopt; // layered codings are not offered, so not expected
        if (name == "gzip" || name == "x-gzip")
            result = Coding::Gzip;
        else if (name == "deflate")
            result = Coding::Deflate;
        else
            return std::nullopt;
    }
    return result;
}

ContentDecoder::ContentDecoder(Coding coding, qsizetype limit)
    : coding_(coding), limit_(limit), stream_(std::make_unique<Stream>())
{
    if (coding_ != Coding::Identity)
        stream_->init(ZlibOrGzip);
}

ContentDecoder::~ContentDecoder() = default;

bool ContentDecoder::Feed(QByteArrayView input, QByteArray& out)
{
    if (outStart_ < 0)
        outStart_ = out.size();
    if (coding_ == Coding::Identity || passThrough_) {
        out.append(
            input.first(std::min(input.size(), std::max<qsizetype>(0, limit_ - out.size()))));
        return true;
    }
    if (!stream_->open)
        return false;
    const bool keeping = !startLost_ && start_.size() + input.size() <= MaxStartKept;
    if (keeping) {
        start_.append(input);
    } else {
        startLost_ = true;
        start_.clear();
    }
    if (Run(input, out))
        return true;
    if (!keeping)
        return false;
    PassThrough(out);
    return true;
}

void ContentDecoder::PassThrough(QByteArray& out)
{
    passThrough_ = true;
    stream_->end();
    out.truncate(outStart_);
    const QByteArray raw = std::exchange(start_, {});
    Feed(raw, out);
}

bool ContentDecoder::Run(QByteArrayView input, QByteArray& out)
{
    z_stream& z = stream_->z;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
    z.avail_in = uInt(input.size());
    while (!finished_ && out.size() < limit_ && z.avail_in > 0) {
        const qsizetype before = out.size();
        const qsizetype room = limit_ - before;
        out.resize(before + room);
        z.next_out = reinterpret_cast<Bytef*>(out.data() + before);
        z.avail_out = uInt(room);
        const int rc = inflate(&z, Z_NO_FLUSH);
        out.resize(before + room - qsizetype(z.avail_out));
        if (out.size() > before)
            producing_ = true;
        if (rc == Z_STREAM_END) {
            finished_ = true;
        } else if (rc == Z_DATA_ERROR && !producing_ && !rawTried_ && coding_ == Coding::Deflate &&
                   !start_.isEmpty()) {
            // Some servers send "deflate" without the zlib wrapper.
            rawTried_ = true;
            if (!stream_->init(RawDeflate))
                return false;
            return Run(QByteArray(start_), out);
        } else if (rc == Z_BUF_ERROR) {
            break;
        } else if (rc != Z_OK) {
            return false;
        }
    }
    return true;
}
