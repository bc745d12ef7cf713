#pragma once

#include <QColor>
#include <QString>
#include <optional>

// Conversions between colours and the six-digit hex text that themes and text runs store.

// Three or six hex digits (either case), optionally after one "#", with white space around them
// ignored. The colour is opaque sRGB. No alpha form: anything else gives nothing.
std::optional<QColor> colorFromHex(const QString& text);

// "RRGGBB" in upper case, no "#", opacity dropped. Components outside 0...1 (extended-range colours)
// are clamped first, so the text is always six digits; an invalid colour reads as white.
QString hexString(const QColor& color);

struct HSB {
    double h = 0;  // hue, 0...1 (0 for greys)
    double s = 0;
    double b = 0;
};
// Hue, saturation and brightness of the colour (white for an invalid colour), each 0...1.
HSB hsb(const QColor& color);
