#include "platform/WindowStates.h"

#include <xcb/xcb.h>
#include <QGuiApplication>
#include <QVector>
#include <QWindow>
#include <cstring>

#include "platform/Settings.h"

namespace {
constexpr const char* kTaskbarWindowProperty = "tarnwickTaskbarWindow";

xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr);
    const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return result;
}

xcb_connection_t* connection()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

void change(QWindow* window, const QVector<xcb_atom_t>& states, bool on)
{
    xcb_connection_t* c = connection();
    if (!c || !window) return;
    const auto id = static_cast<xcb_window_t>(window->winId());
    const xcb_atom_t netWmState = atom(c, "_NET_WM_STATE");

    // The property as it stands, with ours added or taken out; other states are kept.
    QVector<xcb_atom_t> atoms;
    xcb_get_property_reply_t* reply =
        xcb_get_property_reply(c, xcb_get_property(c, 0, id, netWmState, XCB_ATOM_ATOM, 0, 1024), nullptr);
    if (reply && reply->format == 32 && reply->type == XCB_ATOM_ATOM) {
        const auto* values = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
        atoms = QVector<xcb_atom_t>(values, values + xcb_get_property_value_length(reply) / 4);
    }
    free(reply);
    for (xcb_atom_t state : states) {
        atoms.removeAll(state);
        if (on) atoms.append(state);
    }
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, netWmState, XCB_ATOM_ATOM, 32, atoms.size(), atoms.constData());

    if (window->isVisible()) {
        xcb_get_geometry_reply_t* geometry = xcb_get_geometry_reply(c, xcb_get_geometry(c, id), nullptr);
        const xcb_window_t root = geometry ? geometry->root : xcb_window_t(XCB_WINDOW_NONE);
        free(geometry);
        if (root != XCB_WINDOW_NONE) {
            xcb_client_message_event_t event{};
            event.response_type = XCB_CLIENT_MESSAGE;
            event.format = 32;
            event.window = id;
            event.type = netWmState;
            event.data.data32[0] = on ? 1 : 0;  // add or remove
            event.data.data32[1] = states.value(0);
            event.data.data32[2] = states.value(1);
            event.data.data32[3] = 1;  // asked by an application
            xcb_send_event(c, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                           reinterpret_cast<const char*>(&event));
        }
    }
    xcb_flush(c);
}
}  // namespace

void WindowStates::setSkipTaskbar(QWindow* window, bool skip)
{
    xcb_connection_t* c = connection();
    if (!c) return;
    change(window, {atom(c, "_NET_WM_STATE_SKIP_TASKBAR"), atom(c, "_NET_WM_STATE_SKIP_PAGER")}, skip);
}

bool WindowStates::showsInTaskbar(const Settings& settings)
{
    return settings.boolValue(QStringLiteral("general.showDockIcon"));
}

void WindowStates::applyTaskbarPresence(QWindow* window, const Settings& settings)
{
    if (!window) return;
    window->setProperty(kTaskbarWindowProperty, true);
    setSkipTaskbar(window, !showsInTaskbar(settings));
}

void WindowStates::reapplyTaskbarPresence(const Settings& settings)
{
    if (!qGuiApp) return;
    for (QWindow* window : QGuiApplication::allWindows())
        if (window->property(kTaskbarWindowProperty).toBool()) setSkipTaskbar(window, !showsInTaskbar(settings));
}
