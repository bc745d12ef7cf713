#include "windows/NoteWindowGeometry.h"

#include <algorithm>
#include <cmath>

#include "platform/Settings.h"
#include "windows/ScreenRescue.h"

namespace NoteWindowGeometry {

bool isFinite(const QRectF& rect)
{
    return std::isfinite(rect.x()) && std::isfinite(rect.y()) && std::isfinite(rect.width()) &&
           std::isfinite(rect.height());
}

QSizeF maximumSize(const std::optional<QRectF>& available)
{
    if (!available || !isFinite(*available)) return noScreenMaximum;
    return {std::min(0.92 * available->width(), 1400.0), std::min(0.92 * available->height(), 1100.0)};
}

QSizeF clampedSize(const QSizeF& size, const QSizeF& maximum)
{
    return {std::min(std::max(size.width(), minimumSize.width()), maximum.width()),
            std::min(std::max(size.height(), minimumSize.height()), maximum.height())};
}

QSizeF globalNoteSize(const Settings& settings, const QSizeF& maximum)
{
    const double width = settings.doubleValue(QStringLiteral("notes.windowWidth"));
    const double height = settings.doubleValue(QStringLiteral("notes.windowHeight"));
    // NaN compares false with everything, so test for what is usable rather than what is not.
    if (!(std::isfinite(width) && width >= minimumSize.width() && std::isfinite(height) &&
          height >= minimumSize.height()))
        return fallbackSize;
    return clampedSize({width, height}, maximum);
}

QRectF keepingTopLeft(const QRectF& frame, const QSizeF& size)
{
    return {frame.topLeft(), size};
}

QRectF firstFrame(const FirstFrameInput& input)
{
    const bool savedUsable = input.savedFrame && isFinite(*input.savedFrame) && input.savedFrame->width() > 0 &&
                             input.savedFrame->height() > 0;
    QRectF start;
    if (savedUsable) {
        start = *input.savedFrame;
    } else if (input.preferredAvailable) {
        const QRectF& v = *input.preferredAvailable;
        start = QRectF(v.right() - input.sharedSize.width() - firstFrameRightInset, v.top() + firstFrameTopInset,
                       input.sharedSize.width(), input.sharedSize.height());
    } else {
        start = QRectF(QPointF(0, 0), input.sharedSize);
    }

    std::optional<QRectF> limitScreen;
    for (qsizetype i = 0; i < input.screenFrames.size(); ++i) {
        if (input.screenFrames.at(i).contains(start.topLeft()) && i < input.screenAvailable.size()) {
            limitScreen = input.screenAvailable.at(i);
            break;
        }
    }
    if (!limitScreen) limitScreen = input.preferredAvailable;
    const QRectF sized = keepingTopLeft(start, clampedSize(input.sharedSize, maximumSize(limitScreen)));
    return ScreenRescue::rescue(sized, input.screenAvailable,
                                input.preferredAvailable.value_or(QRectF(0, 0, 1280, 800)));
}

Zoom toggleZoom(const QRectF& frame, const QSizeF& maximum, const std::optional<QRectF>& lastUserFrame)
{
    const bool zoomed = std::abs(frame.width() - maximum.width()) <= zoomTolerance &&
                        std::abs(frame.height() - maximum.height()) <= zoomTolerance;
    if (!zoomed) return {keepingTopLeft(frame, maximum), frame};
    if (lastUserFrame) return {*lastUserFrame, lastUserFrame};
    return {keepingTopLeft(frame, minimumSize), std::nullopt};
}

QRectF rolledFrame(const QRectF& frame)
{
    return keepingTopLeft(frame, {frame.width(), rolledHeight});
}

std::optional<QRectF> gripResized(const QRectF& frame, double dx, double dy, const QSizeF& maximum)
{
    if (!std::isfinite(dx) || !std::isfinite(dy)) return std::nullopt;
    const QSizeF size = clampedSize({frame.width() + dx, frame.height() + dy}, maximum);
    if (size == frame.size()) return std::nullopt;
    return keepingTopLeft(frame, size);
}

QPointF dragMouseStart(const QPointF& mouse, double dx, double dy)
{
    return {mouse.x() - dx, mouse.y() - dy};
}

QPointF draggedOrigin(const QPointF& dragOrigin, const QPointF& mouseStart, const QPointF& mouse)
{
    return dragOrigin + (mouse - mouseStart);
}

}  // namespace NoteWindowGeometry
