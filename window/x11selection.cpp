// SPDX-License-Identifier: GPL-3.0-or-later
#include "x11selection.h"

#ifdef CODETARVO_HAVE_XCB
#include <QAbstractNativeEventFilter>
#include <QGuiApplication>
#include <QPointer>
#include <QtGui/qguiapplication_platform.h>
#include <poll.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#endif

namespace X11Selection {

#ifdef CODETARVO_HAVE_XCB

namespace {

using Clock = std::chrono::steady_clock;

struct FreeDeleter {
    void operator()(void *pointer) const { std::free(pointer); }
};
// Replies and events come from xcb in malloc'ed memory.
template <typename T> using Owned = std::unique_ptr<T, FreeDeleter>;

// Bytes of a property read per request, in 32-bit units (4 MiB).
constexpr std::uint32_t ChunkUnits = 1u << 20;

struct Property {
    xcb_atom_t type = XCB_ATOM_NONE;
    std::string bytes;
};

std::string_view selectionName(Name name)
{
    switch (name) {
    case Name::Clipboard:
        return "CLIPBOARD";
    case Name::Primary:
        return "PRIMARY";
    case Name::Drag:
        return "XdndSelection";
    }
    return {};
}

// One selection transfer: a connection of its own and an unmapped window that receives the
// owner's answer. Qt's connection cannot serve here, because Qt's own event reader takes
// every event that arrives on it.
class Transfer {
public:
    Transfer() : m_connection(xcb_connect(nullptr, nullptr)) {}
    ~Transfer()
    {
        if (m_window != XCB_WINDOW_NONE && !failed())
            xcb_destroy_window(m_connection, m_window);
        xcb_disconnect(m_connection);
    }
    Transfer(const Transfer &) = delete;
    Transfer &operator=(const Transfer &) = delete;

    [[nodiscard]] bool failed() const { return xcb_connection_has_error(m_connection) != 0; }

    // Whether this connection reaches the X server the application draws on: the DISPLAY
    // the application was started with may have been overridden by its -display option.
    [[nodiscard]] bool sameServerAs(xcb_connection_t *other) const
    {
        const xcb_setup_t *mine = xcb_get_setup(m_connection);
        const xcb_setup_t *theirs = xcb_get_setup(other);
        if (!mine || !theirs || mine->release_number != theirs->release_number ||
            mine->roots_len != theirs->roots_len)
            return false;
        return xcb_setup_roots_iterator(mine).data->root ==
               xcb_setup_roots_iterator(theirs).data->root;
    }

    // TIME is that of the user's action that asks, as the owner may check it.
    [[nodiscard]] std::optional<QString> read(Name name, xcb_timestamp_t time,
                                              Clock::duration timeout)
    {
        const xcb_atom_t selection = intern(selectionName(name));
        const xcb_atom_t utf8 = intern("UTF8_STRING");
        m_property = intern("CODETARVO_SELECTION");
        m_incr = intern("INCR");
        if (failed() || selection == XCB_ATOM_NONE || utf8 == XCB_ATOM_NONE ||
            m_property == XCB_ATOM_NONE || m_incr == XCB_ATOM_NONE)
            return std::nullopt;

        const Owned<xcb_get_selection_owner_reply_t> owner(xcb_get_selection_owner_reply(
            m_connection, xcb_get_selection_owner(m_connection, selection), nullptr));
        if (!owner || owner->owner == XCB_WINDOW_NONE)
            return std::nullopt;

        createWindow();
        // Some owners answer every request with the one type they have, so the text is read
        // by the type it comes in.
        for (const xcb_atom_t target : {utf8, xcb_atom_t{XCB_ATOM_STRING}}) {
            const auto text = convert(selection, target, time, timeout);
            if (text && text->type == utf8)
                return QString::fromUtf8(text->bytes.data(),
                                         static_cast<qsizetype>(text->bytes.size()));
            if (text && text->type == XCB_ATOM_STRING)
                return QString::fromLatin1(text->bytes.data(),
                                           static_cast<qsizetype>(text->bytes.size()));
            if (m_timedOut)
                return std::nullopt; // an owner that does not answer is not asked again
        }
        return std::nullopt;
    }

private:
    xcb_atom_t intern(std::string_view name)
    {
        const Owned<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
            m_connection,
            xcb_intern_atom(m_connection, 0, static_cast<std::uint16_t>(name.size()), name.data()),
            nullptr));
        return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    }

    void createWindow()
    {
        const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        m_window = xcb_generate_id(m_connection);
        // Property changes on the window tell when each part of a large transfer arrives.
        const std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(m_connection, 0 /* the parent's depth */, m_window, screen->root, 0, 0, 1,
                          1, 0, XCB_WINDOW_CLASS_INPUT_ONLY, screen->root_visual, XCB_CW_EVENT_MASK,
                          &events);
    }

    // What the owner of SELECTION gives when asked for TARGET, or nothing when it refuses or
    // stops answering for TIMEOUT (then m_timedOut is set).
    std::optional<Property> convert(xcb_atom_t selection, xcb_atom_t target, xcb_timestamp_t time,
                                    Clock::duration timeout)
    {
        m_timedOut = false;
        xcb_delete_property(m_connection, m_window, m_property);
        xcb_convert_selection(m_connection, m_window, selection, target, m_property, time);
        xcb_flush(m_connection);
        const auto notified = waitFor(timeout, [&](const xcb_generic_event_t *event) {
            if ((event->response_type & 0x7f) != XCB_SELECTION_NOTIFY)
                return false;
            const auto *notify = reinterpret_cast<const xcb_selection_notify_event_t *>(event);
            return notify->requestor == m_window && notify->selection == selection;
        });
        if (!notified) {
            m_timedOut = true;
            return std::nullopt;
        }
        const auto *notify = reinterpret_cast<const xcb_selection_notify_event_t *>(notified.get());
        if (notify->property == XCB_ATOM_NONE)
            return std::nullopt; // refused

        auto first = readProperty();
        if (!first)
            return std::nullopt;
        if (first->type == m_incr)
            return receiveIncrementally(timeout);
        return first;
    }

    // A large transfer: the owner writes the text part by part, each time the reader has
    // deleted the property, and ends with an empty part.
    std::optional<Property> receiveIncrementally(Clock::duration timeout)
    {
        Property text;
        for (bool first = true;; first = false) {
            xcb_delete_property(m_connection, m_window, m_property);
            xcb_flush(m_connection);
            const auto arrived = waitFor(timeout, [&](const xcb_generic_event_t *event) {
                if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
                    return false;
                const auto *change = reinterpret_cast<const xcb_property_notify_event_t *>(event);
                return change->window == m_window && change->atom == m_property &&
                       change->state == XCB_PROPERTY_NEW_VALUE;
            });
            if (!arrived) {
                m_timedOut = true;
                return std::nullopt;
            }
            auto part = readProperty();
            if (!part)
                return std::nullopt;
            if (part->bytes.empty()) {
                xcb_delete_property(m_connection, m_window, m_property);
                xcb_flush(m_connection);
                return text;
            }
            if (first)
                text.type = part->type;
            else if (part->type != text.type)
                return std::nullopt;
            text.bytes += part->bytes;
        }
    }

    std::optional<Property> readProperty()
    {
        Property property;
        std::uint32_t offset = 0;
        for (;;) {
            const Owned<xcb_get_property_reply_t> reply(xcb_get_property_reply(
                m_connection,
                xcb_get_property(m_connection, 0, m_window, m_property, XCB_GET_PROPERTY_TYPE_ANY,
                                 offset, ChunkUnits),
                nullptr));
            if (!reply)
                return std::nullopt;
            property.type = reply->type;
            const int length = xcb_get_property_value_length(reply.get());
            property.bytes.append(static_cast<const char *>(xcb_get_property_value(reply.get())),
                                  static_cast<std::size_t>(std::max(length, 0)));
            if (reply->bytes_after == 0 || length <= 0)
                return property;
            offset += static_cast<std::uint32_t>(length) / 4;
        }
    }

    // The first event for which ACCEPT holds, dropping the others, or null after TIMEOUT.
    template <typename Accept>
    Owned<xcb_generic_event_t> waitFor(Clock::duration timeout, Accept accept)
    {
        const auto deadline = Clock::now() + timeout;
        for (;;) {
            while (Owned<xcb_generic_event_t> event{xcb_poll_for_event(m_connection)}) {
                if (accept(event.get()))
                    return event;
            }
            if (failed())
                return nullptr;
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                return nullptr;
            pollfd socket{xcb_get_file_descriptor(m_connection), POLLIN, 0};
            ::poll(&socket, 1, static_cast<int>(left.count()));
        }
    }

    xcb_connection_t *m_connection;
    xcb_window_t m_window = XCB_WINDOW_NONE;
    xcb_atom_t m_property = XCB_ATOM_NONE;
    xcb_atom_t m_incr = XCB_ATOM_NONE;
    bool m_timedOut = false;
};

xcb_connection_t *applicationConnection()
{
    if (!qGuiApp || QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    const auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

// Notes the time of each drop the application receives: the program a text is dragged from
// gives it out only for the time of its drop.
class DropTimes final : public QObject, public QAbstractNativeEventFilter {
public:
    DropTimes(xcb_connection_t *connection, QObject *parent) : QObject(parent)
    {
        constexpr std::string_view name = "XdndDrop";
        const Owned<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
            connection,
            xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(name.size()), name.data()),
            nullptr));
        m_drop = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    }

    bool nativeEventFilter(const QByteArray &type, void *message, qintptr *) override
    {
        if (type != "xcb_generic_event_t" || m_drop == XCB_ATOM_NONE)
            return false;
        const auto *event = static_cast<const xcb_generic_event_t *>(message);
        if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE)
            return false;
        const auto *client = reinterpret_cast<const xcb_client_message_event_t *>(event);
        if (client->type == m_drop && client->format == 32)
            m_last = client->data.data32[2]; // XdndDrop: source window, flags, time
        return false;
    }

    [[nodiscard]] xcb_timestamp_t last() const { return m_last; }

private:
    xcb_atom_t m_drop = XCB_ATOM_NONE;
    xcb_timestamp_t m_last = XCB_CURRENT_TIME;
};

// Owned by the application, whose end removes the filter.
QPointer<DropTimes> dropTimes;

} // namespace

bool available()
{
    return applicationConnection() != nullptr;
}

void watchDrops()
{
    xcb_connection_t *application = applicationConnection();
    if (!application || dropTimes)
        return;
    dropTimes = new DropTimes(application, qGuiApp);
    qGuiApp->installNativeEventFilter(dropTimes);
}

std::optional<QString> text(Name name, std::chrono::milliseconds timeout)
{
    xcb_connection_t *application = applicationConnection();
    if (!application)
        return std::nullopt;
    Transfer transfer;
    if (transfer.failed() || !transfer.sameServerAs(application))
        return std::nullopt;
    const xcb_timestamp_t time =
        name == Name::Drag && dropTimes ? dropTimes->last() : xcb_timestamp_t{XCB_CURRENT_TIME};
    return transfer.read(name, time, timeout);
}

#else

bool available()
{
    return false;
}

void watchDrops() {}

std::optional<QString> text(Name, std::chrono::milliseconds)
{
    return std::nullopt;
}

#endif

} // namespace X11Selection
