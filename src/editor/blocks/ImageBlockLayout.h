#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <optional>

#include "model/NoteBlock.h"

// The sizing rules of a picture block: its drawn size, the size given to a new picture, the zones that
// start a resize and the arithmetic of a resize drag. Pure functions: no widget, no store.
namespace ImageBlockLayout {

// Vertical room above and below the picture inside its block.
constexpr qreal verticalInset = 8;
// The height of a block whose picture is missing or has no pixels.
constexpr qreal emptyHeight = 16;

// The drawn size of a picture of natural (pixel) size on a column of paperWidth. A zero or negative
// side, or a column of 0, gives the natural size back. Never wider than the column: a stored fraction
// above 1 draws at the column width, so the height reserved matches the picture drawn.
QSizeF displaySize(QSizeF natural, const ImageSizing& sizing, qreal paperWidth);

// The sizing of a newly inserted picture: fit, unless the picture at its fit width would be taller
// than a visible area of more than 80 points, in which case the fraction that shows it exactly that
// tall. No visible height (no scroll view): fit.
ImageSizing insertionSizing(QSize pixels, qreal paperWidth, std::optional<qreal> visibleHeight);

// A sizing every reader of the stored body accepts: non-finite fractions become fit, negative ones 0.02,
// and no fraction is above 1.
ImageSizing sanitized(const ImageSizing& sizing);

enum class Zone { corner, leftEdge, rightEdge };

// The zone of a picture frame (target, in block coordinates) under a point, given the block's visible
// rectangle; none when there is no target.
std::optional<Zone> zoneAt(const std::optional<QRectF>& target, QPointF point, const QRectF& visible);

// One resize drag, from the press on a zone to the release.
class ResizeGesture {
public:
    ResizeGesture(Zone zone, const QRectF& start, QPointF pressedAt, qreal paperWidth);

    // The live fraction for a pointer position (not clamped: the container clamps previews).
    double move(QPointF point);
    // The fraction to store at release; none when the pointer never moved, so a plain press commits
    // nothing. Within 0.04 of the column counts as exactly 1; at least 0.02; at most 1.
    std::optional<double> finish() const;

    qreal width() const { return m_width; }
    static std::optional<double> committedFraction(qreal width, qreal paperWidth);

private:
    Zone m_zone;
    QRectF m_start;
    QPointF m_pressedAt;
    qreal m_paperWidth;
    qreal m_width;
    bool m_moved = false;
};

}  // namespace ImageBlockLayout
