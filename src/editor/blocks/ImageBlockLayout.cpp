#include "editor/blocks/ImageBlockLayout.h"

#include <algorithm>
#include <cmath>

namespace ImageBlockLayout {

namespace {
constexpr qreal minimumSide = 48;

qreal roundHalfAway(qreal v)
{
    return std::round(v);  // std::round rounds halves away from zero
}
}  // namespace

ImageSizing sanitized(const ImageSizing& sizing)
{
    if (sizing.kind() != ImageSizing::Kind::fraction) return sizing;
    const double f = sizing.fraction();
    if (!std::isfinite(f)) return ImageSizing::makeFit();
    return ImageSizing::makeFraction(std::clamp(f, 0.02, 1.0));
}

QSizeF displaySize(QSizeF natural, const ImageSizing& sizing, qreal paperWidth)
{
    if (!(natural.width() > 0) || !(natural.height() > 0) || !(paperWidth > 0) || !std::isfinite(paperWidth))
        return natural;
    qreal raw = 0;
    switch (sizing.kind()) {
        case ImageSizing::Kind::preset:
            raw = sizing.preset() == ImageSizing::Preset::small    ? paperWidth / 3
                  : sizing.preset() == ImageSizing::Preset::medium ? paperWidth * 2 / 3
                                                                   : paperWidth;
            break;
        case ImageSizing::Kind::fraction: {
            double f = sizing.fraction();
            if (!std::isfinite(f)) f = 1;
            raw = paperWidth * std::clamp(f, 0.0, 1.0);
            break;
        }
        case ImageSizing::Kind::fit:
            raw = std::min(paperWidth, natural.width());
            break;
    }
    const qreal lower = std::min(minimumSide, paperWidth);
    const qreal w = std::max<qreal>(1, std::floor(std::max(raw, lower)));
    const qreal h = std::max<qreal>(1, roundHalfAway(w * natural.height() / natural.width()));
    return {w, h};
}

ImageSizing insertionSizing(QSize pixels, qreal paperWidth, std::optional<qreal> visibleHeight)
{
    const qreal W = std::max(1, pixels.width());
    const qreal H = std::max(1, pixels.height());
    const qreal P = paperWidth;
    const qreal w = P >= minimumSide ? std::max(minimumSide, std::floor(std::min(W, P))) : std::floor(P);
    if (!visibleHeight) return ImageSizing::makeFit();
    const qreal V = *visibleHeight;
    const qreal h = std::max<qreal>(1, roundHalfAway(w * H / W));
    if (V > 80 && V < h && P > 0) return ImageSizing::makeFraction(std::min(1.0, std::max<qreal>(w, 1) * (V / h) / P));
    return ImageSizing::makeFit();
}

std::optional<Zone> zoneAt(const std::optional<QRectF>& target, QPointF p, const QRectF& visible)
{
    if (!target) return std::nullopt;
    const QRectF& t = *target;
    const auto within = [](qreal v, qreal lo, qreal hi) { return v >= lo && v <= hi; };
    const bool leftVisible = within(t.left(), visible.left() - 6, visible.right() + 6);
    const bool rightVisible = within(t.right(), visible.left() - 6, visible.right() + 6);
    if (within(t.bottom(), visible.top() - 16, visible.bottom() + 16) && rightVisible &&
        std::abs(p.x() - t.right()) <= 16 && std::abs(p.y() - t.bottom()) <= 16)
        return Zone::corner;
    if (within(p.y(), t.top() - 6, t.bottom() + 6)) {
        if (leftVisible && std::abs(p.x() - t.left()) <= 6) return Zone::leftEdge;
        if (rightVisible && std::abs(p.x() - t.right()) <= 6) return Zone::rightEdge;
    }
    return std::nullopt;
}

ResizeGesture::ResizeGesture(Zone zone, const QRectF& start, QPointF pressedAt, qreal paperWidth)
    : m_zone(zone), m_start(start), m_pressedAt(pressedAt), m_paperWidth(paperWidth), m_width(start.width())
{
}

double ResizeGesture::move(QPointF p)
{
    const qreal dx = p.x() - m_pressedAt.x();
    const qreal dy = p.y() - m_pressedAt.y();
    const qreal aspect = m_start.height() > 0 ? m_start.width() / m_start.height() : 1;
    qreal delta = dx;
    if (m_zone == Zone::corner)
        delta = std::abs(aspect * dy) <= std::abs(dx) ? dx : aspect * dy;
    else if (m_zone == Zone::leftEdge)
        delta = -dx;
    m_width = m_start.width() + delta;
    m_moved = true;
    return m_paperWidth > 0 ? m_width / m_paperWidth : 1.0;
}

std::optional<double> ResizeGesture::finish() const
{
    if (!m_moved) return std::nullopt;
    return committedFraction(m_width, m_paperWidth);
}

std::optional<double> ResizeGesture::committedFraction(qreal width, qreal paperWidth)
{
    if (!(paperWidth > 0) || !std::isfinite(width) || !std::isfinite(paperWidth)) return std::nullopt;
    double f = width / paperWidth;
    if (std::abs(f - 1) < 0.04) f = 1;
    return std::clamp(f, 0.02, 1.0);
}

}  // namespace ImageBlockLayout
