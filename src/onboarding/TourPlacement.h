#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

// Where the tour's window stands on a screen's available area (global coordinates). It is centred,
// unless a window the tour asks the user to open (the new note, the shelf) would then cover part of
// it: it then moves sideways, away from those windows, just far enough to stand clear with a gap and
// never past the area's margin. Where no move clears them all, it takes the position that leaves the
// least of it covered.
namespace TourPlacement {

constexpr int kGap = 16;    // between the tour and a window it keeps clear of
constexpr int kMargin = 8;  // between the tour and the edge of the area

QPoint topLeft(const QRect& available, const QSize& size, const QList<QRect>& keepClear);

}  // namespace TourPlacement
