#include "check/Fetch.h"

#include "check/ContentDecoder.h"
#include "check/CurlMulti.h"
#include "check/TransferState.h"
#include "check/WebAddress.h"

#include <QLocale>
#include <cerrno>
#include <curl/curl.h>
#include <sys/socket.h>
#include <utility>

using namespace Qt::StringLiterals;

namespace
{
constexpr int MaxBodyBytes = TransferState::MaxBodyBytes;

bool isWebScheme(const QString& scheme)
{
    return scheme == u"http" || scheme == u"https";
}

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

CURL* easy(void* handle)
{
    return static_cast<CURL*>(handle);
}

// The head servers have always had from the program, so they answer as they did:
// compression named (ContentDecoder decodes it and stops at the limit), no Accept line.
curl_slist* requestHeaders()
{
    QString language = QLocale::system().name().replace(u'_', u'-');
    if (language == u"C")
        language = u"en,*"_s;
    else if (language.startsWith(u"en-"))
        language += u",*"_s;
    else
        language += u",en,*"_s;
    curl_slist* list = nullptr;
    for (const QByteArray& line :
         {QByteArray("Accept:"), QByteArray("Accept-Encoding: gzip, deflate"),
          QByteArray("Connection: Keep-Alive"), "Accept-Language: " + language.toLatin1()})
        list = curl_slist_append(list, line.constData());
    return list;
}

QByteArray trimmedLine(const char* data, qsizetype size)
{
    return QByteArray(data, size).trimmed();
}
} // namespace

struct FetchCallbacks {
    static size_t onHeader(char* data, size_t, size_t n, void* self)
    {
        return size_t(static_cast<Fetch*>(self)->onHeader(data, qsizetype(n)));
    }
    static size_t onBody(char* data, size_t, size_t n, void* self)
    {
        return size_t(static_cast<Fetch*>(self)->onBody(data, qsizetype(n)));
    }
    // A socket for a new connection: the host name is resolved, connecting begins.
    static curl_socket_t onOpenSocket(void* self, curlsocktype, curl_sockaddr* address)
    {
        auto* fetch = static_cast<Fetch*>(self);
        fetch->reach(TransferState::icHostResolved);
        fetch->reach(TransferState::icConnecting);
        return socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
    }
    // The connection (new or kept alive) is ready for the request.
    static int onReady(void* self, char*, char*, int, int)
    {
        static_cast<Fetch*>(self)->reach(TransferState::icConnected);
        return CURL_PREREQFUNC_OK;
    }
    static int onDebug(CURL*, curl_infotype type, char*, size_t, void* self)
    {
        if (type == CURLINFO_HEADER_OUT) {
            auto* fetch = static_cast<Fetch*>(self);
            fetch->reach(TransferState::icRequesting);
            fetch->reach(TransferState::icRequestSent);
        }
        return 0;
    }
};

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

QString Fetch::ErrorText(int result, int osError, const QString& detail)
{
    struct Entry {
        CURLcode code;
        const char16_t* text;
        bool withDetail;
    };
    static const Entry table[] = {
        {CURLE_UNSUPPORTED_PROTOCOL, u"サーバーの応答が正しくありません", true},
        {CURLE_URL_MALFORMAT, u"URLが正しくありません", true},
        {CURLE_COULDNT_RESOLVE_PROXY, u"プロキシが見つかりません", true},
        {CURLE_COULDNT_RESOLVE_HOST, u"ホストが見つかりません", true},
        {CURLE_COULDNT_CONNECT, u"サーバーに接続できません", true},
        {CURLE_WEIRD_SERVER_REPLY, u"サーバーの応答が正しくありません", true},
        {CURLE_HTTP2, u"HTTP/2 の通信に失敗しました", true},
        {CURLE_HTTP2_STREAM, u"HTTP/2 の通信に失敗しました", true},
        {CURLE_PARTIAL_FILE, u"応答が途中で切れました", false},
        {CURLE_OUT_OF_MEMORY, u"メモリが足りません", false},
        {CURLE_OPERATION_TIMEDOUT, u"応答がタイムアウトしました", false},
        {CURLE_SSL_CONNECT_ERROR, u"安全な接続を確立できませんでした", true},
        {CURLE_TOO_MANY_REDIRECTS, u"リダイレクトが多すぎます", false},
        {CURLE_GOT_NOTHING, u"サーバーから応答がありませんでした", false},
        {CURLE_SEND_ERROR, u"データを送信できませんでした", true},
        {CURLE_RECV_ERROR, u"データを受信できませんでした", true},
        {CURLE_PEER_FAILED_VERIFICATION, u"サーバーの証明書を確認できませんでした", true},
        {CURLE_BAD_CONTENT_ENCODING, u"圧縮されたデータが壊れています", false},
        {CURLE_SSL_CACERT_BADFILE, u"証明書を読み込めませんでした", true},
        {CURLE_PROXY, u"プロキシとの通信に失敗しました", true},
    };
    // The system's own reason says more than curl's code for these.
    if (osError == ECONNREFUSED)
        return u"接続が拒否されました"_s;
    if (osError == ECONNRESET || osError == EPIPE)
        return u"接続がリセットされました"_s;
    if (osError == ENETUNREACH || osError == EHOSTUNREACH)
        return u"ホストに到達できません"_s;
    QString text = u"通信に失敗しました"_s;
    bool withDetail = true;
    for (const Entry& entry : table) {
        if (entry.code == result) {
            text = QString::fromUtf16(entry.text);
            withDetail = entry.withDetail;
            break;
        }
    }
    QString more = detail.simplified();
    if (more.isEmpty() && withDetail && result != CURLE_OK)
        more = QString::fromUtf8(curl_easy_strerror(CURLcode(result)));
    return withDetail && !more.isEmpty() ? text + u" ("_s + more + u')' : text;
}

Fetch::Fetch(CurlMulti* multi, const QUrl& target, int timeoutMs, QObject* parent,
             const QString& error)
    : QObject(parent), multi_(multi), host_(target.host()), timeoutMs_(timeoutMs),
      startError_(error)
{
    if (startError_.isEmpty() && target.isEmpty())
        startError_ = u"URLが正しくありません"_s;
    url_ = target;
}

Fetch::~Fetch()
{
    leave();
}

void Fetch::Start()
{
    if (started_)
        return;
    started_ = true;
    clock_.start();
    reach(TransferState::icResolvingHost);
    if (!startError_.isEmpty()) {
        fail(startError_);
        return;
    }
    easy_ = curl_easy_init();
    requestHeaders_ = requestHeaders();
    CURL* e = easy(easy_);
    curl_easy_setopt(e, CURLOPT_PRIVATE, this);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_USERAGENT, "SiteVigil/" SITEVIGIL_VERSION);
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, static_cast<curl_slist*>(requestHeaders_));
    curl_easy_setopt(e, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, detail_.data());
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &FetchCallbacks::onHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &FetchCallbacks::onBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(e, CURLOPT_OPENSOCKETFUNCTION, &FetchCallbacks::onOpenSocket);
    curl_easy_setopt(e, CURLOPT_OPENSOCKETDATA, this);
    curl_easy_setopt(e, CURLOPT_PREREQFUNCTION, &FetchCallbacks::onReady);
    curl_easy_setopt(e, CURLOPT_PREREQDATA, this);
    // The debug hook is the one report of the request having gone out.
    curl_easy_setopt(e, CURLOPT_DEBUGFUNCTION, &FetchCallbacks::onDebug);
    curl_easy_setopt(e, CURLOPT_DEBUGDATA, this);
    curl_easy_setopt(e, CURLOPT_VERBOSE, 1L);
    if (!startHop(url_))
        fail(u"通信を開始できませんでした"_s);
}

bool Fetch::startHop(const QUrl& target)
{
    url_ = target;
    body_.clear();
    headers_.clear();
    decoder_.reset();
    abortText_.clear();
    status_ = 0;
    headerBytes_ = 0;
    discarded_ = 0;
    bodySeen_ = false;
    headEnded_ = false;
    redirecting_ = false;
    redirectNow_ = false;
    limitReached_ = false;
    detail_.fill(0);
    CURL* e = easy(easy_);
    curl_easy_setopt(e, CURLOPT_URL, target.toEncoded().constData());
    // The time-out covers the request with all its redirects.
    const qint64 left = std::max<qint64>(1, timeoutMs_ - clock_.elapsed());
    curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, long(left));
    added_ = multi_->Add(this);
    return added_;
}

void Fetch::Stop()
{
    ended_ = true;
    leave();
}

void Fetch::leave()
{
    decoder_.reset();
    if (added_) {
        multi_->Remove(this);
        added_ = false;
    }
    if (easy_)
        curl_easy_cleanup(easy(std::exchange(easy_, nullptr)));
    if (requestHeaders_)
        curl_slist_free_all(static_cast<curl_slist*>(std::exchange(requestHeaders_, nullptr)));
}

void Fetch::reach(int state)
{
    if (ended_ || (!states_.isEmpty() && state <= states_.constLast()))
        return;
    states_.append(state);
    emit StateReached(state);
}

qsizetype Fetch::onHeader(const char* data, qsizetype size)
{
    headerBytes_ += size;
    if (headerBytes_ > MaxHeaderBytes) {
        abortText_ = u"ヘッダーが大きすぎます"_s;
        return 0;
    }
    reach(TransferState::icReceivingResponse);
    const QByteArray line = trimmedLine(data, size);
    if (line.startsWith("HTTP/")) { // a new response (after an interim one) starts afresh
        headers_.clear();
        headEnded_ = false;
        return size;
    }
    if (line.isEmpty()) {
        headEnded_ = true;
        return size;
    }
    if ((data[0] == ' ' || data[0] == '\t') && !headers_.isEmpty()) { // folded continuation
        headers_.last().second += ' ' + line;
        return size;
    }
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0)
        return size;
    const QByteArray name = line.left(colon).trimmed();
    const QByteArray value = line.mid(colon + 1).trimmed();
    // A name sent twice reads as one value, as the Qt engine combined it.
    for (auto& [key, old] : headers_) {
        if (key.compare(name, Qt::CaseInsensitive) == 0) {
            old += ", " + value;
            return size;
        }
    }
    headers_.append({name, value});
    return size;
}

QUrl Fetch::redirectTarget() const
{
    if (!isRedirect(status_))
        return {};
    for (const auto& [key, value] : headers_) {
        if (key.compare("Location", Qt::CaseInsensitive) == 0 && !value.isEmpty())
            return url_.resolved(QUrl::fromEncoded(value));
    }
    return {};
}

qsizetype Fetch::onBody(const char* data, qsizetype size)
{
    if (!bodySeen_) {
        bodySeen_ = true;
        long status = 0;
        curl_easy_getinfo(easy(easy_), CURLINFO_RESPONSE_CODE, &status);
        status_ = int(status);
        redirecting_ = !redirectTarget().isEmpty();
        QByteArray coding;
        for (const auto& [key, value] : headers_) {
            if (key.compare("Content-Encoding", Qt::CaseInsensitive) == 0)
                coding = value;
        }
        // A coding never asked for ("br", "none", "UTF-8") is measured as the bytes came.
        decoder_ = std::make_unique<ContentDecoder>(
            ContentDecoder::FromHeader(coding).value_or(ContentDecoder::Coding::Identity),
            MaxBodyBytes);
    }
    const QByteArrayView piece(data, size);
    if (redirecting_ || decoder_->Finished()) {
        // The body of a redirect is never used, nor bytes after the end of a compressed
        // stream; a long one is not waited for.
        discarded_ += size;
        if (discarded_ <= MaxBodyBytes)
            return size;
        redirectNow_ = redirecting_;
        limitReached_ = !redirecting_;
        return 0;
    }
    if (!decoder_->Feed(piece, body_)) {
        abortText_ = u"圧縮されたデータが壊れています"_s;
        return 0;
    }
    if (body_.size() >= MaxBodyBytes) {
        limitReached_ = true;
        return 0;
    }
    return size;
}

void Fetch::Done(int result)
{
    if (ended_)
        return;
    long status = 0;
    curl_easy_getinfo(easy(easy_), CURLINFO_RESPONSE_CODE, &status);
    status_ = int(status);
    long osError = 0;
    curl_easy_getinfo(easy(easy_), CURLINFO_OS_ERRNO, &osError);
    multi_->Remove(this);
    added_ = false;

    if (result == CURLE_OK || redirectNow_) {
        if (const QUrl target = redirectTarget(); !target.isEmpty()) {
            if (++redirects_ > MaxRedirects)
                fail(u"リダイレクトが多すぎます"_s);
            else if (!isWebScheme(target.scheme()) || target.host().isEmpty())
                fail(QStringLiteral(u"リダイレクト先 %1 には接続できません")
                         .arg(target.toDisplayString()));
            else if (!startHop(target))
                fail(u"通信を開始できませんでした"_s);
            return;
        }
    }
    if (limitReached_)
        complete();
    else if (!abortText_.isEmpty())
        fail(abortText_);
    else if (result == CURLE_OK && !headEnded_) // closed inside the head
        fail(u"応答が途中で切れました"_s);
    else if (result == CURLE_OK && status_ >= 200)
        complete();
    else if (result == CURLE_OK)
        fail(u"サーバーから応答がありませんでした"_s);
    else if (result == CURLE_OUT_OF_MEMORY && !bodySeen_) // curl's own bound on one line
        fail(u"ヘッダーが大きすぎます"_s);
    else
        fail(ErrorText(result, int(osError), QString::fromUtf8(detail_.data())));
}

void Fetch::complete()
{
    if (ended_)
        return;
    leave();
    reach(TransferState::icResponseReceived);
    end(TransferState::icResponseCompleted);
}

void Fetch::fail(const QString& text)
{
    if (ended_)
        return;
    leave();
    body_.clear();
    headers_.clear();
    errorText_ = text;
    end(TransferState::icError);
}

// The terminal state: the request counts as ended for whoever hears of it.
void Fetch::end(int state)
{
    ended_ = true;
    states_.append(state);
    emit StateReached(state);
}
