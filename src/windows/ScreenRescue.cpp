#include "windows/ScreenRescue.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <algorithm>

QList<ScreenRescue::Screen> ScreenRescue::screens()
{
    QList<Screen> result;
    for (QScreen* screen : QGuiApplication::screens())
        result.append({QRectF(screen->geometry()), QRectF(screen->availableGeometry())});
    return result;
}

QScreen* ScreenRescue::preferredScreen()
{
    const QList<QScreen*> all = QGuiApplication::screens();
    const QPoint mouse = QCursor::pos();
    for (QScreen* screen : all) {
        if (screen->geometry().contains(mouse)) return screen;
    }
    if (QScreen* primary = QGuiApplication::primaryScreen()) return primary;
    return all.isEmpty() ? nullptr : all.first();
}

bool ScreenRescue::isReachable(const QRectF& frame, const QList<QRectF>& screens)
{
    const QRectF strip(frame.left(), frame.top(), frame.width(), grabStripHeight);
    return std::any_of(screens.begin(), screens.end(), [&](const QRectF& screen) {
        const QRectF overlap = screen.intersected(strip);
        return overlap.width() >= minimumGrabWidth && overlap.height() >= minimumGrabHeight;
    });
}

QRectF ScreenRescue::rescue(const QRectF& frame, const QList<QRectF>& screens, const QRectF& preferred)
{
    if (isReachable(frame, screens)) return frame;
    // A screen too small to keep the margin on both sides still takes the whole window, edge to edge,
    // rather than a frame of negative size.
    const bool roomForMargin = preferred.width() > 2 * rescueMargin && preferred.height() > 2 * rescueMargin;
    return clamp(frame, preferred, roomForMargin ? rescueMargin : 0);
}

QList<QRectF> ScreenRescue::containmentBounds()
{
    return containmentBounds(screens());
}

QList<QRectF> ScreenRescue::containmentBounds(const QList<Screen>& screens)
{
    // One screen keeps windows out of its panels; across several, windows must be able to cross the
    // panels to travel between the screens.
    if (screens.size() == 1) return {screens.first().availableFrame};
    QList<QRectF> bounds;
    for (const Screen& screen : screens) bounds.append(screen.frame);
    return bounds;
}

QRectF ScreenRescue::contained(const QRectF& frame, const QList<QRectF>& within)
{
    if (within.isEmpty()) return frame;
    QRectF united = within.first();
    for (const QRectF& rect : within) united = united.united(rect);
    return clamp(frame, united);
}

QRectF ScreenRescue::clamp(const QRectF& frame, const QRectF& bounds, double margin)
{
    const double width = std::min(frame.width(), bounds.width() - 2 * margin);
    const double height = std::min(frame.height(), bounds.height() - 2 * margin);
    const double x = std::min(std::max(frame.left(), bounds.left() + margin), bounds.right() - width - margin);
    const double y = std::min(std::max(frame.top(), bounds.top() + margin), bounds.bottom() - height - margin);
    return QRectF(x, y, width, height);
}
