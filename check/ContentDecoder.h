#pragma once
// Decodes a gzip or deflate response body piece by piece and stops at a limit, so that a
// compression bomb costs no more than the bytes kept.
#include <QByteArray>
#include <QByteArrayView>
#include <memory>
#include <optional>

class ContentDecoder final
{
public:
    enum class Coding { Identity, Gzip, Deflate };
    // The coding named by a Content-Encoding value; empty when it is not one of these.
    static std::optional<Coding> FromHeader(QByteArrayView contentEncoding);

    ContentDecoder(Coding coding, qsizetype limit);
    ~ContentDecoder();
    ContentDecoder(const ContentDecoder&) = delete;
    ContentDecoder& operator=(const ContentDecoder&) = delete;

    // Appends the decoded form of input to out, never growing out past the limit.
    // False when the data is corrupt.
    bool Feed(QByteArrayView input, QByteArray& out);
    // The end of the compressed stream was seen; later bytes are not part of the body.
    bool Finished() const { return finished_; }

private:
    struct Stream;
    bool Run(QByteArrayView input, QByteArray& out);

    Coding coding_;
    qsizetype limit_;
    std::unique_ptr<Stream> stream_;
    QByteArray start_; // input kept until output begins, to retry as headerless deflate
    bool producing_ = false;
    bool rawTried_ = false;
    bool finished_ = false;
};
