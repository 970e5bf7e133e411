#include "check/Prefetch.h"

#include "check/CurlMulti.h"
#include "check/Fetch.h"
#include "check/Inet.h"

#include <utility>

Prefetch::Prefetch(QObject* parent) : QObject(parent), transfers_(new CurlMulti(this)) {}

Prefetch::~Prefetch()
{
    // The requests leave the transfers before these go.
    const QList<Fetch*> fetches = findChildren<Fetch*>(Qt::FindDirectChildrenOnly);
    for (Fetch* fetch : fetches) {
        fetch->Stop();
        delete fetch;
    }
    delete transfers_;
}

Fetch* Prefetch::create(const QUrl& target, int timeoutMs, const QString& error)
{
    auto* fetch = new Fetch(transfers_, target, timeoutMs, this, error);
    // A request that ends frees its connection for one further ahead.
    connect(fetch, &Fetch::StateReached, this, [this](int state) {
        if (state == Inet::icError || state == Inet::icResponseCompleted)
            pump();
    });
    fetch->Start();
    return fetch;
}

void Prefetch::drop(Fetch* fetch)
{
    if (!fetch)
        return;
    disconnect(fetch, nullptr, this, nullptr);
    fetch->Stop();
    fetch->deleteLater();
}

Fetch* Prefetch::Take(const QString& url)
{
    if (!ahead_.isEmpty() && ahead_.constFirst().url == url) {
        current_ = ahead_.takeFirst().fetch;
        return current_;
    }
    CancelAhead();
    return nullptr;
}

Fetch* Prefetch::Start(const QUrl& target, int timeoutMs, const QString& error)
{
    current_ = create(target, timeoutMs, error);
    return current_;
}

void Prefetch::Release(Fetch* fetch)
{
    if (fetch == current_)
        current_ = nullptr;
    drop(fetch);
}

void Prefetch::SetAhead(const QStringList& urls, int timeoutMs)
{
    timeoutMs_ = timeoutMs;
    qsizetype same = 0;
    while (same < ahead_.size() && same < urls.size() && ahead_.at(same).url == urls.at(same))
        ++same;
    while (ahead_.size() > same)
        drop(ahead_.takeLast().fetch);
    for (qsizetype i = same; i < urls.size(); ++i)
        ahead_.append({urls.at(i), nullptr});
    pump();
}

void Prefetch::CancelAhead()
{
    while (!ahead_.isEmpty())
        drop(ahead_.takeLast().fetch);
}

int Prefetch::running(const QString& host) const
{
    int n = current_ && current_->Running() && current_->Host() == host ? 1 : 0;
    for (const Entry& entry : ahead_)
        n += entry.fetch && entry.fetch->Running() && entry.fetch->Host() == host ? 1 : 0;
    return n;
}

int Prefetch::InFlight() const
{
    int n = current_ && current_->Running() ? 1 : 0;
    for (const Entry& entry : ahead_)
        n += entry.fetch && entry.fetch->Running() ? 1 : 0;
    return n;
}

// Starts the requests ahead in catalogue order while connections are free, skipping those
// whose host has its share already; a URL that cannot be fetched is left to the run.
void Prefetch::pump()
{
    const int limit = 1 + int(ahead_.size());
    int inFlight = InFlight();
    for (Entry& entry : ahead_) {
        if (inFlight >= limit)
            break;
        if (entry.fetch)
            continue;
        const QUrl target = Fetch::Target(entry.url, nullptr);
        if (target.isEmpty() || running(target.host()) >= PerHost)
            continue;
        entry.fetch = create(target, timeoutMs_);
        ++inFlight;
    }
}
