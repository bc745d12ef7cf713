#pragma once

#include <QList>
#include <QRectF>

class QScreen;

// The screen geometry that keeps note windows reachable. A note window is a frameless panel moved by
// its top strip, so it is usable only while that strip lies on a screen. Everything here works on
// global screen coordinates in Qt's orientation (y grows downwards, so a frame's top is its y).
// No state, no side effects; only the functions without arguments read the real screens.
struct ScreenRescue {
    // The top strip of a window that must stay on a screen.
    static constexpr double grabStripHeight = 44;
    // Least part of that strip that must lie on one screen's available area.
    static constexpr double minimumGrabWidth = 60;
    static constexpr double minimumGrabHeight = 20;
    // Distance a rescued frame keeps from the edges of the screen it is rescued into.
    static constexpr double rescueMargin = 16;

    // One screen as the window layer sees it: its full geometry and the part left by panels and docks.
    struct Screen {
        QRectF frame;
        QRectF availableFrame;
    };

    // The screens now attached, in the system's order.
    static QList<Screen> screens();

    // The screen under the mouse pointer; else the primary screen; else the first; null without screens.
    static QScreen* preferredScreen();

    // Whether the frame's top strip overlaps one of the given screen areas by at least the minimum grab
    // width and height. Never with no screens.
    static bool isReachable(const QRectF& frame, const QList<QRectF>& screens);

    // A reachable frame unchanged; otherwise the frame shrunk to fit the preferred area less the margins
    // and pushed in from whichever edge it crossed, keeping its position where that lies within them.
    static QRectF rescue(const QRectF& frame, const QList<QRectF>& screens, const QRectF& preferred);

    // The area a window may occupy: nothing without screens, the available area of a single screen,
    // the full frame of every screen when there are several.
    static QList<QRectF> containmentBounds();
    static QList<QRectF> containmentBounds(const QList<Screen>& screens);

    // The frame clamped into the bounding rectangle of all the bounds (gaps between screens included);
    // unchanged when there are no bounds.
    static QRectF contained(const QRectF& frame, const QList<QRectF>& within);

private:
    // Shrinks the frame to the bounds less the margin on each side and moves it inside them.
    static QRectF clamp(const QRectF& frame, const QRectF& bounds, double margin = 0);
};
