#pragma once

#include <QColor>

// The application's colour tokens: warm paper surfaces, brown-black ink, a rust accent. Each colour is
// built once, in sRGB, from the fractions it is defined with.
struct TarnwickTheme {
    static const QColor& canvas();
    static const QColor& surface();
    static const QColor& surfaceRaised();
    static const QColor& fill();
    static const QColor& paper();
    static const QColor& hairline();
    static const QColor& ink();
    static const QColor& onInk();
    static const QColor& textPrimary();
    static const QColor& textSecondary();
    static const QColor& textTertiary();
    // The application's "AccentColor": rust B0563A, the colour that accentWash washes out and
    // accentInk darkens.
    static const QColor& accent();
    static const QColor& accentInk();
    static const QColor& accentWash();
    static const QColor& destructive();
    static const QColor& offline();
    static const QColor& success();

    // The dark heads-up surfaces (the capture capsule and its kin).
    struct HUD {
        static const QColor& ink();
        static const QColor& inkSolid();
        static const QColor& rimHigh();
        static const QColor& rimLow();
        static const QColor& onInkDim();
        static const QColor& wellRest();
        static const QColor& wellHover();
        static const QColor& track();
    };

    // Accents that read on dark surfaces.
    struct OnInkTint {
        static const QColor& accent();
        static const QColor& caution();
    };
};
