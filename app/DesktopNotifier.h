#pragma once
// One desktop notification at a time through the freedesktop notification service on the
// session bus. Sending never waits: without a bus or a service nothing is shown and nothing
// is reported.
#include <QObject>
#include <QString>
#include <QStringList>

class DesktopNotifier final : public QObject
{
    Q_OBJECT
public:
    explicit DesktopNotifier(QObject* parent = nullptr) : QObject(parent) {}

    // Replaces what Send showed before, if anything. The service's own sound is asked to stay
    // silent (the program plays its own). openable false: the notification offers no action
    // (no window could answer it).
    void Send(const QString& summary, const QString& body, bool openable = true);

    // True while the service has not answered every Send.
    bool Pending() const { return pendingCalls > 0; }

    static constexpr int MaxLines = 10;
    // A body of lines: at most MaxLines of them, then how many more.
    static QString Body(const QStringList& lines);
    // The session bus's address, or empty when there is none to reach.
    static QString SessionBusAddress();

signals:
    // The user chose the notification itself (its default action).
    void Activated();
    // Every Send has had its answer (or failed).
    void Settled();

private slots:
    void ActionInvoked(uint id, const QString& actionKey);

private:
    int pendingCalls = 0;
    uint shownId = 0;
    QString connectionName;
};
