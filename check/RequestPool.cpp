#include "check/RequestPool.h"

#include "check/CurlMulti.h"
#include "check/Fetch.h"
#include "check/TransferState.h"

#include <utility>

RequestPool::RequestPool(int timeoutMs, QObject* parent)
    : QObject(parent), transfers_(new CurlMulti(this)), timeoutMs_(timeoutMs)
{
}

RequestPool::~RequestPool()
{
    // The requests leave the transfers before these go.
    const QList<Fetch*> fetches = findChildren<Fetch*>(Qt::FindDirectChildrenOnly);
    for (Fetch* fetch : fetches) {
        fetch->Stop();
        delete fetch;
    }
    delete transfers_;
}

Fetch* RequestPool::create(const QUrl& target, const QString& error)
{
    auto* fetch = new Fetch(transfers_, target, timeoutMs_, this, error);
    // A request that ends frees its connection for one further ahead.
    connect(fetch, &Fetch::StateReached, this, [this](int state) {
        if (state == TransferState::icError || state == TransferState::icResponseCompleted)
            pump();
    });
    fetch->Start();
    return fetch;
}

void RequestPool::drop(Fetch* fetch)
{
    if (!fetch)
        return;
    disconnect(fetch, nullptr, this, nullptr);
    fetch->Stop();
    fetch->deleteLater();
}

Fetch* RequestPool::Open(const QString& url)
{
    if (!ahead_.isEmpty() && ahead_.constFirst().url == url) {
        current_ = ahead_.takeFirst().fetch;
        if (current_)
            return current_;
    } else {
        CancelAhead();
    }
    QString error;
    const QUrl target = Fetch::Target(url, &error);
    current_ = create(target, error);
    return current_;
}

void RequestPool::Close()
{
    drop(std::exchange(current_, nullptr));
}

void RequestPool::SetAhead(const QStringList& urls)
{
    qsizetype same = 0;
    while (same < ahead_.size() && same < urls.size() && ahead_.at(same).url == urls.at(same))
        ++same;
    while (ahead_.size() > same)
        drop(ahead_.takeLast().fetch);
    for (qsizetype i = same; i < urls.size(); ++i)
        ahead_.append({urls.at(i), nullptr});
    pump();
}

void RequestPool::CancelAhead()
{
    while (!ahead_.isEmpty())
        drop(ahead_.takeLast().fetch);
}

int RequestPool::running(const QString& host) const
{
    int n = current_ && current_->Running() && current_->Host() == host ? 1 : 0;
    for (const Entry& entry : ahead_)
        n += entry.fetch && entry.fetch->Running() && entry.fetch->Host() == host ? 1 : 0;
    return n;
}

int RequestPool::inFlight() const
{
    int n = current_ && current_->Running() ? 1 : 0;
    for (const Entry& entry : ahead_)
        n += entry.fetch && entry.fetch->Running() ? 1 : 0;
    return n;
}

// Starts the requests ahead in catalogue order while connections are free, skipping those
// whose host has its share already; a URL that cannot be fetched is left to the run.
void RequestPool::pump()
{
    const int limit = 1 + int(ahead_.size());
    int started = inFlight();
    for (Entry& entry : ahead_) {
        if (started >= limit)
            break;
        if (entry.fetch)
            continue;
        const QUrl target = Fetch::Target(entry.url, nullptr);
        if (target.isEmpty() || running(target.host()) >= PerHost)
            continue;
        entry.fetch = create(target);
        ++started;
    }
}
