#pragma once

#include <QColor>
#include <QString>
#include <QVector>
#include <array>
#include <optional>

// The ten stock wallpaper patterns: a two-colour wash and up to two sets of fine lines. The raw value
// is also the pattern's name.
class WallpaperStock {
public:
    enum Value { oat, linen, laid, canvas, weave, dawn, dusk, meadow, grid, rule };

    struct LineSet {
        double angle;    // degrees, counter-clockwise from the x axis, y pointing up
        double spacing;  // points between lines
        double width;    // line width in points
        double alpha;    // of black
    };
    struct Wash {
        QColor start;
        QColor end;
    };

    constexpr WallpaperStock(Value v = oat) : m_value(v) {}
    constexpr operator Value() const { return m_value; }

    // Exact, case-sensitive.
    static std::optional<WallpaperStock> fromRawValue(const QString& raw);
    static const std::array<WallpaperStock, 10>& allCases();

    QString rawValue() const;
    QString id() const { return rawValue(); }
    Wash wash() const;
    // In drawing order.
    QVector<LineSet> lineSets() const;

private:
    Value m_value;
};
