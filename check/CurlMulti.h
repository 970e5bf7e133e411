#pragma once
// libcurl's multi interface on the Qt event loop of the thread that owns it: one socket
// notifier per socket direction curl asks for and one timer, so every transfer runs on the
// user-interface thread and a busy one only costs the time of its own callbacks.
#include <QObject>

class Fetch;
class QTimer;

class CurlMulti final : public QObject
{
    Q_OBJECT
public:
    explicit CurlMulti(QObject* parent = nullptr);
    ~CurlMulti() override;

    // The fetch's easy handle joins (or leaves) the transfers; Fetch::Done follows its end.
    // Neither may be called from inside a curl callback.
    bool Add(Fetch* fetch);
    void Remove(Fetch* fetch);

private:
    friend struct CurlMultiCallbacks;
    void act(qintptr socket, int mask);
    void watch(qintptr socket, int what, void* watched);
    void readDone();

    void* multi_ = nullptr;
    QTimer* timer_ = nullptr;
};
