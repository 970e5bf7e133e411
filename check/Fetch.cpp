#include "check/Fetch.h"

#include "check/ContentDecoder.h"
#include "check/Inet.h"
#include "check/WebAddress.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <utility>

namespace {
constexpr int MaxRedirects = 10;
constexpr int MaxBodyBytes = Inet::MaxBodyBytes;

bool isWebScheme(const QString& scheme)
{
    return scheme == u"http" || scheme == u"https";
}

// Errors Qt derives from the server's HTTP status: the response itself arrived.
bool isHttpStatusError(QNetworkReply::NetworkError error)
{
    const int code = int(error);
    return (code >= 201 && code <= 299) || code == QNetworkReply::ProtocolInvalidOperationError ||
           (code >= 401 && code <= 499);
}
} // namespace

QUrl Fetch::Target(const QString& url, QString* error)
{
    const QUrl target = WebAddress(url);
    QString text;
    if (!target.isValid() || target.isRelative())
        text = QStringLiteral(u"URLが正しくありません: %1").arg(url);
    else if (!isWebScheme(target.scheme()))
        text = QStringLiteral(u"プロトコル \"%1\" はサポートされていません").arg(target.scheme());
    else if (target.host().isEmpty())
        text = QStringLiteral(u"URLにホスト名がありません: %1").arg(url);
    if (error)
        *error = text;
    return text.isEmpty() ? target : QUrl();
}

Fetch::Fetch(QNetworkAccessManager* manager, const QUrl& target, int timeoutMs, QObject* parent)
    : QObject(parent), manager_(manager), target_(target), host_(target.host()),
      timer_(new QTimer(this)), timeoutMs_(timeoutMs)
{
    timer_->setSingleShot(true);
    timer_->setTimerType(Qt::PreciseTimer); // a coarse timer may end a request 5 % early
    connect(timer_, &QTimer::timeout, this,
            [this] { fail(QStringLiteral(u"応答がタイムアウトしました")); });
}

Fetch::~Fetch()
{
    release();
}

void Fetch::Start()
{
    if (started_)
        return;
    started_ = true;
    timer_->start(timeoutMs_);
    startRequest(target_);
}

void Fetch::Stop()
{
    ended_ = true;
    release();
}

void Fetch::startRequest(const QUrl& target)
{
    QNetworkRequest request(target);
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QByteArrayLiteral("SiteVigil/" SITEVIGIL_VERSION));
    // Named here so that Qt leaves decoding to ContentDecoder, which stops at the limit.
    request.setRawHeader("Accept-Encoding", "gzip, deflate");
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    reply_ = manager_->get(request);
    // Qt stops reading the socket while this much is unread, so a huge page is never pulled in.
    reply_->setReadBufferSize(MaxBodyBytes + 1);
    body_.clear();
    discarded_ = 0;
    decoder_.reset();

    QNetworkReply* reply = reply_;
    connect(reply, &QNetworkReply::socketStartedConnecting, this, [this] {
        if (!ended_)
            reach(Inet::icConnecting);
    });
    connect(reply, &QNetworkReply::requestSent, this, [this] {
        if (!ended_) {
            reach(Inet::icRequesting);
            reach(Inet::icRequestSent);
        }
    });
    connect(reply, &QNetworkReply::metaDataChanged, this, [this] {
        if (!ended_)
            reach(Inet::icReceivingResponse);
    });
    // Qt 6.4 reports some failures (a body that fails to decompress, such as a compression
    // bomb) without ever finishing the reply: fail on the report itself.
    connect(reply, &QNetworkReply::errorOccurred, this, [this](QNetworkReply::NetworkError error) {
        if (ended_ || !reply_)
            return;
        const int status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (status >= 400 && isHttpStatusError(error))
            return; // the server's error page follows and completes the request
        fail(reply_->errorString());
    });
    connect(reply, &QNetworkReply::readyRead, this, &Fetch::onReadyRead);
    connect(reply, &QNetworkReply::finished, this, &Fetch::onFinished);
}

QUrl Fetch::redirectTarget() const
{
    const int status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status != 301 && status != 302 && status != 303 && status != 307 && status != 308)
        return {};
    const QUrl location = reply_->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
    if (location.isEmpty())
        return {};
    return reply_->url().resolved(location);
}

// Redirects are followed here rather than by Qt: Qt 6.4 loses the response of a second
// consecutive redirect on a kept-alive connection.
void Fetch::followRedirect(const QUrl& target)
{
    if (++redirects_ > MaxRedirects) {
        fail(QStringLiteral(u"リダイレクトが多すぎます"));
        return;
    }
    if (!isWebScheme(target.scheme()) || target.host().isEmpty()) {
        fail(QStringLiteral(u"リダイレクト先 %1 には接続できません").arg(target.toDisplayString()));
        return;
    }
    QNetworkReply* old = std::exchange(reply_, nullptr);
    disconnect(old, nullptr, this, nullptr);
    if (old->isRunning())
        old->abort();
    old->deleteLater();
    startRequest(target);
}

void Fetch::reach(int state)
{
    if (!states_.isEmpty() && state <= states_.constLast())
        return;
    states_.append(state);
    emit StateReached(state);
}

void Fetch::release()
{
    timer_->stop();
    decoder_.reset();
    if (!reply_)
        return;
    QNetworkReply* reply = std::exchange(reply_, nullptr);
    disconnect(reply, nullptr, this, nullptr);
    // A reply that reported an error is ending already: aborting it from inside that report
    // makes Qt report a second error. Deleting it stops whatever is left.
    if (reply->isRunning() && reply->error() == QNetworkReply::NoError)
        reply->abort();
    reply->deleteLater();
}

void Fetch::onReadyRead()
{
    if (ended_ || !reply_)
        return;
    reach(Inet::icReceivingResponse);
    if (const QUrl target = redirectTarget(); !target.isEmpty()) {
        // The body of a redirect is never used; a huge one is not waited for.
        discarded_ += reply_->skip(reply_->bytesAvailable());
        if (discarded_ > MaxBodyBytes)
            followRedirect(target);
        return;
    }
    takeBody();
}

// Moves what has arrived into the kept body, decoded; false when that ended the request.
bool Fetch::takeBody()
{
    if (!decoder_) {
        // A coding never asked for ("br", "none", "UTF-8") is measured as the bytes came.
        const ContentDecoder::Coding coding =
            ContentDecoder::FromHeader(reply_->rawHeader("Content-Encoding"))
                .value_or(ContentDecoder::Coding::Identity);
        decoder_ = std::make_unique<ContentDecoder>(coding, MaxBodyBytes);
    }
    while (reply_->bytesAvailable() > 0) {
        const QByteArray piece = reply_->read(16 * 1024);
        if (decoder_->Finished()) {
            // Bytes after the end of the compressed stream are not part of the page.
            discarded_ += piece.size();
            if (discarded_ > MaxBodyBytes) {
                complete();
                return false;
            }
            continue;
        }
        if (!decoder_->Feed(piece, body_)) {
            fail(QStringLiteral(u"圧縮されたデータが壊れています"));
            return false;
        }
        if (body_.size() >= MaxBodyBytes) {
            complete();
            return false;
        }
    }
    return true;
}

void Fetch::onFinished()
{
    if (ended_ || !reply_)
        return;
    const QNetworkReply::NetworkError error = reply_->error();
    if (error == QNetworkReply::NoError) {
        if (const QUrl target = redirectTarget(); !target.isEmpty()) {
            followRedirect(target);
            return;
        }
    }
    if (!takeBody())
        return;
    const int status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (error == QNetworkReply::NoError && status < 200) // no final response was parsed
        fail(QStringLiteral(u"サーバーから応答がありませんでした"));
    else if (error == QNetworkReply::NoError || (status >= 400 && isHttpStatusError(error)))
        complete();
    else
        fail(reply_->errorString());
}

void Fetch::complete()
{
    if (ended_)
        return;
    ended_ = true;
    if (reply_) {
        headers_ = reply_->rawHeaderPairs();
        status_ = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    }
    release();
    reach(Inet::icResponseReceived);
    reach(Inet::icResponseCompleted);
}

void Fetch::fail(const QString& text)
{
    if (ended_)
        return;
    ended_ = true;
    release();
    body_.clear();
    headers_.clear();
    errorText_ = text;
    reach(Inet::icError);
}
