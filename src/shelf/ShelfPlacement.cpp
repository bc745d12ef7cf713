#include "shelf/ShelfPlacement.h"

#include <algorithm>

QPoint ShelfPlacement::topLeft(const Input& in)
{
    const int w = in.panel.width(), h = in.panel.height();
    const QRect& v = in.available;
    const int vRight = v.x() + v.width(), vBottom = v.y() + v.height();
    if (!in.anchor) return {vRight - w - 16, v.y() + 8};

    const QRect& a = *in.anchor;
    const int centreX = a.x() + a.width() / 2;
    // The right edge 40 right of the icon's centre, held 8 inside the screen; the right bound wins
    // when the panel is wider than the screen.
    int x = centreX + 40 - w;
    x = std::max(x, v.x() + 8);
    x = std::min(x, vRight - w - 8);

    int y;
    const bool topHalf = a.y() + a.height() / 2 < in.screen.y() + in.screen.height() / 2;
    if (topHalf) {
        // Under a tray at the top; a full-screen window hides it, so hang from the screen's top.
        y = in.fullScreenWindowActive ? in.screen.y() + 6 : a.y() + a.height() + 6;
        y = std::min(y, vBottom - h - 8);
    } else {
        // Above a tray at the bottom, mirrored.
        const int screenBottom = in.screen.y() + in.screen.height();
        y = in.fullScreenWindowActive ? screenBottom - 6 - h : a.y() - 6 - h;
        y = std::max(y, v.y() + 8);
    }
    return {x, y};
}
