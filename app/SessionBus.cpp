#include "app/SessionBus.h"

#include "app/DesktopNotifier.h"

#include <QByteArray>
#include <QDeadlineTimer>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace
{

// A real bus answers in milliseconds, a loaded machine in well under this.
constexpr int ProbeMs = 1000;
// Where a bus found silent is pointed: connecting fails at once.
const QByteArray NoBus = "unix:path=/dev/null/no-bus";

struct Socket {
    int fd = -1;
    ~Socket()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// Waits for fd to become ready for events; false when the deadline passes first.
bool waitFor(int fd, short events, const QDeadlineTimer& deadline)
{
    for (;;) {
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, int(qMax<qint64>(0, deadline.remainingTime())));
        if (n > 0)
            return !(p.revents & (POLLERR | POLLNVAL)) || (p.revents & events);
        if (n == 0 || errno != EINTR)
            return false;
    }
}

bool sendAll(int fd, QByteArrayView data, const QDeadlineTimer& deadline)
{
    while (!data.isEmpty()) {
        const ssize_t n = ::send(fd, data.data(), size_t(data.size()), MSG_NOSIGNAL);
        if (n > 0) {
            data = data.sliced(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            if (!waitFor(fd, POLLOUT, deadline))
                return false;
        } else {
            return false;
        }
    }
    return true;
}

// The socket a unix: entry names; false for another kind or an entry without one.
bool socketAddress(const QString& entry, sockaddr_un* sa, socklen_t* length)
{
    if (!entry.startsWith(u"unix:"_s))
        return false;
    QByteArray path;
    bool abstract = false;
    for (const QString& pair : entry.mid(5).split(u',')) {
        const qsizetype eq = pair.indexOf(u'=');
        const QString key = pair.left(eq);
        // Values are percent-escaped.
        const QByteArray value = QByteArray::fromPercentEncoding(pair.mid(eq + 1).toUtf8());
        if (key == u"path"_s)
            path = value;
        else if (key == u"abstract"_s)
            path = value, abstract = true;
    }
    if (path.isEmpty() || path.size() + 1 > qsizetype(sizeof sa->sun_path))
        return false;
    std::memset(sa, 0, sizeof *sa);
    sa->sun_family = AF_UNIX;
    std::memcpy(sa->sun_path + (abstract ? 1 : 0), path.constData(), size_t(path.size()));
    *length = socklen_t(offsetof(sockaddr_un, sun_path) + (abstract ? 1 : 0) + path.size() +
                        (abstract ? 0 : 1));
    return true;
}

// The handshake every client begins with: a NUL byte, then the EXTERNAL mechanism with the
// user id in hex; a bus that works answers OK or REJECTED at once.
bool handshakes(int fd, const QDeadlineTimer& deadline)
{
    const QByteArray uid = QByteArray::number(::getuid()).toHex();
    if (!sendAll(fd, "\0AUTH EXTERNAL "_ba + uid + "\r\n", deadline))
        return false;
    QByteArray answer;
    while (!answer.contains('\n') && answer.size() < 512) {
        if (!waitFor(fd, POLLIN, deadline))
            return false;
        char buffer[256];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
            return false;
        if (n > 0)
            answer.append(buffer, n);
    }
    return answer.startsWith("OK ") || answer.startsWith("REJECTED");
}

} // namespace

namespace SessionBus
{

bool Answers(const QString& address, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    // The entries in the order a client tries them: the first that connects is the bus.
    for (const QString& entry : address.split(u';', Qt::SkipEmptyParts)) {
        sockaddr_un sa;
        socklen_t length = 0;
        if (!socketAddress(entry, &sa, &length)) {
            if (entry.startsWith(u"unix:"_s))
                continue;
            return true; // tcp: and the like are taken on trust
        }
        Socket s{::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0)};
        if (s.fd < 0)
            return false;
        if (::connect(s.fd, reinterpret_cast<sockaddr*>(&sa), length) != 0 &&
            ((errno != EINPROGRESS && errno != EAGAIN) || !waitFor(s.fd, POLLOUT, deadline)))
            continue; // nothing there: the library fails at once too, and tries the next
        return handshakes(s.fd, deadline);
    }
    return false;
}

void ForgetIfSilent()
{
    // The accessibility bus, when the desktop names one, is reached directly.
    if (const QString a11y = qEnvironmentVariable("AT_SPI_BUS_ADDRESS");
        !a11y.isEmpty() && !Answers(a11y, ProbeMs))
        qputenv("AT_SPI_BUS_ADDRESS", NoBus);
    const QString address = DesktopNotifier::SessionBusAddress();
    if (!address.isEmpty() && !Answers(address, ProbeMs))
        qputenv("DBUS_SESSION_BUS_ADDRESS", NoBus);
}

} // namespace SessionBus
