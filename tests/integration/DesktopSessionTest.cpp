// The desktop session the integration tests run in: a real X server with a window manager that
// honours "stay on top", a notification daemon on the session bus, and accessibility on or off as the
// session was asked.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include "design/KeyablePanel.h"

#include "support/DesktopDriver.h"
#include "support/TestEnvironment.h"

namespace {

using tarnwick::test::run;

// Client windows bottom to top, as the window manager stacks them.
QList<WId> stacking()
{
    const QString out = run("xprop", {"-root", "_NET_CLIENT_LIST_STACKING"});
    QList<WId> ids;
    const qsizetype hash = out.indexOf(u'#');
    if (hash < 0) return ids;
    for (const QString& part : out.mid(hash + 1).split(u',', Qt::SkipEmptyParts)) {
        bool ok = false;
        const WId id = part.trimmed().toULongLong(&ok, 16);
        if (ok) ids << id;
    }
    return ids;
}

bool viewable(WId id)
{
    return run("xwininfo", {"-id", QString::number(id)}).contains("IsViewable");
}

class DesktopSession : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!tarnwick::test::TestEnvironment::integration()) GTEST_SKIP() << "needs the desktop session";
    }
};

TEST_F(DesktopSession, FloatingToolWindowStaysAboveANormalWindowThatIsRaised)
{
    QWidget floating(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    floating.setGeometry(100, 100, 200, 150);
    floating.show();
    QWidget normal;
    normal.setGeometry(50, 50, 400, 300);
    normal.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&floating));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&normal));
    normal.raise();
    normal.activateWindow();

    const WId top = floating.winId(), plain = normal.winId();
    auto floatingAbove = [&] {
        const QList<WId> order = stacking();
        return order.contains(plain) && order.contains(top) && order.indexOf(top) > order.indexOf(plain);
    };
    EXPECT_TRUE(QTest::qWaitFor(floatingAbove, 10000))
        << "stacking: " << run("xprop", {"-root", "_NET_CLIENT_LIST_STACKING"}).toStdString();
    EXPECT_TRUE(viewable(top));
    EXPECT_TRUE(viewable(plain));
    // The window manager saw the wish to stay on top.
    EXPECT_TRUE(run("xprop", {"-id", QString::number(top), "_NET_WM_STATE"}).contains("_NET_WM_STATE_ABOVE"));
}

TEST_F(DesktopSession, KeyablePanelShownOverAnotherWindowTakesTyping)
{
    QWidget other;
    other.setGeometry(0, 0, 500, 400);
    other.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&other));
    other.activateWindow();

    KeyablePanel panel;
    auto* field = new QLineEdit(&panel);
    (new QVBoxLayout(&panel))->addWidget(field);
    panel.setGeometry(120, 120, 300, 60);
    panel.showAndFocus();
    field->setFocus();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    ASSERT_TRUE(QTest::qWaitFor([&] { return panel.isActiveWindow(); }, 10000));

    // Real key events from the X server, sent to whichever window has the input focus.
    run("xdotool", {"type", "--delay", "20", "shelf"});
    EXPECT_TRUE(QTest::qWaitFor([&] { return field->text() == "shelf"; }, 10000)) << field->text().toStdString();
}

TEST_F(DesktopSession, NotificationDaemonAcceptsANotification)
{
    QDBusInterface notifications("org.freedesktop.Notifications", "/org/freedesktop/Notifications",
                                 "org.freedesktop.Notifications");
    ASSERT_TRUE(notifications.isValid()) << notifications.lastError().message().toStdString();

    const QDBusMessage info = notifications.call("GetServerInformation");
    ASSERT_EQ(info.type(), QDBusMessage::ReplyMessage) << info.errorMessage().toStdString();
    ASSERT_EQ(info.arguments().size(), 4);
    EXPECT_FALSE(info.arguments().at(0).toString().isEmpty());

    const QDBusReply<uint> id = notifications.call("Notify", "tarnwick", 0u, QString(), "Reminder",
                                                   "A note wants your attention", QStringList(), QVariantMap(), 5000);
    ASSERT_TRUE(id.isValid()) << id.error().message().toStdString();
    EXPECT_GT(id.value(), 0u);
}

// An application in the session is on the accessibility bus exactly when the session has accessibility on;
// with it off, the bus is not even running, as nothing in the session may start it. Run in both kinds of
// session (tests/integration/CMakeLists.txt).
TEST_F(DesktopSession, AnApplicationServesTheAccessibilityBusOnlyWhenTheSessionHasItOn)
{
    const QString mode = qEnvironmentVariable("TARNWICK_SESSION_ACCESSIBILITY");
    ASSERT_TRUE(mode == "on" || mode == "off") << "the session's accessibility: '" << mode.toStdString() << "'";
    EXPECT_FALSE(qEnvironmentVariableIsSet("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"));
    const bool busRuns = QDBusConnection::sessionBus().interface()->isServiceRegistered("org.a11y.Bus");
    if (mode == "off") {
        EXPECT_FALSE(busRuns);
        EXPECT_FALSE(QAccessible::isActive());
        return;
    }
    ASSERT_TRUE(busRuns);
    QDBusInterface status("org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties");
    const QDBusReply<QVariant> enabled = status.call("Get", "org.a11y.Status", "IsEnabled");
    ASSERT_TRUE(enabled.isValid()) << enabled.error().message().toStdString();
    EXPECT_TRUE(enabled.value().toBool());
    EXPECT_TRUE(QTest::qWaitFor([] { return QAccessible::isActive(); }, 20000));
}

// Run only by the test below, in a child process of this executable.
TEST(HeldKeyCheckChild, DISABLED_LeavesShiftDown)
{
    run("xdotool", {"keydown", "shift"});
}
TEST(HeldKeyCheckChild, DISABLED_LeavesNothingDown) {}

// A test that leaves a key down is reported FAILED by the framework itself, and one whose held-key check
// cannot run fails too rather than passing unchecked.
TEST_F(DesktopSession, TheHeldKeyCheckFailsTheTestThatLeftAKeyDownOrCouldNotBeChecked)
{
    const auto child = [](const QString& test, const QString& sourceDir) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TARNWICK_SOURCE_DIR", sourceDir);
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QCoreApplication::applicationFilePath(),
                      {"--gtest_also_run_disabled_tests", "--gtest_filter=HeldKeyCheckChild.DISABLED_" + test});
        process.waitForFinished(60000);
        return QString::fromUtf8(process.readAll());
    };
    const QString source = qEnvironmentVariable("TARNWICK_SOURCE_DIR");
    const QString held = child("LeavesShiftDown", source);
    run("xdotool", {"keyup", "shift"});
    EXPECT_TRUE(held.contains(QRegularExpression("Left held down when the test ended: \\d+ Shift_L")))
        << held.toStdString();
    EXPECT_TRUE(held.contains("[  FAILED  ] HeldKeyCheckChild.DISABLED_LeavesShiftDown (")) << held.toStdString();
    EXPECT_FALSE(held.contains("[       OK ]")) << held.toStdString();

    EXPECT_TRUE(
        child("LeavesNothingDown", source).contains("[       OK ] HeldKeyCheckChild.DISABLED_LeavesNothingDown"));
    const QString unchecked = child("LeavesNothingDown", source + "/no-such-folder");
    EXPECT_TRUE(unchecked.contains("The held-key check cannot run")) << unchecked.toStdString();
    EXPECT_TRUE(unchecked.contains("[  FAILED  ] HeldKeyCheckChild.DISABLED_LeavesNothingDown ("))
        << unchecked.toStdString();
}

}  // namespace
