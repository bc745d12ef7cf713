#include <gtest/gtest.h>

#include <QPainter>

#include "design/TrayGlyph.h"

// The glyph must read on the panels trays use: a good share of it stands out at 3:1 or more against
// light grey and near-black panels, at the sizes trays ask for.
TEST(TrayGlyph, ReadsOnLightAndDarkPanels)
{
    EXPECT_NEAR(TrayGlyph::contrast(Qt::white, Qt::black), 21.0, 1e-9);
    for (const char* panel : {"#d6d6d6", "#ededed", "#bebebe", "#1c1c1c", "#000000", "#303030"}) {
        for (const int size : {16, 22, 32}) {
            QImage shown(size, size, QImage::Format_RGB32);
            shown.fill(QColor(panel));
            QPainter(&shown).drawImage(0, 0, TrayGlyph::image(size));
            int legible = 0;
            for (int y = 0; y < size; ++y)
                for (int x = 0; x < size; ++x)
                    if (TrayGlyph::contrast(shown.pixelColor(x, y), QColor(panel)) >= 3.0) ++legible;
            EXPECT_GE(double(legible) / (size * size), 0.2) << panel << " at " << size << " px";
        }
    }
}
