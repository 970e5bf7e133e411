#pragma once
// One HTTP GET as the transfer control makes it, on a libcurl easy handle: redirects followed
// here, status line and headers bounded, the body decoded and kept up to the limit, the whole
// request bounded in time. It records the states it reaches (rising, each once, from 1) and
// ends in exactly one of icError and icResponseCompleted. This is the one place that holds a
// request's state; Inet and RequestPool only say which request is whose.
#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QUrl>
#include <array>
#include <memory>

class ContentDecoder;
class CurlMulti;

class Fetch final : public QObject
{
    Q_OBJECT
public:
    using Headers = QList<QPair<QByteArray, QByteArray>>;
    static constexpr int MaxHeaderBytes = 64 * 1024;
    static constexpr int MaxRedirects = 10;

    // The address an item's URL stands for, or the error text when it cannot be fetched.
    static QUrl Target(const QString& url, QString* error);
    // The text shown for a libcurl result (a CURLcode), with the system's error number and
    // curl's own message where they say more.
    static QString ErrorText(int result, int osError, const QString& detail);

    // A target that is not valid makes a request that fails with `error` once started.
    Fetch(CurlMulti* multi, const QUrl& target, int timeoutMs, QObject* parent,
          const QString& error = QString());
    ~Fetch() override;

    void Start();
    // Ends the request without a state; nothing follows.
    void Stop();

    QString Host() const { return host_; }
    bool Running() const { return started_ && !ended_; }
    bool Ended() const { return ended_; }
    const QList<int>& States() const { return states_; }
    const Headers& ResponseHeaders() const { return headers_; }
    const QByteArray& Body() const { return body_; }
    QString ErrorText() const { return errorText_; }
    int Status() const { return status_; }

    void* Handle() const { return easy_; }
    // The transfer of the easy handle is over with this CURLcode (called by CurlMulti).
    void Done(int result);

signals:
    void StateReached(int state);

private:
    friend struct FetchCallbacks;
    bool startHop(const QUrl& target);
    void leave();
    void reach(int state);
    void end(int state);
    qsizetype onHeader(const char* data, qsizetype size);
    qsizetype onBody(const char* data, qsizetype size);
    QUrl redirectTarget() const;
    void complete();
    void fail(const QString& text);

    CurlMulti* multi_;
    void* easy_ = nullptr;
    void* requestHeaders_ = nullptr;
    bool added_ = false;
    QUrl url_; // of the current hop
    QString host_;
    int timeoutMs_;
    QElapsedTimer clock_;
    QString startError_;
    QByteArray body_;
    Headers headers_;
    QString errorText_;
    QString abortText_; // why a callback ended the transfer
    QList<int> states_;
    int status_ = 0;
    qsizetype headerBytes_ = 0;
    qint64 discarded_ = 0;
    int redirects_ = 0;
    bool bodySeen_ = false;
    bool headEnded_ = false; // the blank line after the headers came
    bool redirecting_ = false;
    bool redirectNow_ = false; // the redirect's body is too long to wait for
    bool limitReached_ = false;
    std::unique_ptr<ContentDecoder> decoder_;
    std::array<char, 256> detail_{}; // curl's error buffer
    bool started_ = false;
    bool ended_ = false;
};
