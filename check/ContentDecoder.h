#pragma once
// Decodes a gzip or deflate response body piece by piece and stops at a limit, so that a
// compression bomb costs no more than the bytes kept. A body that turns out not to be
// compressed at all (a server's labelling mistake) is passed on as it came.
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

    // Appends the decoded form of input to out, never growing out past the limit. Pass the
    // same out each time. False when the data breaks off after the first 64 KiB of input.
    bool Feed(QByteArrayView input, QByteArray& out);
    // The end of the compressed stream was seen; later bytes are not part of the body.
    bool Finished() const { return finished_; }

private:
    struct Stream;
    bool Run(QByteArrayView input, QByteArray& out);
    void PassThrough(QByteArray& out);

    Coding coding_;
    qsizetype limit_;
    std::unique_ptr<Stream> stream_;
    QByteArray start_;        // the input so far while it is short, to retry it or pass it on
    qsizetype outStart_ = -1; // size of out before the first piece
    bool producing_ = false;
    bool passThrough_ = false;
    bool startLost_ = false; // more than the kept start has come
    bool rawTried_ = false;
    bool finished_ = false;
};
