#pragma once

#include <QColor>
#include <QString>
#include <optional>

// Colour text: "#RGB", "RGB", "#RRGGBB" or "RRGGBB" (white space and line ends around it ignored).
// Anything else is no colour. The result is opaque sRGB.
std::optional<QColor> colorFromHex(const QString& text);

// Six upper-case hexadecimal digits RRGGBB, no "#"; components outside 0..1 are clamped first.
QString hexString(const QColor& color);
