#include <gtest/gtest.h>

#include <QPainter>

#include "design/TrayGlyph.h"

namespace {

const char* const kPanels[] = {"#d6d6d6", "#ededed", "#bebebe", "#1c1c1c", "#000000", "#303030"};

QImage onPanel(const char* panel, const QImage& glyph)
{
    QImage shown(glyph.size(), QImage::Format_RGB32);
    shown.fill(QColor(panel));
    QPainter(&shown).drawImage(0, 0, glyph);
    return shown;
}

// The share of pixels where the two pictures differ by at least `ratio`.
double shareApart(const QImage& a, const QImage& b, double ratio)
{
    int apart = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (TrayGlyph::contrast(a.pixelColor(x, y), b.pixelColor(x, y)) >= ratio) ++apart;
    return double(apart) / (a.width() * a.height());
}

}  // namespace

// The glyph must read on the panels trays use, lit or not: a good share of it stands out at 3:1 or
// more against light grey and near-black panels, at the sizes trays ask for.
TEST(TrayGlyph, ReadsOnLightAndDarkPanels)
{
    EXPECT_NEAR(TrayGlyph::contrast(Qt::white, Qt::black), 21.0, 1e-9);
    for (const char* panel : kPanels) {
        for (const int size : {16, 22, 32}) {
            for (const bool lit : {false, true}) {
                QImage bare(size, size, QImage::Format_RGB32);
                bare.fill(QColor(panel));
                EXPECT_GE(shareApart(onPanel(panel, TrayGlyph::image(size, lit)), bare, 3.0), 0.2)
                    << panel << " at " << size << " px" << (lit ? ", lit" : "");
            }
        }
    }
}

// Lit, it cannot be taken for the glyph at rest on either kind of panel: much of the square changes,
// plainly.
TEST(TrayGlyph, LitStandsApartFromTheGlyphAtRest)
{
    for (const char* panel : kPanels)
        for (const int size : {16, 22, 32})
            EXPECT_GE(
                shareApart(onPanel(panel, TrayGlyph::image(size, true)), onPanel(panel, TrayGlyph::image(size)), 2.0),
                0.35)
                << panel << " at " << size << " px";
}
