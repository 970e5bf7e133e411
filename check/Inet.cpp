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
    chunkPos_ = 0;
    delivered_ = 0;
    responseInfo_.clear();
    current_ = requests_->Take(url);
    if (!current_) {
        QString error;
        const QUrl target = Fetch::Target(url, &error);
        current_ = requests_->Start(target, timeoutMs_, error);
    }
    connect(current_, &Fetch::StateReached, this, &Inet::schedule);
    schedule();
}

void Inet::Cancel()
{
    ++generation_;
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

// States are raised from the event loop, never from inside Execute or a curl callback.
void Inet::schedule()
{
    if (flushQueued_ || !current_ || delivered_ >= current_->States().size())
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
    while (self && generation == generation_ && current_ &&
           delivered_ < current_->States().size()) {
        const int state = current_->States().at(delivered_++);
        if (state == icError)
            responseInfo_ = current_->ErrorText();
        emit StateChanged(state);
    }
}

QByteArray Inet::Body() const
{
    return current_ && current_->Ended() ? current_->Body() : QByteArray();
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
