#include <gtest/gtest.h>

#include "design/Legibility.h"
#include "support/Contrast.h"

namespace {

using tarnwick::test::contrastRatio;

// Brings a text colour to 4.5:1 with the least change, on light and dark grounds, and even where the
// painted ground comes out a level nearer the text.
TEST(Legibility, ReadableMovesTheColourOnlyAsFarAsItTakes)
{
    QColor faded(38, 36, 31);
    faded.setAlphaF(0.72f);
    const struct {
        const char* use;
        QColor colour, ground, target;
        bool changes;
    } cases[] = {
        {"already reads", QColor(38, 36, 31), QColor(250, 248, 240), Qt::black, false},
        {"faded ink on the violet paper", faded, QColor(190, 168, 240), QColor(38, 36, 31), true},
        {"accent ink on a rose wash", QColor(138, 66, 48), QColor(232, 158, 170), Qt::black, true},
        {"grey on a dark paper", QColor(90, 90, 90), QColor(30, 30, 40), Qt::white, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.use);
        const QColor readable = Legibility::readable(c.colour, c.ground, c.target);
        EXPECT_EQ(readable != c.colour, c.changes);
        EXPECT_GE(contrastRatio(readable, c.ground), 4.5);
        const QColor darker(std::max(c.ground.red() - 1, 0), std::max(c.ground.green() - 1, 0),
                            std::max(c.ground.blue() - 1, 0));
        const QColor lighter(std::min(c.ground.red() + 1, 255), std::min(c.ground.green() + 1, 255),
                             std::min(c.ground.blue() + 1, 255));
        EXPECT_GE(contrastRatio(readable, c.target == QColor(Qt::white) ? lighter : darker), 4.5);
        // The least change: a step back toward the colour no longer reads (on one of the two grounds).
        if (c.changes) {
            const auto back = [&](int a, int b) { return a + (a < b ? 2 : a > b ? -2 : 0); };
            const QColor less(back(readable.red(), c.colour.red()), back(readable.green(), c.colour.green()),
                              back(readable.blue(), c.colour.blue()), back(readable.alpha(), c.colour.alpha()));
            EXPECT_LT(std::min(contrastRatio(less, c.ground),
                               contrastRatio(less, c.target == QColor(Qt::white) ? lighter : darker)),
                      4.5);
        }
    }
    // Out of reach: the target itself.
    EXPECT_EQ(Legibility::readable(QColor(128, 128, 128), QColor(128, 128, 128), QColor(140, 140, 140)),
              QColor(140, 140, 140));
    EXPECT_EQ(Legibility::strongest(QColor(30, 30, 40)), QColor(Qt::white));
    EXPECT_EQ(Legibility::strongest(QColor(232, 158, 170)), QColor(Qt::black));
}

}  // namespace
