#include "onboarding/TourPlacement.h"

#include <algorithm>
#include <cstdlib>
#include <tuple>

namespace TourPlacement {

namespace {

qint64 coveredArea(const QRect& tour, const QList<QRect>& keepClear)
{
    qint64 area = 0;
    for (const QRect& r : keepClear) {
        const QRect both = tour.intersected(r);
        if (!both.isEmpty()) area += qint64(both.width()) * both.height();
    }
    return area;
}

bool clear(const QRect& tour, const QList<QRect>& keepClear)
{
    const QRect withGap = tour.adjusted(-kGap, -kGap, kGap, kGap);
    return std::none_of(keepClear.cbegin(), keepClear.cend(), [&](const QRect& r) { return withGap.intersects(r); });
}

// Moves `tour` in `direction` (-1 left, +1 right) until nothing in the list is within the gap of it,
// held inside [low, high] for its left edge.
QRect slid(QRect tour, int direction, int low, int high, const QList<QRect>& keepClear)
{
    // Each step clears at least one window, so the list's length bounds the steps.
    for (qsizetype step = 0; step <= keepClear.size(); ++step) {
        const QRect withGap = tour.adjusted(-kGap, -kGap, kGap, kGap);
        int x = tour.x();
        for (const QRect& r : keepClear) {
            if (!withGap.intersects(r)) continue;
            x = direction < 0 ? std::min(x, r.left() - kGap - tour.width()) : std::max(x, r.left() + r.width() + kGap);
        }
        x = std::clamp(x, low, std::max(low, high));
        if (x == tour.x()) break;
        tour.moveLeft(x);
    }
    return tour;
}

}  // namespace

QPoint topLeft(const QRect& available, const QSize& size, const QList<QRect>& keepClear)
{
    const QRect centred(available.x() + (available.width() - size.width()) / 2,
                        available.y() + (available.height() - size.height()) / 2, size.width(), size.height());
    QList<QRect> near;
    for (const QRect& r : keepClear)
        if (!r.isEmpty()) near << r;
    if (clear(centred, near)) return centred.topLeft();

    const int low = available.left() + kMargin;
    const int high = available.left() + available.width() - kMargin - size.width();
    if (high < low) return centred.topLeft();  // no room to move at all
    // A clear place beats a covered one; among clear places the nearest, among covered ones the least
    // covered, then the nearest.
    auto rank = [&](const QRect& tour) {
        const bool isClear = clear(tour, near);
        return std::tuple(!isClear, isClear ? 0 : coveredArea(tour, near), std::abs(tour.x() - centred.x()));
    };
    QRect best = centred;
    for (int direction : {-1, 1}) {
        const QRect moved = slid(centred, direction, low, high, near);
        if (rank(moved) < rank(best)) best = moved;
    }
    return best.topLeft();
}

}  // namespace TourPlacement
