#pragma once

#include <QColor>

// How well text reads on what is painted behind it (the WCAG contrast ratio), and the least change of
// a text colour that makes it read there.
namespace Legibility {

// What body text needs against its ground.
inline constexpr double kTextRatio = 4.5;

// `colour` laid over the opaque `ground`, as the screen shows it.
QColor over(const QColor& colour, const QColor& ground);

// The contrast ratio (1 to 21) of `colour`, translucent or not, laid over the opaque `ground`.
double ratio(const QColor& colour, const QColor& ground);

// Black or white, whichever stands further from `ground`.
QColor strongest(const QColor& ground);

// `colour` moved toward `target` (every channel, alpha too) only as far as it takes to read at
// `minimum` over the opaque `ground`, in whole 8-bit steps as it is painted, and still on a ground
// rounded one level nearer it: `colour` itself when it reads already, `target` when nothing short of
// it does.
QColor readable(const QColor& colour, const QColor& ground, const QColor& target, double minimum = kTextRatio);

}  // namespace Legibility
