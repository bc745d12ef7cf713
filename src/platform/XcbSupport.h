#pragma once

// The few xcb requests the X11 desktop helpers share. Internal to src/platform.
#include <xcb/xcb.h>
#include <QGuiApplication>
#include <cstdlib>
#include <cstring>

namespace XcbSupport {

// Qt's own connection, or null off X11.
inline xcb_connection_t* connection()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

inline xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return result;
}

inline xcb_window_t selectionOwner(xcb_connection_t* c, const char* name)
{
    const xcb_atom_t a = atom(c, name);
    if (a == XCB_ATOM_NONE) return XCB_WINDOW_NONE;
    xcb_get_selection_owner_reply_t* reply = xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, a), nullptr);
    const xcb_window_t owner = reply ? reply->owner : xcb_window_t(XCB_WINDOW_NONE);
    std::free(reply);
    return owner;
}

// A 32-bit client message about `window` to the window manager on `root`; not flushed.
inline void sendToWindowManager(xcb_connection_t* c, xcb_window_t root, xcb_window_t window, xcb_atom_t type,
                                uint32_t d0, uint32_t d1, uint32_t d3 = 0)
{
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = type;
    event.data.data32[0] = d0;
    event.data.data32[1] = d1;
    event.data.data32[3] = d3;
    xcb_send_event(c, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
}

}  // namespace XcbSupport
