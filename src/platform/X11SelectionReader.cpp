#include "platform/X11SelectionReader.h"

#include <poll.h>
#include <xcb/xcb.h>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QList>
#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

// Replies and events from xcb are malloc'ed.
template <typename T>
struct Freed {
    T* p;
    explicit Freed(T* ptr) : p(ptr) {}
    ~Freed() { std::free(p); }
    Freed(const Freed&) = delete;
    Freed& operator=(const Freed&) = delete;
    T* operator->() const { return p; }
    explicit operator bool() const { return p != nullptr; }
};

xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    Freed reply(xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// The whole value of a property, or none when it is absent. A value longer than maxBytes is read only
// in part, and tooLarge says so.
std::optional<QByteArray> property(xcb_connection_t* c, xcb_window_t w, xcb_atom_t prop, xcb_atom_t type,
                                   bool remove = false, xcb_atom_t* actualType = nullptr,
                                   qsizetype maxBytes = qsizetype(64) << 20, bool* tooLarge = nullptr)
{
    const auto words = uint32_t(maxBytes / 4 + 1);
    Freed reply(xcb_get_property_reply(c, xcb_get_property(c, remove, w, prop, type, 0, words), nullptr));
    if (!reply || reply->type == XCB_ATOM_NONE) return std::nullopt;
    if (actualType) *actualType = reply->type;
    if (tooLarge) *tooLarge = reply->bytes_after > 0 || xcb_get_property_value_length(reply.p) > maxBytes;
    const int length = xcb_get_property_value_length(reply.p);
    return QByteArray(static_cast<const char*>(xcb_get_property_value(reply.p)), length);
}

}  // namespace

std::unique_ptr<SelectionReader> SelectionReader::createDefault()
{
    struct Unavailable : SelectionReader {
        bool isAvailable() const override { return false; }
        std::optional<ActiveWindow> activeWindow() override { return std::nullopt; }
        Result<QString, Failure> selectedText() override { return Failure::unavailable; }
    };
    auto x11 = std::make_unique<X11SelectionReader>();
    if (x11->isAvailable()) return x11;
    return std::make_unique<Unavailable>();
}

namespace {
// Windows made over Qt's connection carry that client's resource-id base.
bool isQtWindow(quint32 window)
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection()) return false;
    const xcb_setup_t* setup = xcb_get_setup(x11->connection());
    return (window & ~setup->resource_id_mask) == setup->resource_id_base;
}
}  // namespace

X11SelectionReader::X11SelectionReader() : X11SelectionReader(Limits{}, isQtWindow) {}

X11SelectionReader::X11SelectionReader(Limits limits, OwnsWindow ownsWindow)
    : m_limits(limits), m_ownsWindow(std::move(ownsWindow))
{
    // Without DISPLAY (pure Wayland) there is nothing to read; xcb would only try its default.
    if (qEnvironmentVariableIsEmpty("DISPLAY")) return;
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && it.rem; ++i) xcb_screen_next(&it);
    if (!it.rem) {
        xcb_disconnect(c);
        return;
    }
    m_root = it.data->root;
    m_connection = c;
}

X11SelectionReader::~X11SelectionReader()
{
    if (m_connection) xcb_disconnect(m_connection);
}

std::optional<ActiveWindow> X11SelectionReader::activeWindow()
{
    if (!m_connection) return std::nullopt;
    xcb_connection_t* c = m_connection;
    const auto active = property(c, m_root, atom(c, "_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW);
    if (!active || active->size() < 4) return std::nullopt;
    xcb_window_t window = 0;
    std::memcpy(&window, active->constData(), 4);
    if (window == XCB_WINDOW_NONE) return std::nullopt;

    ActiveWindow out;
    if (const auto pid = property(c, window, atom(c, "_NET_WM_PID"), XCB_ATOM_CARDINAL); pid && pid->size() >= 4) {
        quint32 value = 0;
        std::memcpy(&value, pid->constData(), 4);
        if (value > 0) out.pid = value;
    }
    // A window may name itself, or its class, with megabytes; no title or application name kept from
    // it is that long, so only the head is read (a character cut at the end is cut off again with the
    // title).
    constexpr qsizetype kNameBytes = 64 * 1024;
    if (const auto wmClass = property(c, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, false, nullptr, kNameBytes)) {
        const QList<QByteArray> parts = wmClass->split('\0');
        out.instanceName = QString::fromLatin1(parts.value(0));
        out.className = QString::fromLatin1(parts.value(1));
    }
    if (const auto name =
            property(c, window, atom(c, "_NET_WM_NAME"), atom(c, "UTF8_STRING"), false, nullptr, kNameBytes))
        out.title = QString::fromUtf8(*name);
    else if (const auto legacy = property(c, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, false, nullptr, kNameBytes))
        out.title = QString::fromLatin1(*legacy);
    // Where its content stands on the screen, inside whatever frame the window manager put around it.
    Freed size(xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr));
    Freed place(xcb_translate_coordinates_reply(c, xcb_translate_coordinates(c, window, m_root, 0, 0), nullptr));
    if (size && place && size->width > 0 && size->height > 0)
        out.geometry = QRect(place->dst_x, place->dst_y, size->width, size->height);
    return out;
}

Result<QString, SelectionReader::Failure> X11SelectionReader::selectedText()
{
    if (!m_connection) return Failure::unavailable;
    xcb_connection_t* c = m_connection;
    QElapsedTimer started;
    started.start();
    {
        Freed owner(xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, XCB_ATOM_PRIMARY), nullptr));
        if (!owner || owner->owner == XCB_WINDOW_NONE) return Failure::noOwner;
        if (m_ownsWindow && m_ownsWindow(owner->owner)) return Failure::ownSelection;
    }
    // An unmapped window to receive the answer; property changes tell us about INCR pieces.
    const xcb_window_t window = xcb_generate_id(c);
    const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, m_root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &mask);
    const xcb_atom_t utf8 = atom(c, "UTF8_STRING");
    xcb_atom_t type = XCB_ATOM_NONE;
    auto bytes = convert(utf8, window, &type, started.elapsed());
    if (!bytes && bytes.error() == Failure::refused && started.elapsed() < m_limits.transferMs)
        bytes = convert(XCB_ATOM_STRING, window, &type, started.elapsed());
    xcb_destroy_window(c, window);
    xcb_flush(c);
    if (!bytes) return bytes.error();
    if (type == utf8) return QString::fromUtf8(*bytes);
    if (type == XCB_ATOM_STRING) return QString::fromLatin1(*bytes);
    return Failure::refused;
}

Result<QByteArray, SelectionReader::Failure> X11SelectionReader::convert(quint32 target, quint32 window,
                                                                         quint32* actualType, qint64 startedMs)
{
    xcb_connection_t* c = m_connection;
    const xcb_atom_t prop = atom(c, "TARNWICK_SELECTION");
    const xcb_atom_t incr = atom(c, "INCR");
    xcb_convert_selection(c, window, XCB_ATOM_PRIMARY, target, prop, XCB_CURRENT_TIME);
    xcb_flush(c);

    QElapsedTimer timer;
    timer.start();
    bool incremental = false;
    // Waits for the next event for our window; none once the time is up or the connection broke. The
    // owner has answerMs to answer at all; everything must be over transferMs after the read began.
    const auto nextEvent = [&]() -> xcb_generic_event_t* {
        while (true) {
            if (xcb_generic_event_t* e = xcb_poll_for_event(c)) return e;
            const qint64 transferLeft = m_limits.transferMs - startedMs - timer.elapsed();
            const qint64 left =
                incremental ? transferLeft : std::min<qint64>(transferLeft, m_limits.answerMs - timer.elapsed());
            if (left <= 0 || xcb_connection_has_error(c)) return nullptr;
            // The window in front may be read meanwhile on another thread: waiting for its replies, xcb
            // may take our event off the socket into its queue, where poll() does not see it. Short
            // waits find it there soon.
            pollfd fd{xcb_get_file_descriptor(c), POLLIN, 0};
            ::poll(&fd, 1, int(std::min<qint64>(left, 20)));
        }
    };

    QByteArray data;
    while (xcb_generic_event_t* raw = nextEvent()) {
        Freed event(raw);
        const uint8_t kind = event->response_type & 0x7f;
        if (!incremental && kind == XCB_SELECTION_NOTIFY) {
            const auto* notify = reinterpret_cast<const xcb_selection_notify_event_t*>(event.p);
            if (notify->requestor != window) continue;
            if (notify->property == XCB_ATOM_NONE) return Failure::refused;
            xcb_atom_t type = XCB_ATOM_NONE;
            bool tooLarge = false;
            const auto value =
                property(c, window, prop, XCB_GET_PROPERTY_TYPE_ANY, true, &type, m_limits.maxBytes, &tooLarge);
            xcb_flush(c);
            if (tooLarge) return Failure::tooLarge;
            if (!value) return Failure::refused;
            if (type == incr && value->size() >= 4) {
                // The owner announces a lower bound of the size: no need to wait for pieces we refuse.
                quint32 announced = 0;
                std::memcpy(&announced, value->constData(), 4);
                if (qint64(announced) > qint64(m_limits.maxBytes)) return Failure::tooLarge;
            }
            if (type != incr) {
                *actualType = type;
                return *value;
            }
            // Deleting the property asked for the first piece.
            incremental = true;
        } else if (incremental && kind == XCB_PROPERTY_NOTIFY) {
            const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event.p);
            if (notify->window != window || notify->atom != prop || notify->state != XCB_PROPERTY_NEW_VALUE) continue;
            xcb_atom_t type = XCB_ATOM_NONE;
            bool tooLarge = false;
            const auto piece =
                property(c, window, prop, XCB_GET_PROPERTY_TYPE_ANY, true, &type, m_limits.maxBytes, &tooLarge);
            xcb_flush(c);
            if (tooLarge) return Failure::tooLarge;
            if (!piece) return Failure::refused;
            if (piece->isEmpty()) {
                *actualType = type;
                return data;
            }
            if (data.size() + piece->size() > m_limits.maxBytes) return Failure::tooLarge;
            data += *piece;
        }
    }
    return Failure::timedOut;
}
