#include <gtest/gtest.h>

#include <QEasingCurve>
#include <QSignalSpy>
#include <cmath>
#include <limits>

#include "design/Tween.h"
#include "support/FakeClock.h"

namespace {
struct Fixture {
    FakeClock clock;
    bool reduce = false;
    Tween tween{clock, 1.0};
    Fixture()
    {
        tween.setReduceMotion([this] { return reduce; });
    }
};
}  // namespace

// Eases out toward the target and lands on it exactly; frames stop at the end.
TEST(Tween, EasesOutAndEndsOnTheTarget)
{
    Fixture f;
    QSignalSpy drawn(&f.tween, &Tween::valueChanged);
    f.tween.animateTo(0.0, 180);
    EXPECT_DOUBLE_EQ(f.tween.value(), 1.0);
    EXPECT_DOUBLE_EQ(f.tween.target(), 0.0);
    f.clock.advance(90);
    // Out-cubic: past three quarters of the way at half the time.
    EXPECT_LT(f.tween.value(), 0.25);
    EXPECT_GT(f.tween.value(), 0.0);
    f.clock.advance(200);
    EXPECT_DOUBLE_EQ(f.tween.value(), 0.0);
    EXPECT_FALSE(f.tween.isRunning());
    ASSERT_FALSE(drawn.isEmpty());
    EXPECT_DOUBLE_EQ(drawn.last().at(0).toDouble(), 0.0);
    const qsizetype frames = drawn.size();
    f.clock.advance(500);
    EXPECT_EQ(drawn.size(), frames);
}

// Given another curve, it eases along that one instead: here one quick to start and long to settle.
TEST(Tween, FollowsTheCurveItIsGiven)
{
    Fixture f;
    QEasingCurve quick(QEasingCurve::BezierSpline);
    quick.addCubicBezierSegment(QPointF(0.2, 0.7), QPointF(0.2, 1.0), QPointF(1, 1));
    f.tween.setCurve(quick);
    f.tween.animateTo(0.0, 160);
    f.clock.advance(40);
    EXPECT_NEAR(f.tween.value(), 1.0 - quick.valueForProgress(0.25), 1e-6);
    f.clock.advance(120);
    EXPECT_DOUBLE_EQ(f.tween.value(), 0.0);
}

// A change mid-flight starts from the value drawn then, never from either end.
TEST(Tween, ChangeMidFlightStartsFromTheDrawnValue)
{
    Fixture f;
    f.tween.animateTo(0.0, 180);
    f.clock.advance(48);
    const double drawnThen = f.tween.value();
    f.tween.animateTo(1.0, 180);
    EXPECT_DOUBLE_EQ(f.tween.value(), drawnThen);
    f.clock.advance(16);
    EXPECT_GT(f.tween.value(), drawnThen);
    EXPECT_LT(f.tween.value(), 1.0);
    f.clock.advance(400);
    EXPECT_DOUBLE_EQ(f.tween.value(), 1.0);
}

// Reduced motion, a zero duration and jumps are immediate; non-finite values are ignored; a tween that
// goes away takes its frames with it.
TEST(Tween, ImmediateChangesAndBadInput)
{
    Fixture f;
    f.reduce = true;
    f.tween.animateTo(0.0, 180);
    EXPECT_DOUBLE_EQ(f.tween.value(), 0.0);
    EXPECT_FALSE(f.tween.isRunning());
    f.reduce = false;
    f.tween.animateTo(0.5, 0);
    EXPECT_DOUBLE_EQ(f.tween.value(), 0.5);

    f.tween.animateTo(std::numeric_limits<double>::quiet_NaN(), 180);
    f.tween.animateTo(std::numeric_limits<double>::infinity(), 180);
    f.tween.jumpTo(-std::numeric_limits<double>::infinity());
    EXPECT_DOUBLE_EQ(f.tween.value(), 0.5);

    f.tween.animateTo(1.0, 180);
    f.tween.jumpTo(0.25);
    EXPECT_FALSE(f.tween.isRunning());
    f.clock.advance(300);
    EXPECT_DOUBLE_EQ(f.tween.value(), 0.25);

    Tween nan(f.clock, std::numeric_limits<double>::quiet_NaN());
    EXPECT_TRUE(std::isfinite(nan.value()));

    auto* shortLived = new Tween(f.clock, 0.0);
    shortLived->setReduceMotion([] { return false; });
    shortLived->animateTo(1.0, 180);
    delete shortLived;
    f.clock.advance(300);  // no frame runs against the deleted tween
}
