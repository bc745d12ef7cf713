#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>

// The tray glyph: a note sheet with a turned corner and two lines of writing, drawn in two tones, a
// paper-white sheet inside a brown-black outline. Panels may be light or dark and the tray host may
// not recolour icons, so one tone always stands out: the outline and lines on a light panel, the
// sheet on a dark one.
//
// Lit, while the shelf is open, the sheet shrinks onto a dark rust plate with a paper-white rim: the
// plate stands out on a light panel, the rim on a dark one (tray hosts draw no highlight of their own).
namespace TrayGlyph {
// The glyph on a transparent square of `pixels` pixels.
QImage image(int pixels, bool lit = false);
// Pixmaps for the usual tray sizes.
QIcon icon(bool lit = false);
// WCAG contrast ratio of two opaque colours (1 to 21).
double contrast(const QColor& a, const QColor& b);
}  // namespace TrayGlyph
