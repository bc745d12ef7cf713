#pragma once

#include <QColor>

// Design tokens of the application's look.
// Placeholder: only the token the note model needs; the design system's full set lives here too
// once it lands.
class TarnwickTheme {
public:
    // The primary text colour, and the ink of every built-in theme.
    static const QColor& textPrimary()
    {
        static const QColor color = QColor::fromRgbF(0.149f, 0.1412f, 0.1216f, 1.0f);
        return color;
    }
};
