#include "platform/StartupActivation.h"

#include <xcb/xcb.h>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QWindow>
#include <cstring>

namespace {
constexpr qsizetype maxIdBytes = 1024;

xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr);
    const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return result;
}

xcb_window_t rootOf(xcb_connection_t* c, xcb_window_t window)
{
    xcb_get_geometry_reply_t* geometry = xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr);
    const xcb_window_t root = geometry ? geometry->root : xcb_window_t(XCB_WINDOW_NONE);
    free(geometry);
    return root;
}

// Startup notification messages travel as a run of 20-byte client messages to the root window, the
// first of type _NET_STARTUP_INFO_BEGIN, the text ending with a NUL.
void sendStartupRemove(xcb_connection_t* c, xcb_window_t root, xcb_window_t from, const QString& startupId)
{
    QByteArray id = startupId.toUtf8();
    id.replace('\\', "\\\\").replace('"', "\\\"");
    const QByteArray text = "remove: ID=\"" + id + "\"" + QByteArray(1, '\0');
    const xcb_atom_t begin = atom(c, "_NET_STARTUP_INFO_BEGIN"), more = atom(c, "_NET_STARTUP_INFO");
    for (qsizetype offset = 0; offset < text.size(); offset += 20) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 8;
        event.window = from;
        event.type = offset == 0 ? begin : more;
        std::memcpy(event.data.data8, text.constData() + offset, std::min<qsizetype>(20, text.size() - offset));
        xcb_send_event(c, 0, root, XCB_EVENT_MASK_PROPERTY_CHANGE, reinterpret_cast<const char*>(&event));
    }
}
}  // namespace

QString StartupActivation::acceptedId(const QString& startupId)
{
    if (startupId.size() > maxIdBytes || startupId.toUtf8().size() > maxIdBytes) return {};
    for (const QChar ch : startupId)
        if (ch.category() == QChar::Other_Control || ch.category() == QChar::Other_Format) return {};
    return startupId;
}

quint32 StartupActivation::timestamp(const QString& startupId)
{
    static const QRegularExpression time(QStringLiteral("_TIME(\\d+)$"));
    const QRegularExpressionMatch match = time.match(startupId);
    return match.hasMatch() ? match.captured(1).toUInt() : 0;
}

void StartupActivation::activate(QWindow* window, const QString& requestedId)
{
    if (!window) return;
    const QString startupId = acceptedId(requestedId);
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (!c || startupId.isEmpty() || !window->isVisible()) {
        window->raise();
        window->requestActivate();
        return;
    }
    const auto id = static_cast<xcb_window_t>(window->winId());
    const xcb_window_t root = rootOf(c, id);
    const QByteArray idBytes = startupId.toUtf8();
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, atom(c, "_NET_STARTUP_ID"), atom(c, "UTF8_STRING"), 8,
                        idBytes.size(), idBytes.constData());
    window->raise();
    // Asking as an application (source 1) with the time of the user's launch.
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = id;
    event.type = atom(c, "_NET_ACTIVE_WINDOW");
    event.data.data32[0] = 1;
    event.data.data32[1] = timestamp(startupId);
    xcb_send_event(c, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
    if (root != XCB_WINDOW_NONE) sendStartupRemove(c, root, id, startupId);
    xcb_flush(c);
}
