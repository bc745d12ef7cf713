#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetricsF>
#include <cmath>

#include "design/TarnwickType.h"
#include "support/TestEnvironment.h"

using tarnwick::test::LogCapture;

namespace {

TEST(TarnwickType, MissingBundledFontIsLoggedOnceAndHeadingsFallBackToSerif)
{
    LogCapture log;
    TarnwickType::registerBundledFonts();
    TarnwickType::registerBundledFonts();
    EXPECT_EQ(log.count("Newsreader.ttf not found in the data folder; brand headings fall back to the system serif."),
              1);
    if (!TarnwickType::newsreaderAvailable()) {
        const QFont heading = TarnwickType::brand(19, QFont::DemiBold);
        EXPECT_EQ(heading.styleHint(), QFont::Serif);
    }
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
