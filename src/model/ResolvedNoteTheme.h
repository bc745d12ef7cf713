#pragma once

#include <QColor>
#include <QString>
#include <optional>

// A drawable theme: a snapshot of a stored theme or a built-in one, with everything the views need.
struct ResolvedNoteTheme {
    struct Hsb {
        double h = 0;
        double s = 0;
        double b = 0;
    };

    QString id;
    QString name;
    QColor paper;
    std::optional<QString> fontFamily;  // none: the system font
    QColor ink;
    double lineHeight = 1.45;  // already normalised
    qint64 revision = 0;
    std::optional<QColor> badgeOverride;  // set by built-in themes
    std::optional<QString> wallpaperID;
    double wallpaperBrightness = 0;
    double wallpaperBlur = 0;

    // Hue, saturation and brightness of the paper (white when it has no sRGB form).
    Hsb hsb() const;
    // The tag colour: the override, or a dark, saturated shade of the paper's hue.
    QColor badge() const;

    // A colour of hue h whose saturation is s × 3.2 held within 0.42 to 0.60, at brightness 0.42.
    static QColor badgeColor(double h, double s);

    bool operator==(const ResolvedNoteTheme& other) const = default;
};
