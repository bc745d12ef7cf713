#include "design/ButtonLook.h"

#include <algorithm>

namespace {
float mix(float a, float b, qreal t)
{
    return float(a + (b - a) * t);
}

QColor mix(const QColor& a, const QColor& b, qreal t)
{
    const QColor x = a.toRgb(), y = b.toRgb();
    return QColor::fromRgbF(mix(x.redF(), y.redF(), t), mix(x.greenF(), y.greenF(), t), mix(x.blueF(), y.blueF(), t),
                            mix(x.alphaF(), y.alphaF(), t));
}
}  // namespace

ButtonLook ButtonLook::blend(const ButtonLook& from, const ButtonLook& to, qreal t)
{
    t = std::clamp<qreal>(t, 0, 1);
    ButtonLook look = to;
    // Blending into transparent keeps the hue instead of fading through black.
    QColor fromBackground = from.background, toBackground = to.background;
    if (fromBackground.alpha() == 0)
        fromBackground = QColor::fromRgbF(toBackground.redF(), toBackground.greenF(), toBackground.blueF(), 0);
    if (toBackground.alpha() == 0)
        toBackground = QColor::fromRgbF(fromBackground.redF(), fromBackground.greenF(), fromBackground.blueF(), 0);
    look.foreground = mix(from.foreground, to.foreground, t);
    look.background = mix(fromBackground, toBackground, t);
    look.opacity = from.opacity + (to.opacity - from.opacity) * t;
    look.scale = from.scale + (to.scale - from.scale) * t;
    return look;
}
