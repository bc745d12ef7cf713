#pragma once

#include <QVector>
#include <optional>

#include "model/ResolvedNoteTheme.h"
#include "model/WallpaperRef.h"

class Note;

// A note's complete look: its theme with the note's paper, ink and typeface overrides applied, and
// the wallpaper to draw with its brightness and blur. Every view of a note draws from this.
struct ResolvedNoteLook {
    static constexpr double minBrightness = -0.5;
    static constexpr double maxBrightness = 0.5;
    static constexpr double minBlur = 0;
    static constexpr double maxBlur = 20;

    // The theme's own wallpaper fields stay those of the theme; the note's choice is below.
    ResolvedNoteTheme theme;
    std::optional<WallpaperRef> wallpaper;
    double brightness = 0;  // -0.5...0.5
    double blur = 0;        // 0...20

    // The look of a note over the stored themes (in fetch order). Colour overrides that are not hex
    // colours are ignored; a note's empty wallpaper text switches the theme's wallpaper off; the
    // note's brightness and blur win over the theme's, and both are held within their ranges.
    static ResolvedNoteLook resolve(const Note& note, const QVector<ResolvedNoteTheme>& stored);

    bool operator==(const ResolvedNoteLook& other) const = default;
};
