#include <gtest/gtest.h>

#include "platform/NotificationCenter.h"

TEST(NotificationCenter, DeliversByNameAndObjectAndStopsWhenTokenGoes)
{
    NotificationCenter center;
    QStringList seen;
    {
        ObserverToken any = center.observe("n", [&](const Notification& n) { seen << n.object; });
        ObserverToken one = center.observe(
            "n", [&](const Notification& n) { seen << "one:" + n.object; }, "A");
        center.post("n", "A");
        center.post("n", "B");
        center.post("other", "A");
    }
    center.post("n", "A");
    EXPECT_EQ(seen, (QStringList{"A", "one:A", "B"}));
    EXPECT_EQ(center.observerCount(), 0);
}

TEST(NotificationCenter, ObserverRemovedDuringDeliveryIsNotCalled)
{
    NotificationCenter center;
    int second = 0;
    ObserverToken b;
    ObserverToken a = center.observe("n", [&](const Notification&) { b.reset(); });
    b = center.observe("n", [&](const Notification&) { ++second; });
    center.post("n");
    EXPECT_EQ(second, 0);
}
