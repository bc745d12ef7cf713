#pragma once

#include <QColor>
#include <QString>
#include <array>
#include <optional>

// A note's colour family. The built-in themes are one per tint, in case order, with the raw values as
// their ids.
class Tint {
public:
    enum Value { slate, blue, green, amber, rose, violet };

    struct Hsb {
        double h = 0;
        double s = 0;
        double b = 0;
    };

    constexpr Tint(Value v = blue) : m_value(v) {}
    constexpr operator Value() const { return m_value; }

    // Exact, case-sensitive match of the six raw values.
    static std::optional<Tint> fromRawValue(const QString& raw);
    static const std::array<Tint, 6>& allCases();

    QString rawValue() const;
    // The raw value with its first character upper-cased.
    QString displayName() const;
    // The tint's named colour ("TintSlate", "TintBlue", ...), sRGB.
    QColor color() const;
    // Hue, saturation and brightness of color(), each 0 to 1 (an achromatic colour has hue 0).
    Hsb hsb() const;

private:
    Value m_value;
};
