#pragma once

#include <QWindow>

// The window-manager states of our own top-level windows (_NET_WM_STATE), and whether a compositing
// manager runs. On displays other than X11 every call does nothing and reports no compositing.
namespace EwmhWindowState {

struct States {
    bool above = false;        // _NET_WM_STATE_ABOVE
    bool sticky = false;       // on every desktop: _NET_WM_STATE_STICKY, and _NET_WM_DESKTOP 0xFFFFFFFF
    bool skipTaskbar = false;  // _NET_WM_STATE_SKIP_TASKBAR
    bool skipPager = false;    // _NET_WM_STATE_SKIP_PAGER
};

// Sets the states of a window: written into the property while the window is unmapped (Qt keeps atoms
// it does not know when it maps the window), asked of the window manager while it is mapped.
void apply(WId window, const States& states);

// The states the window carries now.
States read(WId window);

// Whether a compositing manager owns _NET_WM_CM_S<n> for the default screen.
bool compositingManagerRunning();

}  // namespace EwmhWindowState
