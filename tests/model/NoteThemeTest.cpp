#include <gtest/gtest.h>

#include <limits>

#include "design/HexColor.h"
#include "design/TarnwickTheme.h"
#include "model/NoteTheme.h"

namespace {

constexpr double kTolerance = 1e-3;  // QColor keeps 16 bits a component

TEST(NoteThemeTest, ResolvesInkOnlyWhenAllThreeComponentsAreSet)
{
    NoteTheme theme("t1", "Mine", QColor::fromRgbF(0.2f, 0.4f, 0.6f), std::nullopt, std::nullopt, 1.0, 1.5);
    EXPECT_FALSE(theme.inkR() || theme.inkG() || theme.inkB());
    EXPECT_EQ(theme.resolved().ink, TarnwickTheme::textPrimary());
    EXPECT_NEAR(theme.resolved().paper.greenF(), 0.4, kTolerance);

    theme.setInkR(0.5);
    theme.setInkG(0.5);
    EXPECT_EQ(theme.resolved().ink, TarnwickTheme::textPrimary());
    theme.setInkB(0.5);
    EXPECT_NEAR(theme.resolved().ink.blueF(), 0.5, kTolerance);

    const NoteTheme inked("t2", "Inked", Qt::white, "Serif", QColor::fromRgbF(0.1f, 0.2f, 0.3f), 1.0, 0);
    EXPECT_NEAR(*inked.inkG(), 0.2, kTolerance);
    EXPECT_EQ(inked.resolved().fontFamily, "Serif");
    EXPECT_FALSE(inked.resolved().badgeOverride) << "stored themes compute their badge from the paper";
}

TEST(NoteThemeTest, LineHeightIsNormalised)
{
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    for (auto [stored, expected] : {std::pair{0.0, 1.45},
                                    {-1.0, 1.45},
                                    {1.0, 1.15},
                                    {1.5, 1.5},
                                    {2.5, 1.9},
                                    {nan, 1.45},
                                    {inf, 1.45},
                                    {-inf, 1.45}}) {
        NoteTheme theme;
        theme.setLineHeight(stored);
        EXPECT_DOUBLE_EQ(theme.resolved().lineHeight, expected) << stored;
    }
}

// A damaged row reaches every view: values that are not finite numbers resolve to the defaults.
TEST(NoteThemeTest, NonFiniteStoredValuesResolveToDefaults)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    NoteTheme theme("t", "Damaged", Qt::white, std::nullopt, QColor::fromRgbF(0.1f, 0.2f, 0.3f), 1.0, 1.5);
    theme.setPaperG(nan);
    theme.setPaperB(std::numeric_limits<double>::infinity());
    theme.setInkR(nan);
    theme.setWallpaperBlur(nan);
    const ResolvedNoteTheme resolved = theme.resolved();
    EXPECT_EQ(resolved.paper, QColor::fromRgbF(1, 1, 1));
    EXPECT_EQ(resolved.ink, TarnwickTheme::textPrimary());
    EXPECT_EQ(resolved.wallpaperBlur, 0);
}

TEST(NoteThemeTest, BuiltInsArePaleWashesOfTheirTint)
{
    const auto c = NoteTheme::components(QColor());  // a colour without RGB reads as white
    EXPECT_EQ(c.r + c.g + c.b, 3.0);
    EXPECT_NE(NoteTheme().id(), NoteTheme().id());

    QStringList ids;
    for (const auto& t : NoteTheme::builtIns()) {
        ids << t.id;
        const auto p = t.hsb();
        EXPECT_TRUE(p.s >= 0.16 - kTolerance && p.s <= 0.30 + kTolerance && p.b >= 0.94 - kTolerance)
            << qPrintable(t.id);
    }
    // Stored rows name these ids.
    EXPECT_EQ(ids, (QStringList{"slate", "blue", "green", "amber", "rose", "violet"}));
    // Side by side in a theme grid every pair of built-in papers must be told apart: at least one
    // channel differs by 24 or more.
    const auto builtIns = NoteTheme::builtIns();
    for (int i = 0; i < builtIns.size(); ++i)
        for (int j = i + 1; j < builtIns.size(); ++j) {
            const QColor a = builtIns[i].paper, b = builtIns[j].paper;
            const int apart =
                std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()), std::abs(a.blue() - b.blue())});
            EXPECT_GE(apart, 24) << qPrintable(builtIns[i].id + " " + builtIns[j].id);
        }
    EXPECT_LT(Tint(Tint::slate).hsb().s, 0.06);

    // The bounds of the formulae: a nearly grey tint and a strong one.
    const auto grey = NoteTheme::builtIn("x", "X", 0.5, 0.05, 0.99);
    EXPECT_NEAR(grey.hsb().s, 0.16, kTolerance);
    EXPECT_NEAR(grey.hsb().b, 0.99, kTolerance);
    EXPECT_NEAR(grey.badge().hsvSaturationF(), 0.42, kTolerance);
    const auto strong = NoteTheme::builtIn("x", "X", 0.5, 0.5, 0.5);
    EXPECT_NEAR(strong.hsb().s, 0.30, kTolerance);
    EXPECT_NEAR(strong.hsb().b, 0.94, kTolerance);
    EXPECT_NEAR(strong.badge().hsvSaturationF(), 0.60, kTolerance);
    EXPECT_NEAR(strong.badge().valueF(), 0.42, kTolerance);
}

TEST(NoteThemeTest, StoredCopyOfABuiltInTakesItsBadgeFromThePaper)
{
    const auto builtIn = NoteTheme::builtIn(Tint::green);
    NoteTheme copy(builtIn.id, builtIn.name, builtIn.paper, std::nullopt, std::nullopt, 1.0, 0);
    const auto resolved = copy.resolved();
    EXPECT_FALSE(resolved.badgeOverride);
    const auto paper = resolved.hsb();
    EXPECT_NEAR(resolved.badge().hsvHueF(), builtIn.paper.hsvHueF(), kTolerance);
    EXPECT_NEAR(resolved.badge().hsvSaturationF(), std::min(std::max(paper.s * 3.2, 0.42), 0.60), kTolerance);
}

}  // namespace
