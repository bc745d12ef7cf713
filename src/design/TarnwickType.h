#pragma once

#include <QFont>

// The application's type tokens.
//
// Sizes are design points, one design point being one logical pixel (1/96 inch at the reference
// resolution); QFont point sizes are 1/72 inch, so a design size s becomes a point size of s * 0.75.
// That keeps text in proportion with the widget geometry, which Qt measures in logical pixels.
struct TarnwickType {
    static const QFont& readerBody();
    static const QFont& noteBody();
    static const QFont& caption();
    static const QFont& mono();

    // Extra spacing that brings the 14-point system font to a 20.3-point line, never negative.
    static qreal readerLineSpacing();

    // The system UI font at a design size and weight.
    static QFont system(qreal designSize, QFont::Weight weight = QFont::Normal);
    // A brand heading: "Newsreader" when it is available, else the system serif face.
    static QFont brand(qreal designSize, QFont::Weight weight);
    // True when the "Newsreader" family is installed or was registered by registerBundledFonts().
    static bool newsreaderAvailable();

    // Registers the serif face the application carries (fonts/Newsreader.ttf in its data folder) for
    // this process. Runs once; later calls do nothing.
    static void registerBundledFonts();
    // Registers one font file for this process; false, with a line in the log, when `file` is empty
    // (not found) or cannot be read as a font.
    static bool registerFont(const QString& file);

    static qreal pointSize(qreal designSize) { return designSize * 72.0 / 96.0; }
};
