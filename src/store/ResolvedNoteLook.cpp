#include "store/ResolvedNoteLook.h"

#include <algorithm>
#include <cmath>

#include "design/HexColor.h"
#include "model/Note.h"
#include "store/NoteThemes.h"

namespace {
std::optional<QColor> parsedOverride(const std::optional<QString>& hex)
{
    return hex ? colorFromHex(*hex) : std::nullopt;
}

// A stored value that is not a number would reach the renderer as such; it counts as no adjustment.
double clamped(double value, double low, double high)
{
    return std::isnan(value) ? 0.0 : std::clamp(value, low, high);
}
}  // namespace

ResolvedNoteLook ResolvedNoteLook::resolve(const Note& note, const QVector<ResolvedNoteTheme>& stored)
{
    const ResolvedNoteTheme base = NoteThemes::resolve(note.themeID(), note.tint(), stored);
    const std::optional<QString> wallpaperText = note.wallpaperID();
    const std::optional<double> brightnessOverride = note.wallpaperBrightness();
    const std::optional<double> blurOverride = note.wallpaperBlur();
    const std::optional<QString> fontOverride = note.fontFamilyOverride();
    const std::optional<QColor> ink = parsedOverride(note.inkHexOverride());
    const std::optional<QColor> paper = parsedOverride(note.paperHexOverride());

    ResolvedNoteLook look;
    look.theme = base;
    if (paper) look.theme.paper = *paper;
    if (ink) look.theme.ink = *ink;
    // Present but empty still replaces the theme's family.
    if (fontOverride) look.theme.fontFamily = fontOverride;

    // No text: the theme's wallpaper. Empty text: none, the note switches the theme's off.
    const std::optional<QString> text = wallpaperText ? wallpaperText : base.wallpaperID;
    look.wallpaper = WallpaperRef::parse(text);
    look.brightness = clamped(brightnessOverride.value_or(base.wallpaperBrightness), minBrightness, maxBrightness);
    look.blur = clamped(blurOverride.value_or(base.wallpaperBlur), minBlur, maxBlur);
    return look;
}
