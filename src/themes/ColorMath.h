#pragma once

#include <QColor>
#include <QPointF>
#include <QString>
#include <optional>

// The arithmetic of the colour wheel and the brightness slider: from a pointer position to the colour
// written, and back from a colour to where its marks are drawn. Hue runs clockwise on screen from
// straight above the centre; no written colour is darker than brightness 0.05.
struct ColorMath {
    static constexpr double brightnessFloor = 0.05;

    // The opaque sRGB colour of hue, saturation and brightness (each 0...1), brightness at least the floor.
    static QColor fromHsb(double h, double s, double b);

    // The colour a press at `point` (wheel coordinates, origin top-left, y down) picks on a wheel of
    // `radius` with the given brightness. Nothing for a non-finite point, radius or brightness, or a
    // radius of 0 or less: such input must never reach the store.
    static std::optional<QColor> wheelColor(const QPointF& point, double radius, double brightness);
    // The centre of the wheel's marker for a hue and saturation.
    static QPointF wheelMarker(double h, double s, double radius);
    // The angle in degrees at which a QConicalGradient centred on the wheel starts, and the stop of a
    // hue along it, so that each hue is drawn where a press picks it. Qt's conical gradient runs
    // counter-clockwise from three o'clock; our hues run clockwise from twelve.
    static constexpr double conicalStartAngle = 90;
    static double conicalStop(double hue) { return 1.0 - hue; }

    // The brightness a pointer at `x` on a slider `width` wide picks (a slider under one point wide
    // takes x itself); nothing for non-finite input.
    static std::optional<double> sliderBrightness(double x, double width);
    // The knob's left edge for a brightness on a slider `width` wide with a knob `knob` wide.
    static double sliderKnobLeft(double brightness, double width, double knob = 14);
    // "NN percent", the brightness times 100 cut toward zero.
    static QString sliderAccessibleValue(double brightness);
};
