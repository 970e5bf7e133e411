#pragma once
// The transfer control: one HTTP GET at a time, reported through StateChanged on the
// event loop (never from inside Execute). Each request ends in exactly one of icError and
// icResponseCompleted; nothing of a request arrives after Cancel. A request fetched ahead
// (SetAhead) is reported, when its Execute comes, as if it ran then. The request itself
// (a Fetch on libcurl) holds its states; Inet only delivers them in order.
#include "check/TransferState.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

class Fetch;
class RequestPool;

class Inet final : public QObject, public TransferState
{
    Q_OBJECT
public:
    static constexpr int DefaultTimeoutMs = 60000;

    explicit Inet(QObject* parent = nullptr);
    ~Inet() override;

    QString URL; // address for Execute() without argument

    void Execute();
    void Execute(const QString& url);
    void Cancel();
    // The URLs the next Executes will ask for, in order: fetched ahead while the current one
    // runs, one more connection each. Empty (the default) fetches nothing ahead.
    void SetAhead(const QStringList& urls);
    // Ends every request ahead; nothing of them arrives afterwards.
    void CancelAhead();

    // Value of the response header, name matched without regard to case; empty when absent.
    QString GetHeader(const QString& name) const;
    // The next block of the kept body (at most size bytes), decoded from CP932.
    QString GetChunk(int size);
    // The kept body bytes of the completed response, decoded but not converted (at most
    // MaxBodyBytes); empty while the request runs or after an error.
    QByteArray Body() const;
    // The HTTP status of the completed response; 0 before.
    int Status() const;
    // Text of the last error.
    QString ResponseInfo() const { return responseInfo_; }
    // The caption word of a progress state (1, 3, 5, 7, 9); empty for any other code.
    static QString StatusText(int State);

    // Bounds each request from now on (the default is DefaultTimeoutMs).
    void SetTimeoutMs(int ms);

signals:
    void StateChanged(int State);

private:
    void schedule();
    void flush();
    const Fetch* ended() const; // the current request once it has ended

    RequestPool* requests_ = nullptr;
    qsizetype delivered_ = 0; // states of the current request raised so far
    qsizetype chunkPos_ = 0;
    QString responseInfo_;
    quint64 generation_ = 0;
    bool flushQueued_ = false;
};
