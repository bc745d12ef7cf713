#include <gtest/gtest.h>

#include "platform/NotificationCenter.h"

TEST(NotificationCenter, DeliversByNameAndObjectAndStopsWhenTokenGoes)
{
    NotificationCenter center;
    QStringList seen;
    {
        ObserverToken any = center.observe(QStringLiteral("n"), [&](const Notification& n) { seen << n.object; });
        ObserverToken one = center.observe(
            QStringLiteral("n"), [&](const Notification& n) { seen << QStringLiteral("one:") + n.object; },
            QStringLiteral("A"));
        center.post(QStringLiteral("n"), QStringLiteral("A"));
        center.post(QStringLiteral("n"), QStringLiteral("B"));
        center.post(QStringLiteral("other"), QStringLiteral("A"));
    }
    center.post(QStringLiteral("n"), QStringLiteral("A"));
    EXPECT_EQ(seen, (QStringList{QStringLiteral("A"), QStringLiteral("one:A"), QStringLiteral("B")}));
    EXPECT_EQ(center.observerCount(), 0);
}

TEST(NotificationCenter, ObserverRemovedDuringDeliveryIsNotCalled)
{
    NotificationCenter center;
    int second = 0;
    ObserverToken b;
    ObserverToken a = center.observe(QStringLiteral("n"), [&](const Notification&) { b.reset(); });
    b = center.observe(QStringLiteral("n"), [&](const Notification&) { ++second; });
    center.post(QStringLiteral("n"));
    EXPECT_EQ(second, 0);
}
