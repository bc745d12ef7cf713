#include <gtest/gtest.h>

#include "design/TarnwickTheme.h"
#include "model/Note.h"
#include "model/NoteTheme.h"
#include "store/NoteThemes.h"
#include "store/ResolvedNoteLook.h"

namespace {

ResolvedNoteTheme stored(const QString& id, const QString& name, const std::optional<QString>& wallpaper = {},
                         double brightness = 0, double blur = 0)
{
    NoteTheme row(id, name, QColor::fromRgbF(0.3f, 0.3f, 0.3f), std::nullopt, std::nullopt, 1.0, 0);
    row.setWallpaperID(wallpaper);
    row.setWallpaperBrightness(brightness);
    row.setWallpaperBlur(blur);
    return row.resolved();
}

TEST(NoteThemesTest, ResolutionPrefersStoredRowsAndLibraryListsTintsFirst)
{
    const QVector<ResolvedNoteTheme> rows{stored("U2", "Late"), stored("blue", "First blue"), stored("U1", "Mine"),
                                          stored("blue", "Second blue"), stored("U1", "Mine again")};
    EXPECT_EQ(NoteThemes::resolve(QString(), Tint::blue, rows).name, "First blue");
    EXPECT_EQ(NoteThemes::resolve(QString(), Tint::green, rows), NoteTheme::builtIn(Tint::green));
    // Built-in themes are never looked up by id: unknown or built-in ids fall back to the note's tint.
    EXPECT_EQ(NoteThemes::resolve("green", Tint::rose, rows), NoteTheme::builtIn(Tint::rose));
    EXPECT_EQ(NoteThemes::resolve("GONE", Tint::rose, rows), NoteTheme::builtIn(Tint::rose));

    QStringList listed;
    for (const auto& t : NoteThemes::library(rows)) listed << t.id + '/' + t.name;
    EXPECT_EQ(listed, (QStringList{"slate/Slate", "blue/First blue", "green/Green", "amber/Amber", "rose/Rose",
                                   "violet/Violet", "U2/Late", "U1/Mine", "U1/Mine again"}));
}

TEST(ResolvedNoteLookTest, OverridesReplaceOnlyTheirFieldAndAdjustmentsAreClamped)
{
    const QVector<ResolvedNoteTheme> rows{stored("T", "Lined", "stock.linen", -0.7, 35)};
    Note note;
    note.setThemeID("T");
    ResolvedNoteLook look = ResolvedNoteLook::resolve(note, rows);
    EXPECT_EQ(look.theme, rows[0]);
    EXPECT_EQ(look.wallpaper, WallpaperRef::makeStock(WallpaperStock::linen));
    EXPECT_DOUBLE_EQ(look.brightness, -0.5) << "theme values are clamped too";
    EXPECT_DOUBLE_EQ(look.blur, 20);

    note.setInkHexOverride("not a colour");
    note.setPaperHexOverride("#f80");
    note.setFontFamilyOverride(QString());
    note.setWallpaperBrightness(0.9);
    note.setWallpaperBlur(std::numeric_limits<double>::quiet_NaN());
    look = ResolvedNoteLook::resolve(note, rows);
    EXPECT_EQ(look.theme.paper, QColor(0xff, 0x88, 0x00));
    EXPECT_EQ(look.theme.ink, TarnwickTheme::textPrimary());
    EXPECT_EQ(look.theme.fontFamily, QString()) << "an empty family still replaces the theme's";
    ResolvedNoteTheme rest = look.theme;
    rest.paper = rows[0].paper;
    rest.fontFamily = std::nullopt;
    EXPECT_EQ(rest, rows[0]) << "id, name, line height, badge and the theme's own wallpaper stay";
    EXPECT_DOUBLE_EQ(look.brightness, 0.5);
    EXPECT_DOUBLE_EQ(look.blur, 0) << "a stored NaN is no adjustment";

    note.setWallpaperID(QString());
    EXPECT_FALSE(ResolvedNoteLook::resolve(note, rows).wallpaper) << "empty text switches the theme's off";
    note.setWallpaperID("stock.marble");
    EXPECT_FALSE(ResolvedNoteLook::resolve(note, rows).wallpaper);
    note.setWallpaperID("user:W1");
    note.setWallpaperBlur(-3);
    look = ResolvedNoteLook::resolve(note, rows);
    EXPECT_EQ(look.wallpaper, WallpaperRef::makeUser("W1"));
    EXPECT_DOUBLE_EQ(look.blur, 0);
}

}  // namespace
