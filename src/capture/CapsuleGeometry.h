#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <algorithm>

// Where the capsule and the peek card stand on a screen's visible area. Their placement is defined
// from the bottom-left upward (y grows up); these are the only places that turn it into Qt's
// top-left, y-down coordinates.
namespace CapsuleGeometry {
// Centred on the visible area, its bottom edge 28 points above the visible bottom.
inline QPoint capsuleOrigin(const QRect& visible, QSize size)
{
    const int x = visible.x() + (visible.width() - size.width()) / 2;
    const int bottomUpY = 28;  // from the visible area's bottom edge up to the window's bottom edge
    return {x, visible.y() + visible.height() - bottomUpY - size.height()};
}
// Centred, its top edge 22 % of the visible height below the visible top.
inline QPoint peekOrigin(const QRect& visible, QSize size)
{
    const int x = visible.x() + (visible.width() - size.width()) / 2;
    return {x, visible.y() + int(0.22 * visible.height())};
}
// Where a card dragged by `delta` from `start` stands: it follows the pointer but stays whole on the
// visible area it is dragged over, so its close button and Copy are never pushed out of reach.
inline QPoint draggedOrigin(QPoint start, QPoint delta, QSize size, const QRect& visible)
{
    const QPoint wanted = start + delta;
    const int x = std::max(visible.left(), std::min(wanted.x(), visible.x() + visible.width() - size.width()));
    const int y = std::max(visible.top(), std::min(wanted.y(), visible.y() + visible.height() - size.height()));
    return {x, y};
}
}  // namespace CapsuleGeometry
