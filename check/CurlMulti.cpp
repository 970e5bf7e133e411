#include "check/CurlMulti.h"

#include "check/Fetch.h"

#include <QSocketNotifier>
#include <QTimer>
#include <curl/curl.h>
#include <mutex>

namespace
{
struct Watch {
    QSocketNotifier* read = nullptr;
    QSocketNotifier* write = nullptr;
};

CURLM* handle(void* multi)
{
    return static_cast<CURLM*>(multi);
}

void drop(QSocketNotifier*& notifier)
{
    if (!notifier)
        return;
    // curl may ask for this while the notifier's own signal is being handled.
    notifier->setEnabled(false);
    notifier->deleteLater();
    notifier = nullptr;
}
} // namespace

struct CurlMultiCallbacks {
    static int onSocket(CURL*, curl_socket_t socket, int what, void* self, void* watched)
    {
        static_cast<CurlMulti*>(self)->watch(qintptr(socket), what, watched);
        return 0;
    }
    static int onTimer(CURLM*, long timeoutMs, void* self)
    {
        QTimer* timer = static_cast<CurlMulti*>(self)->timer_;
        if (timeoutMs < 0)
            timer->stop();
        else
            timer->start(int(std::min<long>(timeoutMs, 24L * 3600 * 1000)));
        return 0;
    }
};

CurlMulti::CurlMulti(QObject* parent) : QObject(parent), timer_(new QTimer(this))
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    multi_ = curl_multi_init();
    timer_->setSingleShot(true);
    timer_->setTimerType(Qt::PreciseTimer); // curl's time-outs are to the millisecond
    connect(timer_, &QTimer::timeout, this, [this] { act(CURL_SOCKET_TIMEOUT, 0); });
    curl_multi_setopt(handle(multi_), CURLMOPT_SOCKETFUNCTION, &CurlMultiCallbacks::onSocket);
    curl_multi_setopt(handle(multi_), CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(handle(multi_), CURLMOPT_TIMERFUNCTION, &CurlMultiCallbacks::onTimer);
    curl_multi_setopt(handle(multi_), CURLMOPT_TIMERDATA, this);
    // curl keeps 4 idle connections per running transfer: one request after the other over
    // several hosts would connect anew each time.
    curl_multi_setopt(handle(multi_), CURLMOPT_MAXCONNECTS, 32L);
}

CurlMulti::~CurlMulti()
{
    // Every Fetch has left by now; closing the kept connections may still report sockets.
    curl_multi_cleanup(handle(multi_));
    const QList<QSocketNotifier*> notifiers = findChildren<QSocketNotifier*>();
    for (QSocketNotifier* notifier : notifiers)
        notifier->setEnabled(false);
}

bool CurlMulti::Add(Fetch* fetch)
{
    return curl_multi_add_handle(handle(multi_), static_cast<CURL*>(fetch->Handle())) == CURLM_OK;
}

void CurlMulti::Remove(Fetch* fetch)
{
    curl_multi_remove_handle(handle(multi_), static_cast<CURL*>(fetch->Handle()));
}

void CurlMulti::watch(qintptr socket, int what, void* watched)
{
    auto* w = static_cast<Watch*>(watched);
    if (what == CURL_POLL_REMOVE) {
        if (w) {
            drop(w->read);
            drop(w->write);
            delete w;
        }
        return;
    }
    if (!w) {
        w = new Watch;
        curl_multi_assign(handle(multi_), curl_socket_t(socket), w);
    }
    const auto want = [&](QSocketNotifier*& notifier, QSocketNotifier::Type type, bool on,
                          int mask) {
        if (!on) {
            drop(notifier);
            return;
        }
        if (!notifier) {
            notifier = new QSocketNotifier(socket, type, this);
            connect(notifier, &QSocketNotifier::activated, this,
                    [this, socket, mask] { act(socket, mask); });
        }
        notifier->setEnabled(true);
    };
    want(w->read, QSocketNotifier::Read, what == CURL_POLL_IN || what == CURL_POLL_INOUT,
         CURL_CSELECT_IN);
    want(w->write, QSocketNotifier::Write, what == CURL_POLL_OUT || what == CURL_POLL_INOUT,
         CURL_CSELECT_OUT);
}

void CurlMulti::act(qintptr socket, int mask)
{
    int running = 0;
    curl_multi_socket_action(handle(multi_), curl_socket_t(socket), mask, &running);
    readDone();
}

// Outside every curl callback: a fetch's end may add or remove handles.
void CurlMulti::readDone()
{
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(handle(multi_), &left)) {
        if (message->msg != CURLMSG_DONE)
            continue;
        Fetch* fetch = nullptr;
        curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &fetch);
        const CURLcode result = message->data.result;
        if (fetch)
            fetch->Done(int(result));
    }
}
