#pragma once
// Every request of a check run: the current item's and, when several connections are allowed,
// those of the next items in catalogue order, on one set of libcurl transfers (CurlMulti),
// which keeps the connections alive between them. At most 1 + the number of URLs ahead are
// in flight or kept, at most two to one host name.
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class CurlMulti;
class Fetch;
class QUrl;

class RequestPool final : public QObject
{
    Q_OBJECT
public:
    static constexpr int PerHost = 2;

    RequestPool(int timeoutMs, QObject* parent = nullptr);
    ~RequestPool() override;

    // Bounds each request started from now on.
    void SetTimeoutMs(int ms) { timeoutMs_ = ms; }

    // The request for url becomes the current one, started: the one fetched ahead when url
    // is the next one expected, else a new one (and the requests ahead, out of step, end). A
    // URL that cannot be fetched gives a request that fails with the reason.
    Fetch* Open(const QString& url);
    // The current request, or null.
    Fetch* Current() const { return current_; }
    // Ends the current request; nothing of it arrives afterwards.
    void Close();
    // The URLs expected after the current one, in order, up to one per further connection;
    // requests for others end.
    void SetAhead(const QStringList& urls);
    // Ends every request ahead.
    void CancelAhead();

private:
    struct Entry {
        QString url;
        Fetch* fetch = nullptr;
    };
    Fetch* create(const QUrl& target, const QString& error = QString());
    void drop(Fetch* fetch);
    void pump();
    int inFlight() const;
    int running(const QString& host) const;

    CurlMulti* transfers_ = nullptr;
    QList<Entry> ahead_;
    Fetch* current_ = nullptr;
    int timeoutMs_;
};
