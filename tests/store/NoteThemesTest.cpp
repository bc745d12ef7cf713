#include <gtest/gtest.h>

#include "design/TarnwickTheme.h"
#include "model/Note.h"
#include "model/NoteTheme.h"
#include "platform/NotificationCenter.h"
#include "platform/Settings.h"
#include "store/NoteThemes.h"
#include "store/ResolvedNoteLook.h"
#include "store/ThemeCache.h"

namespace {

constexpr double kTolerance = 1e-3;  // QColor keeps 16 bits a component

ResolvedNoteTheme stored(const QString& id, const QString& name = QStringLiteral("Stored"),
                         const std::optional<QString>& wallpaper = std::nullopt, double brightness = 0, double blur = 0)
{
    NoteTheme row(id, name, QColor::fromRgbF(0.3f, 0.3f, 0.3f), std::nullopt, std::nullopt, 1.0, 0);
    row.setWallpaperID(wallpaper);
    row.setWallpaperBrightness(brightness);
    row.setWallpaperBlur(blur);
    return row.resolved();
}

std::unique_ptr<Note> note(const QString& themeID, Tint tint)
{
    auto n = std::make_unique<Note>();
    n->setThemeID(themeID);
    n->setTint(tint);
    return n;
}

QStringList ids(const QVector<ResolvedNoteTheme>& themes)
{
    QStringList out;
    for (const auto& t : themes) out << t.id + QLatin1Char('/') + t.name;
    return out;
}

TEST(NoteThemesTest, ResolvesStoredThemesFirstAndFallsBackToTheNotesTint)
{
    const QVector<ResolvedNoteTheme> none;
    // An empty id means the tint's theme; without a stored copy, the computed one.
    EXPECT_EQ(NoteThemes::resolve(QString(), Tint::green, none), NoteTheme::builtIn(Tint::green));
    const QVector<ResolvedNoteTheme> withCopy{stored(QStringLiteral("green"), QStringLiteral("My green")),
                                              stored(QStringLiteral("green"), QStringLiteral("Second"))};
    EXPECT_EQ(NoteThemes::resolve(QString(), Tint::green, withCopy).name, QStringLiteral("My green"));

    // Built-in themes are never searched by id: a "green" id on a blue note without a stored copy
    // is the blue theme, and so is a theme that no longer exists.
    EXPECT_EQ(NoteThemes::resolve(QStringLiteral("green"), Tint::blue, none), NoteTheme::builtIn(Tint::blue));
    EXPECT_EQ(NoteThemes::resolve(QStringLiteral("GONE"), Tint::rose, withCopy), NoteTheme::builtIn(Tint::rose));
    EXPECT_EQ(NoteThemes::resolve(QStringLiteral("green"), Tint::blue, withCopy).name, QStringLiteral("My green"));
}

TEST(NoteThemesTest, LibraryListsTheSixTintsThenUserThemesInStoredOrder)
{
    const QVector<ResolvedNoteTheme> rows{stored(QStringLiteral("U2"), QStringLiteral("Late")),
                                          stored(QStringLiteral("blue"), QStringLiteral("First blue")),
                                          stored(QStringLiteral("U1"), QStringLiteral("Mine")),
                                          stored(QStringLiteral("blue"), QStringLiteral("Second blue")),
                                          stored(QStringLiteral("U1"), QStringLiteral("Mine again"))};
    EXPECT_EQ(ids(NoteThemes::library(rows)),
              (QStringList{"slate/Slate", "blue/First blue", "green/Green", "amber/Amber", "rose/Rose", "violet/Violet",
                           "U2/Late", "U1/Mine", "U1/Mine again"}));
    EXPECT_EQ(NoteThemes::library({}), NoteTheme::builtIns());
}

class DefaultThemeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Settings::setShared(std::make_unique<Settings>(std::make_unique<MemorySettingsBackend>()));
    }
    void TearDown() override { Settings::setShared(nullptr); }
    Settings& settings() { return Settings::shared(); }
};

TEST_F(DefaultThemeTest, ChosenThemeThenDefaultTintThenBlue)
{
    EXPECT_EQ(NoteThemes::defaultThemeID(), QStringLiteral("blue"));
    settings().setValue(QStringLiteral("notes.defaultThemeID"), QString());
    settings().setValue(QStringLiteral("general.defaultTint"), QStringLiteral("rose"));
    EXPECT_EQ(NoteThemes::defaultThemeID(), QStringLiteral("rose"));
    settings().setValue(QStringLiteral("notes.defaultThemeID"), QStringLiteral("A-USER-THEME"));
    EXPECT_EQ(NoteThemes::defaultThemeID(), QStringLiteral("A-USER-THEME")) << "not checked against stored themes";
    // A value of another type is not a theme id.
    settings().setValue(QStringLiteral("notes.defaultThemeID"), true);
    settings().setValue(QStringLiteral("general.defaultTint"), 3);
    EXPECT_EQ(NoteThemes::defaultThemeID(), QStringLiteral("blue"));
}

TEST(ResolvedNoteLookTest, ColourAndTypefaceOverridesReplaceOnlyTheirField)
{
    const QVector<ResolvedNoteTheme> rows{
        stored(QStringLiteral("T"), QStringLiteral("Mine"), QStringLiteral("stock.oat"))};
    auto owned = note(QStringLiteral("T"), Tint::amber);
    Note& n = *owned;
    EXPECT_EQ(ResolvedNoteLook::resolve(n, rows).theme, rows[0]) << "no override: the theme unchanged";

    n.setInkHexOverride(QStringLiteral("not a colour"));
    EXPECT_EQ(ResolvedNoteLook::resolve(n, rows).theme, rows[0]);

    n.setPaperHexOverride(QStringLiteral("#f80"));
    n.setFontFamilyOverride(QString());
    const ResolvedNoteTheme theme = ResolvedNoteLook::resolve(n, rows).theme;
    EXPECT_NEAR(theme.paper.redF(), 1.0, kTolerance);
    EXPECT_NEAR(theme.paper.greenF(), 0x88 / 255.0, kTolerance);
    EXPECT_EQ(theme.ink, TarnwickTheme::textPrimary());
    EXPECT_EQ(theme.fontFamily, QString()) << "an empty family still replaces the theme's";
    ResolvedNoteTheme rest = theme;
    rest.paper = rows[0].paper;
    rest.fontFamily = rows[0].fontFamily;
    EXPECT_EQ(rest, rows[0]) << "id, name, line height, badge and the theme's wallpaper stay";

    n.setInkHexOverride(QStringLiteral(" 102030\n"));
    EXPECT_EQ(ResolvedNoteLook::resolve(n, rows).theme.ink, QColor(0x10, 0x20, 0x30));
}

TEST(ResolvedNoteLookTest, WallpaperComesFromTheNoteOrTheTheme)
{
    const QVector<ResolvedNoteTheme> rows{
        stored(QStringLiteral("T"), QStringLiteral("Lined"), QStringLiteral("stock.linen"), -0.7, 35)};
    auto owned = note(QStringLiteral("T"), Tint::blue);
    Note& n = *owned;
    ResolvedNoteLook look = ResolvedNoteLook::resolve(n, rows);
    EXPECT_EQ(look.wallpaper, WallpaperRef::makeStock(WallpaperStock::linen));
    EXPECT_DOUBLE_EQ(look.brightness, -0.5) << "theme values are clamped too";
    EXPECT_DOUBLE_EQ(look.blur, 20);

    n.setWallpaperID(QString());
    EXPECT_FALSE(ResolvedNoteLook::resolve(n, rows).wallpaper) << "empty text switches the theme's wallpaper off";
    n.setWallpaperID(QStringLiteral("stock.marble"));
    EXPECT_FALSE(ResolvedNoteLook::resolve(n, rows).wallpaper);
    n.setWallpaperID(QStringLiteral("user:W1"));
    n.setWallpaperBrightness(0.9);
    n.setWallpaperBlur(-3);
    look = ResolvedNoteLook::resolve(n, rows);
    EXPECT_EQ(look.wallpaper, WallpaperRef::makeUser(QStringLiteral("W1")));
    EXPECT_DOUBLE_EQ(look.brightness, 0.5);
    EXPECT_DOUBLE_EQ(look.blur, 0);
    EXPECT_EQ(look.theme.wallpaperID, QStringLiteral("stock.linen")) << "the theme keeps its own wallpaper";

    // The note's adjustments apply to the theme's wallpaper as well; a stored NaN counts as none.
    n.setWallpaperID(std::nullopt);
    n.setWallpaperBrightness(0.25);
    n.setWallpaperBlur(std::numeric_limits<double>::quiet_NaN());
    look = ResolvedNoteLook::resolve(n, rows);
    EXPECT_EQ(look.wallpaper, WallpaperRef::makeStock(WallpaperStock::linen));
    EXPECT_DOUBLE_EQ(look.brightness, 0.25);
    EXPECT_DOUBLE_EQ(look.blur, 0);
}

TEST(ThemeCacheTest, LoadsOnceAndEmptiesOnThemeChangeOrClear)
{
    NotificationCenter center;
    ThemeCache cache(center);
    int loads = 0;
    QVector<ResolvedNoteTheme> rows;
    const auto load = [&] {
        ++loads;
        return rows;
    };
    EXPECT_TRUE(cache.themes(load).isEmpty());
    rows.push_back(stored(QStringLiteral("green")));
    EXPECT_TRUE(cache.themes(load).isEmpty()) << "an empty list is cached like any other";
    EXPECT_EQ(loads, 1);

    center.post(QStringLiteral("tarnwickNoteChanged"));
    EXPECT_TRUE(cache.isLoaded());
    center.post(tarnwickThemeChanged, QStringLiteral("ANY-OBJECT"));
    EXPECT_FALSE(cache.isLoaded());
    EXPECT_EQ(cache.themes(load).size(), 1);

    rows.clear();
    cache.clear();
    EXPECT_TRUE(cache.themes(load).isEmpty());
    EXPECT_EQ(loads, 3);
}

}  // namespace
