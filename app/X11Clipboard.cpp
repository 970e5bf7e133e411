#include "app/X11Clipboard.h"

#if SITEVIGIL_XCB
#include <QDeadlineTimer>
#include <QList>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <poll.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h> // xcb_poll_for_reply

namespace
{

struct FreeReply {
    void operator()(void* p) const { std::free(p); }
};
template <class T> using Owned = std::unique_ptr<T, FreeReply>;

// Waits until the connection has something to read, up to the deadline; false at the deadline
// or when the connection broke.
bool waitReadable(xcb_connection_t* c, const QDeadlineTimer& deadline)
{
    for (;;) {
        if (xcb_connection_has_error(c))
            return false;
        const qint64 left = deadline.remainingTime();
        if (left == 0)
            return false;
        pollfd fd{xcb_get_file_descriptor(c), POLLIN, 0};
        const int ready = ::poll(&fd, 1, int(qMin<qint64>(left, 1000)));
        if (ready > 0)
            return true;
        if (ready < 0 && errno != EINTR)
            return false;
    }
}

// xcb's own reply calls would wait for good on an owner or a server that never answers.
template <class Reply>
Owned<Reply> replyTo(xcb_connection_t* c, unsigned int sequence, const QDeadlineTimer& deadline)
{
    xcb_flush(c);
    for (;;) {
        void* reply = nullptr;
        xcb_generic_error_t* error = nullptr;
        if (xcb_poll_for_reply(c, sequence, &reply, &error)) {
            std::free(error);
            return Owned<Reply>(static_cast<Reply*>(reply));
        }
        if (!waitReadable(c, deadline))
            return {};
    }
}

// The first event of type that match accepts, up to the deadline; the others are dropped.
template <class Event, class Match>
Owned<Event> eventOf(xcb_connection_t* c, uint8_t type, const QDeadlineTimer& deadline, Match match)
{
    xcb_flush(c);
    for (;;) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            if ((event->response_type & 0x7F) == type && match(*reinterpret_cast<Event*>(event)))
                return Owned<Event>(reinterpret_cast<Event*>(event));
            std::free(event);
        }
        if (!waitReadable(c, deadline))
            return {};
    }
}

struct Atoms {
    xcb_atom_t clipboard = XCB_NONE, targets = XCB_NONE, incr = XCB_NONE, wanted = XCB_NONE,
               property = XCB_NONE;
};

std::optional<Atoms> intern(xcb_connection_t* c, const char* target, const QDeadlineTimer& deadline)
{
    const char* names[] = {"CLIPBOARD", "TARGETS", "INCR", target, "SITEVIGIL_CLIPBOARD"};
    QList<xcb_intern_atom_cookie_t> cookies;
    for (const char* name : names)
        cookies.append(xcb_intern_atom(c, 0, uint16_t(qstrlen(name)), name));
    QList<xcb_atom_t> atoms;
    for (const xcb_intern_atom_cookie_t& cookie : cookies) {
        const auto reply = replyTo<xcb_intern_atom_reply_t>(c, cookie.sequence, deadline);
        if (!reply)
            return std::nullopt;
        atoms.append(reply->atom);
    }
    return Atoms{atoms[0], atoms[1], atoms[2], atoms[3], atoms[4]};
}

// The property read and deleted (which asks an INCR owner for its next piece).
Owned<xcb_get_property_reply_t> takeProperty(xcb_connection_t* c, xcb_window_t window,
                                             xcb_atom_t property, qsizetype maxBytes,
                                             const QDeadlineTimer& deadline)
{
    const xcb_get_property_cookie_t cookie = xcb_get_property(
        c, 1, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, uint32_t((maxBytes + 3) / 4));
    return replyTo<xcb_get_property_reply_t>(c, cookie.sequence, deadline);
}

// The selection converted to target into property of window; more than maxBytes is nothing.
// Large data comes in pieces (INCR), each put after the last was deleted, an empty one last.
std::optional<QByteArray> convert(xcb_connection_t* c, xcb_window_t window, const Atoms& atoms,
                                  xcb_atom_t target, qsizetype maxBytes,
                                  const QDeadlineTimer& deadline)
{
    xcb_convert_selection(c, window, atoms.clipboard, target, atoms.property, XCB_CURRENT_TIME);
    const auto notify = eventOf<xcb_selection_notify_event_t>(
        c, XCB_SELECTION_NOTIFY, deadline,
        [window](const xcb_selection_notify_event_t& e) { return e.requestor == window; });
    if (!notify || notify->property == XCB_NONE)
        return std::nullopt;
    auto piece = takeProperty(c, window, atoms.property, maxBytes, deadline);
    const bool incremental = piece && piece->type == atoms.incr;
    QByteArray data;
    for (;;) {
        if (!piece || piece->bytes_after > 0)
            return std::nullopt;
        const char* value = static_cast<const char*>(xcb_get_property_value(piece.get()));
        const int length = xcb_get_property_value_length(piece.get());
        if (length > maxBytes - data.size())
            return std::nullopt;
        if (!incremental)
            return QByteArray(value, length);
        if (piece->type != atoms.incr) {
            if (length == 0)
                return data;
            data.append(value, length);
        }
        const auto put = eventOf<xcb_property_notify_event_t>(
            c, XCB_PROPERTY_NOTIFY, deadline, [&](const xcb_property_notify_event_t& e) {
                return e.window == window && e.atom == atoms.property &&
                       e.state == XCB_PROPERTY_NEW_VALUE;
            });
        if (!put)
            return std::nullopt;
        piece = takeProperty(c, window, atoms.property, maxBytes - data.size(), deadline);
    }
}

bool offers(const QByteArray& targets, xcb_atom_t wanted)
{
    const qsizetype count = targets.size() / qsizetype(sizeof(xcb_atom_t));
    for (qsizetype i = 0; i < count; ++i) {
        xcb_atom_t atom;
        std::memcpy(&atom, targets.constData() + i * sizeof(xcb_atom_t), sizeof atom);
        if (atom == wanted)
            return true;
    }
    return false;
}

} // namespace

std::optional<QByteArray> X11ClipboardData(const char* target, int timeoutMs, qsizetype maxBytes)
{
    const QDeadlineTimer deadline(timeoutMs);
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return std::nullopt;
    int screenNumber = 0;
    const std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> connection(
        xcb_connect(nullptr, &screenNumber), xcb_disconnect);
    xcb_connection_t* c = connection.get();
    if (xcb_connection_has_error(c))
        return std::nullopt;
    xcb_screen_iterator_t screen = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && screen.rem > 0; ++i)
        xcb_screen_next(&screen);
    if (screen.rem <= 0)
        return std::nullopt;
    const std::optional<Atoms> atoms = intern(c, target, deadline);
    if (!atoms)
        return std::nullopt;
    const auto owner = replyTo<xcb_get_selection_owner_reply_t>(
        c, xcb_get_selection_owner(c, atoms->clipboard).sequence, deadline);
    if (!owner || owner->owner == XCB_NONE)
        return std::nullopt;

    // Unmapped and input-only: only the owner's answers come to it.
    const xcb_window_t window = xcb_generate_id(c);
    const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE; // for the pieces of INCR
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen.data->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK,
                      &events);
    std::optional<QByteArray> data;
    const std::optional<QByteArray> targets =
        convert(c, window, *atoms, atoms->targets, 64 * 1024, deadline);
    if (targets && offers(*targets, atoms->wanted))
        data = convert(c, window, *atoms, atoms->wanted, maxBytes, deadline);
    xcb_destroy_window(c, window);
    xcb_flush(c);
    return data;
}

#else

std::optional<QByteArray> X11ClipboardData(const char*, int, qsizetype)
{
    return std::nullopt;
}

#endif
