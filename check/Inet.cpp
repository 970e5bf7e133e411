#include "check/Inet.h"

#include "app/CodePage.h"
#include "check/Fetch.h"
#include "check/Prefetch.h"

#include <QPointer>
#include <algorithm>
#include <utility>

Inet::Inet(QObject* parent) : QObject(parent), requests_(new Prefetch(this)) {}

Inet::~Inet()
{
    Cancel();
}

void Inet::Execute()
{
    Execute(URL);
}

void Inet::Execute(const QString& url)
{
    Cancel();
    const quint64 generation = generation_;
    chunkPos_ = 0;
    responseInfo_.clear();
    lastPosted_ = icNone;
    ended_ = false;
    post(generation, icResolvingHost);

    if (Fetch* ahead = requests_->Take(url)) {
        attach(ahead);
        return;
    }
    QString error;
    const QUrl target = Fetch::Target(url, &error);
    if (!error.isEmpty()) {
        fail(generation, error);
        return;
    }
    attach(requests_->Start(target, timeoutMs_));
}

// Raises what the request has reached already, then the rest as it comes.
void Inet::attach(Fetch* fetch)
{
    current_ = fetch;
    const quint64 generation = generation_;
    connect(fetch, &Fetch::StateReached, this,
            [this, generation](int state) { relay(generation, state); });
    const QList<int> reached = fetch->States();
    for (int state : reached)
        relay(generation, state);
}

void Inet::relay(quint64 generation, int state)
{
    if (generation != generation_ || ended_)
        return;
    if (state == icError) {
        ended_ = true;
        responseInfo_ = current_->ErrorText();
    } else if (state == icResponseCompleted) {
        ended_ = true;
    }
    post(generation, state);
}

void Inet::Cancel()
{
    ++generation_;
    pending_.clear();
    ended_ = true;
    if (Fetch* fetch = std::exchange(current_, nullptr)) {
        disconnect(fetch, nullptr, this, nullptr);
        requests_->Release(fetch);
    }
}

void Inet::SetAhead(const QStringList& urls)
{
    requests_->SetAhead(urls, timeoutMs_);
}

void Inet::CancelAhead()
{
    requests_->CancelAhead();
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

void Inet::fail(quint64 generation, const QString& text)
{
    if (generation != generation_ || ended_)
        return;
    ended_ = true;
    responseInfo_ = text;
    post(generation, icError);
}

// Header bytes are decoded as CP932, the code page of the item files: a value stored as Info
// then reads back unchanged, so an unchanged header never looks like a change.
QString Inet::GetHeader(const QString& name) const
{
    if (!current_ || !current_->Ended())
        return {};
    for (const auto& [key, value] : current_->ResponseHeaders()) {
        if (QString::fromLatin1(key).compare(name, Qt::CaseInsensitive) == 0)
            return CodePage::FromAnsi(value);
    }
    return {};
}

QString Inet::GetChunk(int size)
{
    if (!current_ || !current_->Ended())
        return {};
    const QByteArray& body = current_->Body();
    if (size <= 0 || chunkPos_ >= body.size())
        return {};
    qsizetype end = std::min<qsizetype>(body.size(), chunkPos_ + size);
    qsizetype i = chunkPos_;
    while (i < end) {
        if (CodePage::IsLeadByte(uchar(body.at(i)))) {
            if (i + 1 >= end)
                break;
            i += 2;
        } else {
            ++i;
        }
    }
    // A lead byte whose trail lies past the block waits for the next block.
    if (i < end && end < body.size() && i > chunkPos_)
        end = i;
    const QByteArrayView block = QByteArrayView(body).sliced(chunkPos_, end - chunkPos_);
    chunkPos_ = end;
    return CodePage::FromAnsi(block);
}

QByteArray Inet::Body() const
{
    if (!current_ || !current_->Ended())
        return {};
    const QByteArray& body = current_->Body();
    return body.size() > MaxBodyBytes ? body.first(MaxBodyBytes) : body;
}

int Inet::Status() const
{
    return current_ && current_->Ended() ? current_->Status() : 0;
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
