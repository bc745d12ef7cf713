#include <gtest/gtest.h>

#include <QTest>
#include <memory>

#include "platform/Clock.h"

namespace {

TEST(SystemClock, AfterFiresOnceUnlessCancelledOrItsContextIsGone)
{
    SystemClock clock;
    int fired = 0, cancelledFired = 0, orphanFired = 0;
    QObject context;
    auto doomed = std::make_unique<QObject>();

    TimerHandle handle = clock.after(10, &context, [&] { ++fired; });
    EXPECT_TRUE(handle.isActive());
    TimerHandle cancelled = clock.after(10, &context, [&] { ++cancelledFired; });
    cancelled.cancel();
    clock.after(10, doomed.get(), [&] { ++orphanFired; });
    doomed.reset();
    // Even a zero delay never calls back synchronously.
    int immediate = 0;
    clock.after(0, nullptr, [&] { ++immediate; });
    EXPECT_EQ(immediate, 0);

    ASSERT_TRUE(QTest::qWaitFor([&] { return fired == 1 && immediate == 1; }));
    // The others were due at the same moment as the first, so they would have run by now.
    QCoreApplication::processEvents();
    EXPECT_EQ(std::tuple(fired, cancelledFired, orphanFired), std::tuple(1, 0, 0));
    EXPECT_FALSE(handle.isActive());
}

TEST(MainQueue, NextTurnRunsLaterInOrderAndNotForADestroyedContext)
{
    QStringList order;
    auto doomed = std::make_unique<QObject>();
    MainQueue::nextTurn(nullptr, [&] { order << "a"; });
    MainQueue::nextTurn(doomed.get(), [&] { order << "dropped"; });
    MainQueue::nextTurn(nullptr, [&] { order << "b"; });
    doomed.reset();
    order << "now";
    ASSERT_TRUE(QTest::qWaitFor([&] { return order.size() >= 3; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(order, (QStringList{"now", "a", "b"}));
}

}  // namespace
