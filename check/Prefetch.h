#pragma once
// The requests of a check run: the current item's and, when several connections are allowed,
// those of the next items in catalogue order, over one QNetworkAccessManager. At most
// 1 + the number of URLs ahead are in flight or kept, at most two to one host name.
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class Fetch;
class QNetworkAccessManager;
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
    // A new request for target, started.
    Fetch* Start(const QUrl& target, int timeoutMs);
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
    Fetch* create(const QUrl& target, int timeoutMs);
    void drop(Fetch* fetch);
    void pump();
    int running(const QString& host) const;

    // implementation detail, free to change
    QNetworkAccessManager* manager_ = nullptr;
    QList<Entry> ahead_;
    Fetch* current_ = nullptr;
    int timeoutMs_ = 0;
};
