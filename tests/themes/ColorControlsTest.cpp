#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "design/HexColor.h"
#include "model/NoteTheme.h"
#include "themes/ColorMath.h"
#include "themes/ColorPickerModel.h"
#include "themes/ThemeEditor.h"

namespace {

constexpr double r = 42;

HSB at(double x, double y, double brightness = 1)
{
    return hsb(ColorMath::wheelColor({x, y}, r, brightness).value());
}

// A picker over a colour held here, counting the writes.
struct Picked {
    explicit Picked(QColor start, QList<QColor> swatches = {})
        : color(start),
          model(swatches, {[this] { return color; },
                           [this](const QColor& c) {
                               color = c;
                               writes << hexString(c);
                           }})
    {
    }
    QColor color;
    QStringList writes;
    ColorPickerModel model;
};

}  // namespace

TEST(ColorWheel, PointsMapToHueAndSaturationClockwiseFromTheTop)
{
    EXPECT_NEAR(at(r, 0).h, 0, 1e-3) << "rim above the centre";
    EXPECT_NEAR(at(r, 0).s, 1, 1e-3);
    EXPECT_NEAR(at(2 * r, r).h, 0.25, 1e-3) << "rim right of the centre";
    EXPECT_NEAR(at(r, 2 * r).h, 0.5, 1e-3);
    EXPECT_NEAR(at(0, r).h, 0.75, 1e-3);
    EXPECT_NEAR(at(r, r, 0.6).s, 0, 1e-6) << "the centre is a grey";
    EXPECT_NEAR(at(r, r, 0.6).b, 0.6, 2e-3);
    EXPECT_NEAR(at(r + 500, r - 300).s, 1, 1e-6) << "far outside the disc";
    EXPECT_NEAR(at(r, 0, 0).b, 0.05, 2e-3) << "on black the floor brightness";

    // The marker sits where a press picks the same hue and saturation back.
    const QPointF marker = ColorMath::wheelMarker(0.3, 0.7, r);
    const HSB back = at(marker.x(), marker.y());
    EXPECT_NEAR(back.h, 0.3, 2e-3);
    EXPECT_NEAR(back.s, 0.7, 2e-3);
    EXPECT_NEAR(ColorMath::conicalStop(0.25), 0.75, 1e-9) << "drawn counter-clockwise by Qt";
}

TEST(ColorWheel, UnusableInputWritesNothing)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_FALSE(ColorMath::wheelColor({nan, 3}, r, 1));
    EXPECT_FALSE(ColorMath::wheelColor({3, inf}, r, 1));
    EXPECT_FALSE(ColorMath::wheelColor({3, 3}, 0, 1));
    EXPECT_FALSE(ColorMath::wheelColor({3, 3}, -4, 1));
    EXPECT_FALSE(ColorMath::sliderBrightness(nan, 84));

    Picked picked(QColor(0x22, 0xBB, 0x55));
    picked.model.wheelStep({nan, nan}, r);
    picked.model.wheelStep({1, 1}, 0);
    EXPECT_TRUE(picked.writes.isEmpty());
}

TEST(BrightnessSlider, PositionsMapToBrightnessWithAFloor)
{
    EXPECT_DOUBLE_EQ(*ColorMath::sliderBrightness(4, 84), 0.05) << "left twentieth";
    EXPECT_DOUBLE_EQ(*ColorMath::sliderBrightness(-30, 84), 0.05);
    EXPECT_DOUBLE_EQ(*ColorMath::sliderBrightness(84, 84), 1);
    EXPECT_DOUBLE_EQ(*ColorMath::sliderBrightness(200, 84), 1);
    EXPECT_DOUBLE_EQ(*ColorMath::sliderBrightness(0.5, 0.3), 0.5) << "under one point wide: x itself";
    EXPECT_EQ(ColorMath::sliderAccessibleValue(0.999), "99 percent");
    EXPECT_EQ(ColorMath::sliderAccessibleValue(0.29), "29 percent");
    EXPECT_DOUBLE_EQ(ColorMath::sliderKnobLeft(1, 84), 70);

    // A slider step keeps hue and saturation and puts the new code into the field.
    Picked picked(QColor(0x2B, 0x5C, 0x93));
    const HSB before = hsb(picked.color);
    picked.model.sliderStep(42, 84);
    const HSB after = hsb(picked.color);
    EXPECT_NEAR(after.b, 0.5, 0.01);
    EXPECT_NEAR(after.h, before.h, 0.01);
    EXPECT_EQ(picked.model.draft(), hexString(picked.color));
}

TEST(HexField, OnlyUsersActsWriteAndOnlyColoursAreWritten)
{
    Picked picked(QColor(0x11, 0x22, 0x33));
    picked.model.shown();
    EXPECT_EQ(picked.model.draft(), "112233");
    EXPECT_TRUE(picked.writes.isEmpty()) << "looking at the picker writes nothing";

    for (const QString text : {"#abc", "abc", "  #AABBCC\n"}) picked.model.edited(text);
    EXPECT_EQ(picked.writes, QStringList({"AABBCC", "AABBCC", "AABBCC"}));
    picked.writes.clear();
    for (const QString text : {"", "   ", "12345", "12345678", "12G456", "##abc"}) picked.model.edited(text);
    EXPECT_TRUE(picked.writes.isEmpty());
    EXPECT_EQ(picked.model.draft(), "##abc") << "kept as typed";
    EXPECT_EQ(hexString(picked.color), "AABBCC");

    // Typing a code digit by digit writes the three-digit reading, then the whole code.
    QString typed;
    for (const QChar c : QStringLiteral("2B5C93")) picked.model.edited(typed += c);
    EXPECT_EQ(picked.writes, QStringList({"22BB55", "2B5C93"}));
}

TEST(HexField, WheelChangesShowTheirCodeAndReturnKeepsThem)
{
    Picked picked(QColor(0x2B, 0x5C, 0x93));
    picked.model.shown();
    picked.model.wheelStep({r, -10}, r);
    const QString red = hexString(picked.color);
    EXPECT_NEAR(hsb(picked.color).h, 0, 1e-3);
    EXPECT_EQ(picked.model.draft(), red);
    picked.writes.clear();
    picked.model.submitted();
    EXPECT_TRUE(picked.writes.isEmpty()) << "Return brought back the old code";
    EXPECT_EQ(hexString(picked.color), red);

    picked.model.edited("abc1");
    picked.model.submitted();
    EXPECT_TRUE(picked.writes.isEmpty()) << "an unreadable code is not applied on Return either";
}

TEST(HexField, SwatchPicksWriteOnceAndMarkEveryEqualSwatch)
{
    const QColor a(0x9E, 0x3B, 0x2E), b(0x1F, 0x6F, 0x5C);
    Picked picked(a, {a, b, a});
    EXPECT_TRUE(picked.model.isSwatchSelected(0));
    EXPECT_FALSE(picked.model.isSwatchSelected(1));
    EXPECT_TRUE(picked.model.isSwatchSelected(2)) << "duplicates are both marked";
    picked.model.pickSwatch(1);
    EXPECT_EQ(picked.writes, QStringList({"1F6F5C"}));
    EXPECT_EQ(picked.model.draft(), "1F6F5C");
    EXPECT_FALSE(picked.model.isSwatchSelected(0));
    picked.color = QColor(1, 2, 3);
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(picked.model.isSwatchSelected(i)) << "a colour matching no swatch";
    picked.model.pickSwatch(7);
    EXPECT_EQ(picked.writes.size(), 1);

    Picked empty(a);
    empty.model.edited("fff");
    EXPECT_EQ(empty.writes, QStringList({"FFFFFF"})) << "no swatches: the field still works";
}

TEST(Swatches, PaperSwatchesStartWithTheBuiltInPapers)
{
    ASSERT_EQ(ThemeEditor::paperSwatches().size(), 12);
    ASSERT_EQ(ThemeEditor::inkSwatches().size(), 12);
    int k = 0;
    for (Tint tint : Tint::allCases())
        EXPECT_EQ(hexString(ThemeEditor::paperSwatches()[k++]), hexString(NoteTheme::builtIn(tint).paper));
    EXPECT_EQ(hexString(ThemeEditor::inkSwatches()[8]), "2B5C93");
}
