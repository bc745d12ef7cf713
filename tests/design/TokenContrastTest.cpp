#include <gtest/gtest.h>

#include "design/TarnwickTheme.h"
#include "support/Contrast.h"

namespace {

using tarnwick::test::contrastRatio;
using tarnwick::test::over;
using T = TarnwickTheme;

struct Pair {
    const char* use;
    QColor text;
    QColor ground;
};

// Every pair of tokens the windows draw as readable text on a ground, with the translucent grounds
// laid over what they sit on. Placeholder, caption and disabled text in textTertiary, and the words
// drawn in offline and destructive, keep the colours the design gives them and are not listed.
TEST(TokenContrast, TextOnItsGroundReadsAtFourAndAHalfToOne)
{
    const QColor wash = over(T::accentWash(), T::surface());
    const QColor washOnCard = over(T::accentWash(), T::surfaceRaised());
    const QColor pressedFill = T::fill().darker(108);
    const std::vector<Pair> pairs = {
        {"body text on the canvas", T::textPrimary(), T::canvas()},
        {"body text on a page", T::textPrimary(), T::surface()},
        {"body text on a card", T::textPrimary(), T::surfaceRaised()},
        {"a button's label on its resting fill", T::textPrimary(), T::fill()},
        {"a button's label pressed", T::textPrimary(), pressedFill},
        {"a menu item under the pointer", T::textPrimary(), washOnCard},
        {"a selected row", T::textPrimary(), wash},
        {"secondary text on the canvas", T::textSecondary(), T::canvas()},
        {"secondary text on a page", T::textSecondary(), T::surface()},
        {"secondary text on a card", T::textSecondary(), T::surfaceRaised()},
        {"a quiet button pressed", T::textSecondary(), T::fill()},
        {"a link", T::accentInk(), T::surface()},
        {"an accent word on its wash", T::accentInk(), wash},
        {"a primary button's label", Qt::white, T::accent()},
        {"an accent status on a card", T::accent(), T::surfaceRaised()},
        {"a success word on a card", T::success(), T::surfaceRaised()},
        {"text on the dark surfaces", T::onInk(), T::HUD::inkSolid()},
        {"dim text on the dark surfaces", T::HUD::onInkDim(), T::HUD::inkSolid()},
        {"an accent on the dark surfaces", T::OnInkTint::accent(), T::HUD::inkSolid()},
        {"a caution on the dark surfaces", T::OnInkTint::caution(), T::HUD::inkSolid()},
    };
    for (const Pair& pair : pairs) EXPECT_GE(contrastRatio(pair.text, pair.ground), 4.5) << pair.use;
}

TEST(TokenContrast, RatiosAreMeasuredAsTheScreenShowsThem)
{
    EXPECT_NEAR(contrastRatio(Qt::black, Qt::white), 21.0, 0.01);
    EXPECT_NEAR(contrastRatio(Qt::white, Qt::white), 1.0, 0.001);
    // A translucent colour is laid over its ground first: black at 0 opacity is no contrast at all.
    EXPECT_NEAR(contrastRatio(QColor(0, 0, 0, 0), Qt::white), 1.0, 0.001);
    EXPECT_NEAR(contrastRatio(T::textTertiary(), T::surface()), 2.91, 0.02);
}

}  // namespace
