#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetricsF>
#include <QTemporaryFile>
#include <cmath>

#include "design/TarnwickType.h"
#include "support/TestEnvironment.h"

using tarnwick::test::LogCapture;

namespace {

// The shipped face registers once and brand headings resolve to it; a missing or unreadable file is
// said at info level and headings fall back to the system serif.
TEST(TarnwickType, BundledFontRegistersAndMissingFilesFallBack)
{
    LogCapture log;
    EXPECT_FALSE(TarnwickType::registerFont(QString()));
    EXPECT_EQ(log.count("Newsreader.ttf not found in the data folder; brand headings fall back to the system serif."),
              1);
    QTemporaryFile garbage;
    ASSERT_TRUE(garbage.open());
    garbage.write("not a font");
    garbage.flush();
    EXPECT_FALSE(TarnwickType::registerFont(garbage.fileName()));
    EXPECT_EQ(log.count("Newsreader registration: the font file could not be read"), 1);
    if (!TarnwickType::newsreaderAvailable()) {
        EXPECT_EQ(TarnwickType::brand(19, QFont::DemiBold).styleHint(), QFont::Serif);
    }

    TarnwickType::registerBundledFonts();
    TarnwickType::registerBundledFonts();
    ASSERT_TRUE(TarnwickType::newsreaderAvailable());
    const QFont heading = TarnwickType::brand(19, QFont::DemiBold);
    EXPECT_EQ(QFontInfo(heading).family(), "Newsreader");
    EXPECT_EQ(log.count("Newsreader.ttf not found in the data folder; brand headings fall back to the system serif."),
              1);
}

TEST(TarnwickType, LineSpacingBringsTheBodyFontToA20Point3Line)
{
    const QFontMetricsF metrics(TarnwickType::readerBody());
    const qreal natural = std::ceil(metrics.ascent() + metrics.descent() + metrics.leading());
    const qreal spacing = TarnwickType::readerLineSpacing();
    EXPECT_GE(spacing, 0);
    if (natural < 20.3)
        EXPECT_NEAR(natural + spacing, 20.3, 1e-9);
    else
        EXPECT_EQ(spacing, 0);
    EXPECT_TRUE(QFontInfo(TarnwickType::mono()).fixedPitch());
}

}  // namespace
