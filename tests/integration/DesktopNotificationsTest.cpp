// Notifications reach the session's notification daemon, and its answers come back.
#include <gtest/gtest.h>

#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include "platform/DBusDesktopNotifications.h"
#include "support/TestEnvironment.h"

namespace {

TEST(DesktopNotifications, TheDaemonShowsAndAnswers)
{
    if (!tarnwick::test::TestEnvironment::integration()) GTEST_SKIP() << "needs the desktop session";
    DBusDesktopNotifications notifications;
    ASSERT_TRUE(notifications.isAvailable());

    std::optional<Result<quint32, QString>> result;
    QSignalSpy invoked(&notifications, &DesktopNotifications::actionInvoked);
    QSignalSpy closed(&notifications, &DesktopNotifications::closed);
    notifications.show("Call back", "Rent <b>&</b> deposit",
                       [&](const Result<quint32, QString>& shown) { result = shown; });
    for (int i = 0; i < 100 && !result; ++i) QTest::qWait(50);
    ASSERT_TRUE(result.has_value());
    ASSERT_TRUE(result->ok()) << result->error().toStdString();
    const quint32 id = **result;

    // Activating the notification in the daemon comes back as its "default" action.
    QProcess::execute("dunstctl", {"action", "0"});
    ASSERT_TRUE(invoked.wait(5000));
    EXPECT_EQ(invoked[0][0].value<quint32>(), id);
    EXPECT_EQ(invoked[0][1].toString(), "default");
    QProcess::execute("dunstctl", {"close"});
    ASSERT_TRUE(closed.wait(5000));
    EXPECT_EQ(closed.last()[0].value<quint32>(), id);
}

}  // namespace
