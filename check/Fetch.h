#pragma once
// One HTTP GET as the transfer control makes it: redirects followed here, the body decoded and
// kept up to the limit, a time-out. It records the states it reaches (rising, each once) and
// ends in exactly one of icError and icResponseCompleted.
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QUrl>
#include <memory>

class ContentDecoder;
class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

class Fetch final : public QObject
{
    Q_OBJECT
public:
    using Headers = QList<QPair<QByteArray, QByteArray>>;

    // The address an item's URL stands for, or the error text when it cannot be fetched.
    static QUrl Target(const QString& url, QString* error);

    Fetch(QNetworkAccessManager* manager, const QUrl& target, int timeoutMs, QObject* parent);
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

signals:
    void StateReached(int state);

private:
    void startRequest(const QUrl& target);
    QUrl redirectTarget() const;
    void followRedirect(const QUrl& target);
    void reach(int state);
    void release();
    void onReadyRead();
    void onFinished();
    bool takeBody();
    void complete();
    void fail(const QString& text);

    // implementation detail, free to change
    QNetworkAccessManager* manager_;
    QUrl target_;
    QString host_;
    QNetworkReply* reply_ = nullptr;
    QTimer* timer_ = nullptr;
    int timeoutMs_;
    QByteArray body_;
    Headers headers_;
    QString errorText_;
    QList<int> states_;
    int redirects_ = 0;
    int status_ = 0;
    qint64 discarded_ = 0;
    std::unique_ptr<ContentDecoder> decoder_;
    bool started_ = false;
    bool ended_ = false;
};
