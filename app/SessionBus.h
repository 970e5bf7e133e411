#pragma once
// The session bus the desktop gave, and whether it answers. A bus that accepts a connection
// and then stays silent would hold every blocking call on it (Qt's accessibility bridge,
// notifications) for good.
#include <QString>

namespace SessionBus
{
// True when the bus at address (a D-Bus address, unix:path= or unix:abstract=; others are
// taken on trust) completes the authentication handshake within timeoutMs.
bool Answers(const QString& address, int timeoutMs);
// Before the application object exists: a session bus (or accessibility bus) that does not
// answer within a short time is treated as absent for the rest of the process.
void ForgetIfSilent();
} // namespace SessionBus
