#pragma once

#include <QFont>
#include <QString>
#include <optional>

// The measures of the sample note beside the theme form.
struct ThemePreviewMetrics {
    static constexpr double bodySize = 13;

    // The body font: the family at `designSize` when given (with the weight), else the system font.
    static QFont bodyFont(const std::optional<QString>& family, double designSize,
                          QFont::Weight weight = QFont::Normal);
    // Extra space between the sample's lines that makes `lineHeight` (a multiple of the 13-point size)
    // visible: the wanted line minus the font's natural line, never negative. The natural line is
    // measured on the family when it is installed, else on the system font.
    static double lineSpacing(const std::optional<QString>& family, double lineHeight);
};
