#include "check/Inet.h"

#include "app/CodePage.h"
#include "check/Fetch.h"
#include "check/RequestPool.h"

#include <QPointer>
#include <algorithm>
#include <utility>

Inet::Inet(QObject* parent) : QObject(parent), requests_(new RequestPool(DefaultTimeoutMs, this)) {}

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
    chunkPos_ = 0;
    delivered_ = 0;
    responseInfo_.clear();
    connect(requests_->Open(url), &Fetch::StateReached, this, &Inet::schedule);
    schedule();
}

void Inet::Cancel()
{
    ++generation_;
    if (Fetch* fetch = requests_->Current()) {
        disconnect(fetch, nullptr, this, nullptr);
        requests_->Close();
    }
}

void Inet::SetTimeoutMs(int ms)
{
    requests_->SetTimeoutMs(ms);
}

void Inet::SetAhead(const QStringList& urls)
{
    requests_->SetAhead(urls);
}

void Inet::CancelAhead()
{
    requests_->CancelAhead();
}

// States are raised from the event loop, never from inside Execute or a curl callback.
void Inet::schedule()
{
    const Fetch* current = requests_->Current();
    if (flushQueued_ || !current || delivered_ >= current->States().size())
        return;
    flushQueued_ = true;
    QMetaObject::invokeMethod(this, &Inet::flush, Qt::QueuedConnection);
}

void Inet::flush()
{
    flushQueued_ = false;
    const quint64 generation = generation_;
    const QPointer<Inet> self(this);
    // A handler may Cancel or Execute again; what is left of the old request then goes.
    const Fetch* current = nullptr;
    while (self && generation == generation_ && (current = requests_->Current()) &&
           delivered_ < current->States().size()) {
        const int state = current->States().at(delivered_++);
        if (state == icError)
            responseInfo_ = current->ErrorText();
        emit StateChanged(state);
    }
}

const Fetch* Inet::ended() const
{
    const Fetch* current = requests_->Current();
    return current && current->Ended() ? current : nullptr;
}

QByteArray Inet::Body() const
{
    const Fetch* current = ended();
    return current ? current->Body() : QByteArray();
}

// Header bytes are decoded as CP932, the code page of the item files: a value stored as Info
// then reads back unchanged, so an unchanged header never looks like a change.
QString Inet::GetHeader(const QString& name) const
{
    const Fetch* current = ended();
    if (!current)
        return {};
    for (const auto& [key, value] : current->ResponseHeaders()) {
        if (QString::fromLatin1(key).compare(name, Qt::CaseInsensitive) == 0)
            return CodePage::FromAnsi(value);
    }
    return {};
}

QString Inet::GetChunk(int size)
{
    const Fetch* current = ended();
    if (!current)
        return {};
    const QByteArray& body = current->Body();
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

int Inet::Status() const
{
    const Fetch* current = ended();
    return current ? current->Status() : 0;
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
