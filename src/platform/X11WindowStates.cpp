#include "platform/X11WindowStates.h"

#include <xcb/xcb.h>
#include <QGuiApplication>
#include <QWindow>
#include <cstdlib>
#include <cstring>

namespace {

xcb_connection_t* connection()
{
    if (!qGuiApp) return nullptr;
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return a;
}

xcb_window_t rootOf(xcb_connection_t* c)
{
    const xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    return it.rem ? it.data->root : XCB_WINDOW_NONE;
}

void sendState(xcb_connection_t* c, xcb_window_t root, xcb_window_t w, xcb_atom_t type, uint32_t d0, uint32_t d1)
{
    xcb_client_message_event_t e;
    std::memset(&e, 0, sizeof e);
    e.response_type = XCB_CLIENT_MESSAGE;
    e.format = 32;
    e.window = w;
    e.type = type;
    e.data.data32[0] = d0;
    e.data.data32[1] = d1;
    e.data.data32[3] = 1;  // a normal application
    xcb_send_event(c, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&e));
}

}  // namespace

void X11WindowStates::setSticky(QWindow* window)
{
    xcb_connection_t* c = connection();
    if (!c || !window) return;
    const xcb_window_t root = rootOf(c);
    const xcb_window_t w = xcb_window_t(window->winId());
    sendState(c, root, w, atom(c, "_NET_WM_STATE"), 1 /* add */, atom(c, "_NET_WM_STATE_STICKY"));
    sendState(c, root, w, atom(c, "_NET_WM_DESKTOP"), 0xFFFFFFFF, 0);
    xcb_flush(c);
}

bool X11WindowStates::activeWindowIsFullScreen()
{
    xcb_connection_t* c = connection();
    if (!c) return false;
    const xcb_window_t root = rootOf(c);
    xcb_get_property_reply_t* active = xcb_get_property_reply(
        c, xcb_get_property(c, 0, root, atom(c, "_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW, 0, 1), nullptr);
    xcb_window_t w = XCB_WINDOW_NONE;
    if (active && xcb_get_property_value_length(active) >= 4)
        w = *static_cast<xcb_window_t*>(xcb_get_property_value(active));
    std::free(active);
    if (w == XCB_WINDOW_NONE) return false;
    const xcb_atom_t fullScreen = atom(c, "_NET_WM_STATE_FULLSCREEN");
    xcb_get_property_reply_t* states =
        xcb_get_property_reply(c, xcb_get_property(c, 0, w, atom(c, "_NET_WM_STATE"), XCB_ATOM_ATOM, 0, 64), nullptr);
    bool result = false;
    if (states) {
        const int n = xcb_get_property_value_length(states) / 4;
        const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(states));
        for (int i = 0; i < n && !result; ++i) result = atoms[i] == fullScreen;
    }
    std::free(states);
    return result;
}
