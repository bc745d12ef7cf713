#pragma once

#include <QMargins>
#include <QRect>
#include <optional>

#include <QWindow>

// The window-manager states of our own top-level windows (_NET_WM_STATE), whether the active window is
// full screen, and whether a compositing manager runs: the one place that speaks EWMH. On displays other
// than X11 every call does nothing and reports no state and no compositing.
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

// Tells the window manager (through the Motif hints it reads) that the window has a fixed size: it
// can be moved, minimised and closed, not resized or maximised, and no maximise button is drawn.
// Set before the window maps.
void setFixedSizeFunctions(WId window);

// Whether a compositing manager owns _NET_WM_CM_S<n> for the default screen: translucent windows blend.
bool compositingManagerRunning();

// The frame the window manager puts around `window` (left, top, right, bottom), asked before the
// window is mapped (_NET_REQUEST_FRAME_EXTENTS) and waited for at most `waitMs`; none when no window
// manager answers or off X11.
QMargins frameExtents(WId window, int waitMs = 250);

// The window that has the focus (_NET_ACTIVE_WINDOW) is full screen (_NET_WM_STATE_FULLSCREEN).
bool activeWindowIsFullScreen();

// Where the window that has the focus (_NET_ACTIVE_WINDOW, ours or another application's) stands, in
// the X server's pixels from the root's top-left; none when no window manager names one, or off X11.
std::optional<QRect> activeWindowFrame();

}  // namespace EwmhWindowState
