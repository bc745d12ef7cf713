#include "design/TarnwickTheme.h"

#define TARNWICK_TOKEN(name, expr)    \
    const QColor& name()              \
    {                                 \
        static const QColor c = expr; \
        return c;                     \
    }

namespace {
QColor rgb(float r, float g, float b, float a = 1.0f)
{
    return QColor::fromRgbF(r, g, b, a);
}
}  // namespace

TARNWICK_TOKEN(TarnwickTheme::canvas, rgb(0.9647f, 0.9451f, 0.9098f))
TARNWICK_TOKEN(TarnwickTheme::surface, rgb(1.0f, 0.9882f, 0.9647f))
TARNWICK_TOKEN(TarnwickTheme::surfaceRaised, rgb(1.0f, 1.0f, 1.0f))
TARNWICK_TOKEN(TarnwickTheme::fill, rgb(0.9255f, 0.9059f, 0.8627f))
TARNWICK_TOKEN(TarnwickTheme::paper, surface())
TARNWICK_TOKEN(TarnwickTheme::hairline, rgb(0, 0, 0, 0.09f))
TARNWICK_TOKEN(TarnwickTheme::ink, textPrimary())
TARNWICK_TOKEN(TarnwickTheme::onInk, canvas())
TARNWICK_TOKEN(TarnwickTheme::textPrimary, rgb(0.149f, 0.1412f, 0.1216f))
TARNWICK_TOKEN(TarnwickTheme::textSecondary, rgb(0.4196f, 0.4039f, 0.3765f))
TARNWICK_TOKEN(TarnwickTheme::textTertiary, rgb(0.6039f, 0.5843f, 0.549f))
TARNWICK_TOKEN(TarnwickTheme::accent, rgb(0.6902f, 0.3373f, 0.2275f))
TARNWICK_TOKEN(TarnwickTheme::accentInk, rgb(0.5412f, 0.2588f, 0.1882f))
TARNWICK_TOKEN(TarnwickTheme::accentWash, rgb(0.6902f, 0.3373f, 0.2275f, 0.12f))
TARNWICK_TOKEN(TarnwickTheme::destructive, rgb(0.8196f, 0.2706f, 0.2314f))
TARNWICK_TOKEN(TarnwickTheme::offline, rgb(0.7529f, 0.5294f, 0.0471f))
TARNWICK_TOKEN(TarnwickTheme::success, rgb(0.2392f, 0.4706f, 0.298f))

TARNWICK_TOKEN(TarnwickTheme::HUD::ink, rgb(0.0902f, 0.0863f, 0.0784f, 0.86f))
TARNWICK_TOKEN(TarnwickTheme::HUD::inkSolid, rgb(0.0902f, 0.0863f, 0.0784f))
TARNWICK_TOKEN(TarnwickTheme::HUD::rimHigh, rgb(1, 1, 1, 0.3f))
TARNWICK_TOKEN(TarnwickTheme::HUD::rimLow, rgb(1, 1, 1, 0.06f))
TARNWICK_TOKEN(TarnwickTheme::HUD::onInkDim, rgb(0.9647f, 0.9451f, 0.9098f, 0.62f))
TARNWICK_TOKEN(TarnwickTheme::HUD::wellRest, rgb(1, 1, 1, 0.1f))
TARNWICK_TOKEN(TarnwickTheme::HUD::wellHover, rgb(1, 1, 1, 0.2f))
TARNWICK_TOKEN(TarnwickTheme::HUD::track, rgb(1, 1, 1, 0.1f))

TARNWICK_TOKEN(TarnwickTheme::OnInkTint::accent, rgb(0.8784f, 0.5451f, 0.3961f))
TARNWICK_TOKEN(TarnwickTheme::OnInkTint::caution, rgb(0.8902f, 0.6627f, 0.1686f))

#undef TARNWICK_TOKEN
