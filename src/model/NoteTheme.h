#pragma once

#include <QColor>
#include <QVector>
#include <optional>

#include "model/ResolvedNoteTheme.h"
#include "model/Tint.h"
#include "platform/ManagedObject.h"

// A stored theme: one the user made, or a stored copy of a built-in theme (whose id is the tint's raw
// value and which takes precedence over the computed built-in). Views draw with its resolved form.
class NoteTheme : public ManagedObject {
    Q_OBJECT
public:
    enum Attribute {
        Id,
        Name,
        PaperR,
        PaperG,
        PaperB,
        FontFamily,
        LineHeight,
        InkR,
        InkG,
        InkB,
        DefaultOpacity,
        WallpaperID,
        WallpaperBrightness,
        WallpaperBlur,
        WallpaperData,
        Revision,
    };

    struct Components {
        double r = 1;
        double g = 1;
        double b = 1;
    };

    static constexpr double defaultLineHeight = 1.45;
    static constexpr double minLineHeight = 1.15;
    static constexpr double maxLineHeight = 1.9;

    static const EntityDescription& entityDescription();

    // Schema defaults (a new UUID text as id, "Untitled", white paper, default ink).
    NoteTheme();
    // A new theme; the ink components stay unset (the default ink) when no ink is given.
    NoteTheme(const QString& id, const QString& name, const QColor& paper, const std::optional<QString>& fontFamily,
              const std::optional<QColor>& ink, double defaultOpacity, double lineHeight);

    QString id() const { return value(Id).toString(); }
    void setId(const QString& v) { setValue(Id, v); }
    QString name() const { return value(Name).toString(); }
    void setName(const QString& v) { setValue(Name, v); }
    double paperR() const { return value(PaperR).toDouble(); }
    void setPaperR(double v) { setValue(PaperR, v); }
    double paperG() const { return value(PaperG).toDouble(); }
    void setPaperG(double v) { setValue(PaperG, v); }
    double paperB() const { return value(PaperB).toDouble(); }
    void setPaperB(double v) { setValue(PaperB, v); }
    std::optional<QString> fontFamily() const;
    void setFontFamily(const std::optional<QString>& v);
    double lineHeight() const { return value(LineHeight).toDouble(); }
    void setLineHeight(double v) { setValue(LineHeight, v); }
    std::optional<double> inkR() const;
    void setInkR(const std::optional<double>& v);
    std::optional<double> inkG() const;
    void setInkG(const std::optional<double>& v);
    std::optional<double> inkB() const;
    void setInkB(const std::optional<double>& v);
    double defaultOpacity() const { return value(DefaultOpacity).toDouble(); }
    void setDefaultOpacity(double v) { setValue(DefaultOpacity, v); }
    std::optional<QString> wallpaperID() const;
    void setWallpaperID(const std::optional<QString>& v);
    double wallpaperBrightness() const { return value(WallpaperBrightness).toDouble(); }
    void setWallpaperBrightness(double v) { setValue(WallpaperBrightness, v); }
    double wallpaperBlur() const { return value(WallpaperBlur).toDouble(); }
    void setWallpaperBlur(double v) { setValue(WallpaperBlur, v); }
    std::optional<QByteArray> wallpaperData() const;
    qint64 revision() const { return value(Revision).toLongLong(); }
    void setRevision(qint64 v) { setValue(Revision, QVariant::fromValue(v)); }

    // sRGB red, green and blue of a colour; white when it has none. Alpha is dropped.
    static Components components(const QColor& color);
    // A stored line height of 0 or less means the default; others are held within 1.15 to 1.9.
    static double normalisedLineHeight(double stored);

    ResolvedNoteTheme resolved() const;

    // The computed theme of a tint: a pale wash of the tint's colour, the standard ink and a badge
    // that follows the tint.
    static ResolvedNoteTheme builtIn(Tint tint);
    static QVector<ResolvedNoteTheme> builtIns();
    // The same, from a colour's hue, saturation and brightness.
    static ResolvedNoteTheme builtIn(const QString& id, const QString& name, double h, double s, double b);
};
