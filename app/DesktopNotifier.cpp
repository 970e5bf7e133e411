#include "app/DesktopNotifier.h"

#include "app/SessionBus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileInfo>
#include <QVariantMap>

using namespace Qt::StringLiterals;

namespace
{
const QString Service = u"org.freedesktop.Notifications"_s;
const QString Path = u"/org/freedesktop/Notifications"_s;
const QString Interface = u"org.freedesktop.Notifications"_s;
constexpr int ProbeMs = 1000;
} // namespace

QString DesktopNotifier::Body(const QStringList& lines)
{
    // Most services read the body as markup: a title such as "A&B" must stay text.
    QStringList shown;
    for (const QString& line : lines.mid(0, MaxLines))
        shown.append(line.toHtmlEscaped());
    if (lines.size() > MaxLines)
        shown.append(u"ほか %1 件"_s.arg(lines.size() - MaxLines));
    return shown.join(u'\n');
}

QString DesktopNotifier::SessionBusAddress()
{
    const QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    if (!address.isEmpty())
        return address;
    // The address a desktop session's bus has without the variable. Anything else (the
    // library's autolaunch) could start a bus of its own and wait for it.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime + u"/bus"_s).exists())
        return u"unix:path="_s + runtime + u"/bus"_s;
    return QString();
}

void DesktopNotifier::Send(const QString& summary, const QString& body, bool openable)
{
    const QString address = SessionBusAddress();
    if (address.isEmpty())
        return;
    const QString name = u"sitevigil-notifications "_s + address;
    if (name != connectionName) {
        if (!connectionName.isEmpty())
            QDBusConnection::disconnectFromBus(connectionName);
        connectionName = name;
        // Connecting waits for the bus's greeting; one that has gone silent since the start
        // is not waited for.
        if (!SessionBus::Answers(address, ProbeMs))
            return;
        QDBusConnection bus = QDBusConnection::connectToBus(address, name);
        bus.connect(Service, Path, Interface, u"ActionInvoked"_s, this,
                    SLOT(ActionInvoked(uint, QString)));
    }
    QDBusConnection bus(connectionName);
    if (!bus.isConnected())
        return;

    QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Interface, u"Notify"_s);
    // The default action is the click on the notification itself.
    call << u"SiteVigil"_s << shownId << u"sitevigil"_s << summary << body
         << (openable ? QStringList{u"default"_s, u"開く"_s} : QStringList())
         << QVariantMap{{u"suppress-sound"_s, true}, {u"desktop-entry"_s, u"sitevigil"_s}}
         << int(-1);
    ++pendingCalls;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        const QDBusPendingReply<uint> reply = *w;
        if (!reply.isError())
            shownId = reply.value();
        w->deleteLater();
        if (--pendingCalls == 0)
            emit Settled();
    });
}

void DesktopNotifier::ActionInvoked(uint id, const QString& actionKey)
{
    if (id != 0 && id == shownId && actionKey == u"default"_s)
        emit Activated();
}
