#pragma once

#include <QColor>
#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace tarnwick::test {

// `colour` laid over an opaque `ground`, as the screen shows it.
inline QColor over(const QColor& colour, const QColor& ground)
{
    const qreal a = colour.alphaF();
    return QColor::fromRgbF(float(colour.redF() * a + ground.redF() * (1 - a)),
                            float(colour.greenF() * a + ground.greenF() * (1 - a)),
                            float(colour.blueF() * a + ground.blueF() * (1 - a)));
}

// The largest difference of two colours in one 8-bit channel.
inline int channelDistance(const QColor& a, const QColor& b)
{
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()), std::abs(a.blue() - b.blue())});
}

inline qreal relativeLuminance(const QColor& c)
{
    auto linear = [](qreal v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
}

// The contrast ratio of a (possibly translucent) colour over an opaque ground, 1 to 21.
inline qreal contrastRatio(const QColor& foreground, const QColor& ground)
{
    const qreal a = relativeLuminance(over(foreground, ground)), b = relativeLuminance(ground);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

}  // namespace tarnwick::test
