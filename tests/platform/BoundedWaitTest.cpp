#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <thread>

#include "platform/BoundedWait.h"

namespace {

TEST(BoundedWait, AnswersInTimeOrLeavesTheWorkBehind)
{
    EXPECT_EQ(runWithin<int>(QDeadlineTimer(5000), [] { return 7; }), 7);

    // Work that does not end (a peer that never answers) is left behind at the deadline.
    QElapsedTimer elapsed;
    elapsed.start();
    const auto late = runWithin<int>(QDeadlineTimer(50), [] {
        std::this_thread::sleep_for(std::chrono::seconds(3));
        return 1;
    });
    EXPECT_EQ(late, std::nullopt);
    EXPECT_LT(elapsed.elapsed(), 2500) << "waited for the work past its deadline";
}

}  // namespace
