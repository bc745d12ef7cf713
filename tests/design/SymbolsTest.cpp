#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>

#include "design/Symbols.h"

namespace {

TEST(Symbols, OwnGlyphsLoadAndTintToTheGivenColour)
{
    for (const char* name :
         {"MenubarGlyph", "checkmark", "xmark", "plus", "sparkles", "eye", "square.and.pencil", "lock.fill"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(Symbols::icon(QString::fromLatin1(name)).isNull());
    }
    const QIcon tinted = Symbols::tinted("MenubarGlyph", QColor(200, 30, 40), 18, {1});
    const QImage image = tinted.pixmap(18, 18).toImage().convertToFormat(QImage::Format_ARGB32);
    int opaque = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor px = image.pixelColor(x, y);
            if (px.alpha() < 255) continue;
            ++opaque;
            EXPECT_EQ(px.rgb(), QColor(200, 30, 40).rgb());
        }
    EXPECT_GT(opaque, 20);  // the glyph was drawn, not an empty square
    EXPECT_TRUE(Symbols::icon("no.such.symbol").isNull());
}

}  // namespace
