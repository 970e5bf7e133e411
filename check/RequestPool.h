#pragma once
// The requests of a check run: the current item's and, when several connections are allowed,
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

class Prefetch final : public QObject
{
    Q_OBJECT
public:
    static constexpr int PerHost = 2;

    explicit Prefetch(QObject* parent = nullptr);
    ~Prefetch() override;

    // The request fetched ahead for url when url is the next one expected, else null (and
    // the requests ahead, out of step, end). The caller gives it back with Release.
    Fetch* Take(const QString& url);
    // A new request for target, started; with an error text, one that fails with it.
    Fetch* Start(const QUrl& target, int timeoutMs, const QString& error = QString());
    // Ends the request; nothing of it arrives afterwards.
    void Release(Fetch* fetch);
    // The URLs expected after the current one, in order, up to one per further connection;
    // requests for others end.
    void SetAhead(const QStringList& urls, int timeoutMs);
    // Ends every request ahead.
    void CancelAhead();

    int InFlight() const; // test seam

private:
    struct Entry {
        QString url;
        Fetch* fetch = nullptr;
    };
    Fetch* create(const QUrl& target, int timeoutMs, const QString& error = QString());
    void drop(Fetch* fetch);
    void pump();
    int running(const QString& host) const;

    // implementation detail, free to change
    CurlMulti* transfers_ = nullptr;
    QList<Entry> ahead_;
    Fetch* current_ = nullptr;
    int timeoutMs_ = 0;
};
