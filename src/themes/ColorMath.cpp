#include "themes/ColorMath.h"

#include <QCoreApplication>
#include <algorithm>
#include <cmath>
#include <numbers>

QColor ColorMath::fromHsb(double h, double s, double b)
{
    const double hue = std::isfinite(h) ? h - std::floor(h) : 0;
    const double sat = std::isfinite(s) ? std::clamp(s, 0.0, 1.0) : 0;
    const double bri = std::isfinite(b) ? std::clamp(b, brightnessFloor, 1.0) : brightnessFloor;
    return QColor::fromHsvF(float(hue), float(sat), float(bri), 1.0f).toRgb();
}

std::optional<QColor> ColorMath::wheelColor(const QPointF& point, double radius, double brightness)
{
    if (!std::isfinite(point.x()) || !std::isfinite(point.y()) || !std::isfinite(radius) || radius <= 0 ||
        !std::isfinite(brightness))
        return std::nullopt;
    const double dx = point.x() - radius;
    const double dy = point.y() - radius;
    const double saturation = std::min(std::hypot(dx, dy) / radius, 1.0);
    double hue = (std::atan2(dy, dx) + std::numbers::pi / 2) / (2 * std::numbers::pi);
    if (hue < 0) hue += 1;
    return fromHsb(hue, saturation, brightness <= brightnessFloor ? brightnessFloor : brightness);
}

QPointF ColorMath::wheelMarker(double h, double s, double radius)
{
    const double angle = 2 * std::numbers::pi * h - std::numbers::pi / 2;
    return {radius + radius * s * std::cos(angle), radius + radius * s * std::sin(angle)};
}

std::optional<double> ColorMath::sliderBrightness(double x, double width)
{
    if (!std::isfinite(x) || !std::isfinite(width)) return std::nullopt;
    const double t = std::clamp(x / std::max(width, 1.0), 0.0, 1.0);
    return t <= brightnessFloor ? brightnessFloor : t;
}

double ColorMath::sliderKnobLeft(double brightness, double width, double knob)
{
    return std::clamp(brightness, 0.0, 1.0) * std::max(0.0, width - knob);
}

QString ColorMath::sliderAccessibleValue(double brightness)
{
    const double b = std::isfinite(brightness) ? std::clamp(brightness, 0.0, 1.0) : 0;
    return QCoreApplication::translate("ColorMath", "%1 percent").arg(int(std::trunc(b * 100 + 1e-9)));
}
