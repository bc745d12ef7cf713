#include "platform/EwmhWindowState.h"

#include "platform/XcbSupport.h"

#include <unistd.h>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

namespace {

using XcbSupport::atom;
using XcbSupport::connection;

xcb_window_t rootOf(xcb_connection_t* c, xcb_window_t window)
{
    xcb_get_geometry_reply_t* reply = xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr);
    const xcb_window_t root = reply ? reply->root : xcb_window_t(XCB_WINDOW_NONE);
    free(reply);
    return root;
}

std::vector<xcb_atom_t> stateAtoms(xcb_connection_t* c, xcb_window_t window, xcb_atom_t netWmState)
{
    std::vector<xcb_atom_t> atoms;
    xcb_get_property_reply_t* reply =
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, netWmState, XCB_ATOM_ATOM, 0, 1024), nullptr);
    if (reply && reply->format == 32 && reply->type == XCB_ATOM_ATOM) {
        const auto* data = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
        atoms.assign(data, data + xcb_get_property_value_length(reply) / 4);
    }
    free(reply);
    return atoms;
}

// The window the manager says has the focus (_NET_ACTIVE_WINDOW), or none.
xcb_window_t activeWindow(xcb_connection_t* c)
{
    xcb_screen_iterator_t screens = c ? xcb_setup_roots_iterator(xcb_get_setup(c)) : xcb_screen_iterator_t{};
    if (!screens.rem) return XCB_WINDOW_NONE;
    xcb_get_property_reply_t* active = xcb_get_property_reply(
        c, xcb_get_property(c, 0, screens.data->root, atom(c, "_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW, 0, 1), nullptr);
    xcb_window_t window = XCB_WINDOW_NONE;
    if (active && xcb_get_property_value_length(active) >= 4)
        window = *static_cast<const xcb_window_t*>(xcb_get_property_value(active));
    free(active);
    return window;
}

bool isMapped(xcb_connection_t* c, xcb_window_t window)
{
    xcb_get_window_attributes_reply_t* reply =
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr);
    const bool mapped = reply && reply->map_state != XCB_MAP_STATE_UNMAPPED;
    free(reply);
    return mapped;
}

constexpr uint32_t kAllDesktops = 0xFFFFFFFF;

// A window's desktop, or with `current` the root window's current desktop.
uint32_t desktopOf(xcb_connection_t* c, xcb_window_t window, bool current = false)
{
    uint32_t desktop = 0;
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        c,
        xcb_get_property(c, 0, window, atom(c, current ? "_NET_CURRENT_DESKTOP" : "_NET_WM_DESKTOP"), XCB_ATOM_CARDINAL,
                         0, 1),
        nullptr);
    if (reply && reply->format == 32 && xcb_get_property_value_length(reply) == 4)
        desktop = *static_cast<const uint32_t*>(xcb_get_property_value(reply));
    free(reply);
    return desktop;
}

struct Wanted {
    const char* name;
    bool on;
};

}  // namespace

namespace EwmhWindowState {

void apply(WId id, const States& states)
{
    xcb_connection_t* c = connection();
    if (!c || !id) return;
    const auto window = xcb_window_t(id);
    const xcb_atom_t netWmState = atom(c, "_NET_WM_STATE");
    const Wanted wanted[] = {{"_NET_WM_STATE_ABOVE", states.above},
                             {"_NET_WM_STATE_STICKY", states.sticky},
                             {"_NET_WM_STATE_SKIP_TASKBAR", states.skipTaskbar},
                             {"_NET_WM_STATE_SKIP_PAGER", states.skipPager}};

    if (!isMapped(c, window)) {
        std::vector<xcb_atom_t> atoms = stateAtoms(c, window, netWmState);
        for (const Wanted& w : wanted) {
            const xcb_atom_t a = atom(c, w.name);
            std::erase(atoms, a);
            if (w.on) atoms.push_back(a);
        }
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, netWmState, XCB_ATOM_ATOM, 32, uint32_t(atoms.size()),
                            atoms.data());
        if (states.sticky) {
            // Window managers without the sticky state (openbox) put a window on every desktop this way.
            const uint32_t allDesktops = kAllDesktops;
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, atom(c, "_NET_WM_DESKTOP"), XCB_ATOM_CARDINAL, 32, 1,
                                &allDesktops);
        } else if (desktopOf(c, window) == kAllDesktops) {
            xcb_delete_property(c, window, atom(c, "_NET_WM_DESKTOP"));
        }
    } else {
        // A mapped window's state belongs to the window manager: ask it.
        const xcb_window_t root = rootOf(c, window);
        for (const Wanted& w : wanted)
            XcbSupport::sendToWindowManager(c, root, window, netWmState, w.on ? 1 : 0, atom(c, w.name),
                                            1);  // add or remove, from an application
        if (states.sticky)
            XcbSupport::sendToWindowManager(c, root, window, atom(c, "_NET_WM_DESKTOP"), kAllDesktops, 1);
        else if (desktopOf(c, window) == kAllDesktops)
            // Off every desktop again: onto the one the user is on.
            XcbSupport::sendToWindowManager(c, root, window, atom(c, "_NET_WM_DESKTOP"), desktopOf(c, root, true), 1);
    }
    xcb_flush(c);
}

States read(WId id)
{
    States states;
    xcb_connection_t* c = connection();
    if (!c || !id) return states;
    const std::vector<xcb_atom_t> atoms = stateAtoms(c, xcb_window_t(id), atom(c, "_NET_WM_STATE"));
    auto has = [&](const char* name) { return std::find(atoms.begin(), atoms.end(), atom(c, name)) != atoms.end(); };
    states.above = has("_NET_WM_STATE_ABOVE");
    states.sticky = has("_NET_WM_STATE_STICKY") || desktopOf(c, xcb_window_t(id)) == kAllDesktops;
    states.skipTaskbar = has("_NET_WM_STATE_SKIP_TASKBAR");
    states.skipPager = has("_NET_WM_STATE_SKIP_PAGER");
    return states;
}

QMargins frameExtents(WId id, int waitMs)
{
    xcb_connection_t* c = connection();
    if (!c || !id) return {};
    const auto window = xcb_window_t(id);
    const xcb_atom_t extents = atom(c, "_NET_FRAME_EXTENTS");
    const auto readExtents = [&]() -> std::optional<QMargins> {
        xcb_get_property_reply_t* reply =
            xcb_get_property_reply(c, xcb_get_property(c, 0, window, extents, XCB_ATOM_CARDINAL, 0, 4), nullptr);
        std::optional<QMargins> margins;
        if (reply && reply->format == 32 && xcb_get_property_value_length(reply) == 16) {
            const auto* v = static_cast<const uint32_t*>(xcb_get_property_value(reply));
            margins = QMargins(int(v[0]), int(v[2]), int(v[1]), int(v[3]));
        }
        std::free(reply);
        return margins;
    };
    if (auto known = readExtents()) return *known;
    XcbSupport::sendToWindowManager(c, rootOf(c, window), window, atom(c, "_NET_REQUEST_FRAME_EXTENTS"), 0, 0);
    xcb_flush(c);
    // The answer is a property the window manager sets; a round trip per look, a few milliseconds apart.
    for (int waited = 0; waited <= waitMs; waited += 10) {
        if (auto answered = readExtents()) return *answered;
        usleep(10 * 1000);
    }
    return {};
}

void setFixedSizeFunctions(WId id)
{
    xcb_connection_t* c = connection();
    if (!c || !id) return;
    // The Motif hints: flags, functions, decorations, input mode, status.
    enum : uint32_t { hasFunctions = 1, hasDecorations = 2 };
    enum : uint32_t { funcMove = 4, funcMinimize = 8, funcClose = 32 };
    enum : uint32_t { decorBorder = 2, decorTitle = 8, decorMenu = 16, decorMinimize = 32 };
    const uint32_t hints[5] = {hasFunctions | hasDecorations, funcMove | funcMinimize | funcClose,
                               decorBorder | decorTitle | decorMenu | decorMinimize, 0, 0};
    const xcb_atom_t motif = atom(c, "_MOTIF_WM_HINTS");
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, xcb_window_t(id), motif, motif, 32, 5, hints);
    xcb_flush(c);
}

bool compositingManagerRunning()
{
    xcb_connection_t* c = connection();
    if (!c) return false;
    int screen = 0;
    // The screen number of the display name ":0.1" is the part after the dot.
    if (const char* display = std::getenv("DISPLAY")) {
        const char* dot = strrchr(display, '.');
        const char* colon = strrchr(display, ':');
        if (dot && colon && dot > colon) screen = std::atoi(dot + 1);
    }
    const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(screen);
    return XcbSupport::selectionOwner(c, name.constData()) != XCB_WINDOW_NONE;
}

bool activeWindowIsFullScreen()
{
    xcb_connection_t* c = connection();
    const xcb_window_t window = activeWindow(c);
    if (window == XCB_WINDOW_NONE) return false;
    const std::vector<xcb_atom_t> atoms = stateAtoms(c, window, atom(c, "_NET_WM_STATE"));
    return std::find(atoms.begin(), atoms.end(), atom(c, "_NET_WM_STATE_FULLSCREEN")) != atoms.end();
}

std::optional<QRect> activeWindowFrame()
{
    xcb_connection_t* c = connection();
    const xcb_window_t window = activeWindow(c);
    if (window == XCB_WINDOW_NONE) return std::nullopt;
    const xcb_window_t root = rootOf(c, window);
    if (root == XCB_WINDOW_NONE) return std::nullopt;  // gone since the manager named it
    xcb_get_geometry_reply_t* size = xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr);
    xcb_translate_coordinates_reply_t* place =
        xcb_translate_coordinates_reply(c, xcb_translate_coordinates(c, window, root, 0, 0), nullptr);
    std::optional<QRect> frame;
    if (size && place && size->width > 0 && size->height > 0)
        frame = QRect(place->dst_x, place->dst_y, size->width, size->height);
    free(size);
    free(place);
    return frame;
}

}  // namespace EwmhWindowState
