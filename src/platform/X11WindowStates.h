#pragma once

class QWindow;

// The few EWMH window states the panels need, on X11. Elsewhere (no X connection) each call does
// nothing or answers false.
struct X11WindowStates {
    // On every workspace (_NET_WM_STATE_STICKY, _NET_WM_DESKTOP all). Call after the window is shown.
    static void setSticky(QWindow* window);
    // Whether the window that has the focus is full screen (_NET_WM_STATE_FULLSCREEN).
    static bool activeWindowIsFullScreen();
};
