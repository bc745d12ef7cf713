#include "design/Legibility.h"

#include <algorithm>
#include <cmath>

namespace {

double channel(double c)
{
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double luminance(const QColor& c)
{
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

int mix(int a, int b, double t)
{
    return int(std::lround(a + (b - a) * t));
}

// The ground one 8-bit level nearer `text` in every channel: painting a translucent fill rounds it a
// level either way.
QColor levelNearer(const QColor& ground, const QColor& text)
{
    const auto step = [](int g, int t) { return std::clamp(g + (t < g ? -1 : t > g ? 1 : 0), 0, 255); };
    return QColor(step(ground.red(), text.red()), step(ground.green(), text.green()), step(ground.blue(), text.blue()));
}

}  // namespace

namespace Legibility {

QColor over(const QColor& colour, const QColor& ground)
{
    const QColor c = colour.toRgb(), g = ground.toRgb();
    const double a = c.alphaF();
    return QColor::fromRgbF(float(c.redF() * a + g.redF() * (1 - a)), float(c.greenF() * a + g.greenF() * (1 - a)),
                            float(c.blueF() * a + g.blueF() * (1 - a)));
}

double ratio(const QColor& colour, const QColor& ground)
{
    const double a = luminance(over(colour, ground)), b = luminance(ground.toRgb());
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

QColor strongest(const QColor& ground)
{
    return ratio(Qt::black, ground) >= ratio(Qt::white, ground) ? QColor(Qt::black) : QColor(Qt::white);
}

QColor readable(const QColor& colour, const QColor& ground, const QColor& target, double minimum)
{
    const QColor from = colour.toRgb(), to = target.toRgb();
    // A hundred steps: fine enough that the colour changes by about one 8-bit level at a time.
    constexpr int kSteps = 100;
    for (int i = 0; i <= kSteps; ++i) {
        const double t = double(i) / kSteps;
        const QColor c(mix(from.red(), to.red(), t), mix(from.green(), to.green(), t), mix(from.blue(), to.blue(), t),
                       mix(from.alpha(), to.alpha(), t));
        const QColor shown = over(c, ground);
        if (ratio(shown, ground) >= minimum && ratio(shown, levelNearer(ground, shown)) >= minimum) return c;
    }
    return to;
}

}  // namespace Legibility
