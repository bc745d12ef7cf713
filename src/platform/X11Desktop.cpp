#include "platform/X11Desktop.h"

#include <xcb/xcb.h>
#include <QGuiApplication>
#include <QtEndian>
#include <cstdlib>
#include <cstring>

namespace {

xcb_connection_t* connection()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_screen_t* defaultScreen(xcb_connection_t* c)
{
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    return it.rem ? it.data : nullptr;
}

xcb_atom_t atom(xcb_connection_t* c, const QByteArray& name)
{
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(name.size()), name.constData()), nullptr);
    const xcb_atom_t a = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return a;
}

xcb_window_t selectionOwner(xcb_connection_t* c, const QByteArray& name)
{
    const xcb_atom_t a = atom(c, name);
    if (a == XCB_ATOM_NONE) return XCB_WINDOW_NONE;
    xcb_get_selection_owner_reply_t* reply = xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, a), nullptr);
    const xcb_window_t owner = reply ? reply->owner : xcb_window_t(XCB_WINDOW_NONE);
    free(reply);
    return owner;
}

}  // namespace

bool X11Desktop::compositorActive()
{
    xcb_connection_t* c = connection();
    return c && selectionOwner(c, "_NET_WM_CM_S0") != XCB_WINDOW_NONE;
}

std::optional<qint32> X11Desktop::xsettingsInteger(const QString& name)
{
    xcb_connection_t* c = connection();
    if (!c) return std::nullopt;
    const xcb_window_t owner = selectionOwner(c, "_XSETTINGS_S0");
    if (owner == XCB_WINDOW_NONE) return std::nullopt;
    const xcb_atom_t prop = atom(c, "_XSETTINGS_SETTINGS");
    xcb_get_property_reply_t* reply =
        xcb_get_property_reply(c, xcb_get_property(c, 0, owner, prop, prop, 0, 1u << 16), nullptr);
    if (!reply) return std::nullopt;
    const QByteArray data(static_cast<const char*>(xcb_get_property_value(reply)),
                          xcb_get_property_value_length(reply));
    free(reply);
    return parseXSettingsInteger(data, name);
}

bool X11Desktop::reduceMotion()
{
    const auto animations = xsettingsInteger(QStringLiteral("Gtk/EnableAnimations"));
    return animations && *animations == 0;
}

// Layout: byte order, 3 bytes of padding, serial, count; then per entry type (0 integer, 1 string,
// 2 colour), a pad byte, the name's length and name padded to 4, the last-change serial and the value.
std::optional<qint32> X11Desktop::parseXSettingsInteger(const QByteArray& data, const QString& name)
{
    if (data.size() < 12) return std::nullopt;
    const bool big = data.at(0) != 0;
    const auto u16 = [&](qsizetype at) -> quint16 {
        return big ? qFromBigEndian<quint16>(data.constData() + at) : qFromLittleEndian<quint16>(data.constData() + at);
    };
    const auto u32 = [&](qsizetype at) -> quint32 {
        return big ? qFromBigEndian<quint32>(data.constData() + at) : qFromLittleEndian<quint32>(data.constData() + at);
    };
    const auto padded = [](qsizetype n) { return (n + 3) & ~qsizetype(3); };
    const QByteArray wanted = name.toUtf8();
    const quint32 count = u32(8);
    qsizetype at = 12;
    for (quint32 i = 0; i < count; ++i) {
        if (at + 4 > data.size()) return std::nullopt;
        const quint8 type = quint8(data.at(at));
        const qsizetype nameLength = u16(at + 2);
        const qsizetype nameAt = at + 4;
        at = nameAt + padded(nameLength) + 4;  // past the serial
        if (at > data.size()) return std::nullopt;
        const QByteArray entry = data.mid(nameAt, nameLength);
        switch (type) {
            case 0:
                if (at + 4 > data.size()) return std::nullopt;
                if (entry == wanted) return qint32(u32(at));
                at += 4;
                break;
            case 1:
                if (at + 4 > data.size()) return std::nullopt;
                at += 4 + padded(qsizetype(u32(at)));
                break;
            case 2:
                at += 8;
                break;
            default:
                return std::nullopt;
        }
    }
    return std::nullopt;
}

void X11Desktop::setSticky(quint32 window)
{
    xcb_connection_t* c = connection();
    xcb_screen_t* screen = c ? defaultScreen(c) : nullptr;
    if (!screen || !window) return;
    xcb_client_message_event_t event;
    std::memset(&event, 0, sizeof event);
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = atom(c, "_NET_WM_STATE");
    event.data.data32[0] = 1;  // add
    event.data.data32[1] = atom(c, "_NET_WM_STATE_STICKY");
    event.data.data32[3] = 1;  // from an application
    xcb_send_event(c, 0, screen->root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(c);
}
