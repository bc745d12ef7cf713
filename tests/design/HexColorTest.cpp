#include <gtest/gtest.h>

#include "design/HexColor.h"

namespace {

TEST(HexColor, AcceptsThreeOrSixDigitsWithOptionalHashAndSurroundingSpace)
{
    for (const QString& text : QStringList{"B0563A", "b0563a", "#B0563a", "  #b0563A\n", "\t\r\nB0563A \n"}) {
        SCOPED_TRACE(text.toStdString());
        const auto color = colorFromHex(text);
        ASSERT_TRUE(color.has_value());
        EXPECT_EQ(hexString(*color), "B0563A");
        EXPECT_EQ(color->alphaF(), 1.0f);
    }
    // Each of three digits stands for two equal ones, in order.
    EXPECT_EQ(hexString(*colorFromHex("#a1F")), "AA11FF");
    EXPECT_EQ(*colorFromHex("a1F"), *colorFromHex("AA11FF"));
}

TEST(HexColor, RejectsEverythingElse)
{
    const QStringList rejected = {QString(), "#", "##B0563A", "B056", "B0563", "B0563A0", "B0563A00", "B0563G",
                                  "B0 63A", "0xB056", "+B0563", "B0563A#",
                                  // Full-width digits are digits to some Unicode readers, but not hex text.
                                  "\xEF\xBC\xA1\xEF\xBC\xA1\xEF\xBC\xA1", "B0563\xC3\xA9"};
    for (const QString& text : rejected) EXPECT_FALSE(colorFromHex(text).has_value()) << text.toStdString();
}

TEST(HexColor, HexStringIsUpperCaseWithoutHashOrAlphaAndAlwaysSixDigits)
{
    QColor translucent = *colorFromHex("8A4230");
    translucent.setAlphaF(0.12f);
    EXPECT_EQ(hexString(translucent), "8A4230");
    EXPECT_EQ(hexString(QColor()), "FFFFFF");  // unreadable colour reads as white
    EXPECT_EQ(hexString(QColor::fromHsvF(0.0f, 0.0f, 0.0f)), "000000");

    // Extended-range components are clamped, never written as three digits or a sign.
    EXPECT_EQ(hexString(QColor::fromRgbF(1.5f, -0.25f, 0.5f)), "FF0080");
}

TEST(HexColor, HueSaturationBrightness)
{
    const HSB red = hsb(*colorFromHex("FF0000"));
    EXPECT_DOUBLE_EQ(red.h, 0.0);
    EXPECT_DOUBLE_EQ(red.s, 1.0);
    EXPECT_DOUBLE_EQ(red.b, 1.0);
    const HSB blue = hsb(*colorFromHex("000080"));
    EXPECT_NEAR(blue.h, 2.0 / 3.0, 1e-4);
    EXPECT_NEAR(blue.b, 128.0 / 255.0, 1e-4);
    // Greys have no hue; Qt's -1 is not passed on.
    const HSB grey = hsb(*colorFromHex("808080"));
    EXPECT_EQ(std::pair(grey.h, grey.s), std::pair(0.0, 0.0));
    EXPECT_EQ(hsb(QColor()).b, 1.0);
}

}  // namespace
