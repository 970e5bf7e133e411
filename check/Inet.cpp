#include "check/Inet.h"

#include "app/CodePage.h"
#include "check/ContentDecoder.h"
#include "check/WebAddress.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <utility>

namespace {
constexpr int MaxRedirects = 10;

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

Inet::Inet(QObject* parent)
    : QObject(parent), manager_(new QNetworkAccessManager(this)), timer_(new QTimer(this))
{
    timer_->setSingleShot(true);
    timer_->setTimerType(Qt::PreciseTimer); // a coarse timer may end a request 5 % early
    connect(timer_, &QTimer::timeout, this,
            [this] { fail(generation_, QStringLiteral(u"応答がタイムアウトしました")); });
}

Inet::~Inet()
{
    ++generation_;
    release();
}

void Inet::Execute()
{
    Execute(URL);
}

void Inet::Execute(const QString& url)
{
    Cancel();
    const quint64 generation = generation_;
    body_.clear();
    chunkPos_ = 0;
    responseInfo_.clear();
    headers_.clear();
    lastPosted_ = icNone;
    redirects_ = 0;
    ended_ = false;
    post(generation, icResolvingHost);

    const QUrl target = WebAddress(url);
    if (!target.isValid() || target.isRelative()) {
        fail(generation, QStringLiteral(u"URLが正しくありません: %1").arg(url));
        return;
    }
    if (!isWebScheme(target.scheme())) {
        fail(generation,
             QStringLiteral(u"プロトコル \"%1\" はサポートされていません").arg(target.scheme()));
        return;
    }
    if (target.host().isEmpty()) {
        fail(generation, QStringLiteral(u"URLにホスト名がありません: %1").arg(url));
        return;
    }

    timer_->start(timeoutMs_);
    startRequest(generation, target);
}

void Inet::startRequest(quint64 generation, const QUrl& target)
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
    connect(reply, &QNetworkReply::socketStartedConnecting, this, [this, generation] {
        if (!ended_)
            post(generation, icConnecting);
    });
    connect(reply, &QNetworkReply::requestSent, this, [this, generation] {
        if (!ended_) {
            post(generation, icRequesting);
            post(generation, icRequestSent);
        }
    });
    connect(reply, &QNetworkReply::metaDataChanged, this, [this, generation] {
        if (!ended_)
            post(generation, icReceivingResponse);
    });
    // Qt 6.4 reports some failures (a body that fails to decompress, such as a compression
    // bomb) without ever finishing the reply: fail on the report itself.
    connect(reply, &QNetworkReply::errorOccurred, this,
            [this, generation](QNetworkReply::NetworkError error) {
                if (generation != generation_ || ended_ || !reply_)
                    return;
                const int status =
                    reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
                if (status >= 400 && isHttpStatusError(error))
                    return; // the server's error page follows and completes the request
                fail(generation, reply_->errorString());
            });
    connect(reply, &QNetworkReply::readyRead, this, [this, generation] { onReadyRead(generation); });
    connect(reply, &QNetworkReply::finished, this, [this, generation] { onFinished(generation); });
}

QUrl Inet::redirectTarget() const
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
void Inet::followRedirect(quint64 generation, const QUrl& target)
{
    if (++redirects_ > MaxRedirects) {
        fail(generation, QStringLiteral(u"リダイレクトが多すぎます"));
        return;
    }
    if (!isWebScheme(target.scheme()) || target.host().isEmpty()) {
        fail(generation, QStringLiteral(u"リダイレクト先 %1 には接続できません")
                             .arg(target.toDisplayString()));
        return;
    }
    QNetworkReply* old = std::exchange(reply_, nullptr);
    disconnect(old, nullptr, this, nullptr);
    if (old->isRunning())
        old->abort();
    old->deleteLater();
    startRequest(generation, target);
}

void Inet::Cancel()
{
    ++generation_;
    pending_.clear();
    ended_ = true;
    release();
}

void Inet::release()
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

void Inet::post(quint64 generation, int state)
{
    if (generation != generation_ || state <= lastPosted_)
        return;
    lastPosted_ = state;
    pending_.append(state);
    if (!flushQueued_) {
        flushQueued_ = true;
        QMetaObject::invokeMethod(this, &Inet::flush, Qt::QueuedConnection);
    }
}

void Inet::flush()
{
    flushQueued_ = false;
    const quint64 generation = generation_;
    const QPointer<Inet> self(this);
    // A handler may Cancel or Execute again; what was queued for the old request then goes.
    while (self && generation == generation_ && !pending_.isEmpty()) {
        const int state = pending_.takeFirst();
        emit StateChanged(state);
    }
}

void Inet::onReadyRead(quint64 generation)
{
    if (generation != generation_ || ended_ || !reply_)
        return;
    post(generation, icReceivingResponse);
    if (const QUrl target = redirectTarget(); !target.isEmpty()) {
        // The body of a redirect is never used; a huge one is not waited for.
        discarded_ += reply_->skip(reply_->bytesAvailable());
        if (discarded_ > MaxBodyBytes)
            followRedirect(generation, target);
        return;
    }
    takeBody(generation);
}

// Moves what has arrived into the kept body, decoded; false when that ended the request.
bool Inet::takeBody(quint64 generation)
{
    if (!decoder_) {
        const QByteArray encoding = reply_->rawHeader("Content-Encoding");
        // A coding never asked for ("br", "none", "UTF-8") is measured as the bytes came.
        const ContentDecoder::Coding coding =
            ContentDecoder::FromHeader(encoding).value_or(ContentDecoder::Coding::Identity);
        decoder_ = std::make_unique<ContentDecoder>(coding, MaxBodyBytes);
    }
    while (reply_->bytesAvailable() > 0) {
        const QByteArray piece = reply_->read(16 * 1024);
        if (decoder_->Finished()) {
            // Bytes after the end of the compressed stream are not part of the page.
            discarded_ += piece.size();
            if (discarded_ > MaxBodyBytes) {
                completeWithBody(generation);
                return false;
            }
            continue;
        }
        if (!decoder_->Feed(piece, body_)) {
            fail(generation, QStringLiteral(u"圧縮されたデータが壊れています"));
            return false;
        }
        if (body_.size() >= MaxBodyBytes) {
            completeWithBody(generation);
            return false;
        }
    }
    return true;
}

void Inet::onFinished(quint64 generation)
{
    if (generation != generation_ || ended_ || !reply_)
        return;
    const QNetworkReply::NetworkError error = reply_->error();
    if (error == QNetworkReply::NoError) {
        if (const QUrl target = redirectTarget(); !target.isEmpty()) {
            followRedirect(generation, target);
            return;
        }
    }
    if (!takeBody(generation))
        return;
    const int status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (error == QNetworkReply::NoError && status < 200) // no final response was parsed
        fail(generation, QStringLiteral(u"サーバーから応答がありませんでした"));
    else if (error == QNetworkReply::NoError || (status >= 400 && isHttpStatusError(error)))
        completeWithBody(generation);
    else
        fail(generation, reply_->errorString());
}

void Inet::completeWithBody(quint64 generation)
{
    if (generation != generation_ || ended_)
        return;
    ended_ = true;
    if (reply_)
        headers_ = reply_->rawHeaderPairs();
    release();
    post(generation, icResponseReceived);
    post(generation, icResponseCompleted);
}

void Inet::fail(quint64 generation, const QString& text)
{
    if (generation != generation_ || ended_)
        return;
    ended_ = true;
    release();
    body_.clear();
    headers_.clear();
    responseInfo_ = text;
    post(generation, icError);
}

// Header bytes are decoded as CP932, the code page of the item files: a value stored as Info
// then reads back unchanged, so an unchanged header never looks like a change.
QString Inet::GetHeader(const QString& name) const
{
    for (const auto& [key, value] : headers_) {
        if (QString::fromLatin1(key).compare(name, Qt::CaseInsensitive) == 0)
            return CodePage::FromAnsi(value);
    }
    return {};
}

QString Inet::GetChunk(int size)
{
    if (size <= 0 || chunkPos_ >= body_.size())
        return {};
    qsizetype end = std::min<qsizetype>(body_.size(), chunkPos_ + size);
    qsizetype i = chunkPos_;
    while (i < end) {
        if (CodePage::IsLeadByte(uchar(body_.at(i)))) {
            if (i + 1 >= end)
                break;
            i += 2;
        } else {
            ++i;
        }
    }
    // A lead byte whose trail lies past the block waits for the next block.
    if (i < end && end < body_.size() && i > chunkPos_)
        end = i;
    const QByteArrayView block = QByteArrayView(body_).sliced(chunkPos_, end - chunkPos_);
    chunkPos_ = end;
    return CodePage::FromAnsi(block);
}

QString Inet::StatusText(int State)
{
    switch (State) {
    case icResolvingHost:
        return QStringLiteral(u"IPアドレス取得");
    case icConnecting:
        return QStringLiteral(u"接続");
    case icRequesting:
        return QStringLiteral(u"送信");
    case icReceivingResponse:
        return QStringLiteral(u"受信");
    case icDisconnecting:
        return QStringLiteral(u"切断");
    default:
        return {};
    }
}
