#pragma once
// The transfer control: one HTTP GET at a time, reported through StateChanged on the
// event loop (never from inside Execute). Each request ends in exactly one of icError and
// icResponseCompleted; nothing of a request arrives after Cancel.
#include <QByteArray>
#include <QList>
#include <QPair>
#include <QObject>
#include <QString>
#include <memory>

class ContentDecoder;
class QNetworkAccessManager;
class QNetworkReply;
class QTimer;
class QUrl;

class Inet final : public QObject
{
    Q_OBJECT
public:
    enum State {
        icNone = 0,
        icResolvingHost = 1,
        icHostResolved = 2,
        icConnecting = 3,
        icConnected = 4,
        icRequesting = 5,
        icRequestSent = 6,
        icReceivingResponse = 7,
        icResponseReceived = 8,
        icDisconnecting = 9,
        icDisconnected = 10,
        icError = 11,
        icResponseCompleted = 12,
    };
    static constexpr int MaxBodyBytes = 65535;
    static constexpr int DefaultTimeoutMs = 60000;

    explicit Inet(QObject* parent = nullptr);
    ~Inet() override;

    QString URL; // address for Execute() without argument

    void Execute();
    void Execute(const QString& url);
    void Cancel();

    // Value of the response header, name matched without regard to case; empty when absent.
    QString GetHeader(const QString& name) const;
    // The next block of the kept body (at most size bytes), decoded from CP932.
    QString GetChunk(int size);
    // Text of the last error.
    QString ResponseInfo() const { return responseInfo_; }
    // The caption word of a progress state (1, 3, 5, 7, 9); empty for any other code.
    static QString StatusText(int State);

    void SetTimeoutMs(int ms) { timeoutMs_ = ms; } // test seam

signals:
    void StateChanged(int State);

private:
    void startRequest(quint64 generation, const QUrl& target);
    QUrl redirectTarget() const;
    void followRedirect(quint64 generation, const QUrl& target);
    void post(quint64 generation, int state);
    void flush();
    void release();
    void onReadyRead(quint64 generation);
    void onFinished(quint64 generation);
    bool takeBody(quint64 generation);
    void completeWithBody(quint64 generation);
    void fail(quint64 generation, const QString& text);

    // implementation detail, free to change
    QNetworkAccessManager* manager_ = nullptr;
    QNetworkReply* reply_ = nullptr;
    QTimer* timer_ = nullptr;
    QByteArray body_;
    qsizetype chunkPos_ = 0;
    QString responseInfo_;
    int timeoutMs_ = DefaultTimeoutMs;
    quint64 generation_ = 0;
    QList<QPair<QByteArray, QByteArray>> headers_;
    QList<int> pending_;     // states of the current request not yet raised
    bool flushQueued_ = false;
    int lastPosted_ = icNone; // progress only moves forward, each code once
    int redirects_ = 0;
    qint64 discarded_ = 0;
    std::unique_ptr<ContentDecoder> decoder_;
    bool ended_ = true;       // the current request has its 11 or 12
};
