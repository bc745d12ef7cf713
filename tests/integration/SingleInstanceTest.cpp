// The built application, run as a user would: one instance per session, a second launch hands over.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QProcess>
#include <QTest>

#include "platform/ApplicationId.h"
#include "support/TestEnvironment.h"

namespace {

const QString kBusName = ApplicationId::name();

uint busNameOwnerPid()
{
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    if (!bus->isServiceRegistered(kBusName)) return 0;
    const QDBusReply<uint> pid = bus->servicePid(kBusName);
    return pid.isValid() ? pid.value() : 0;
}

TEST(SingleInstance, SecondLaunchHandsOverToTheFirstWhichKeepsRunningUntilTerminated)
{
    if (!tarnwick::test::TestEnvironment::integration()) GTEST_SKIP() << "needs the desktop session";
    ASSERT_EQ(busNameOwnerPid(), 0u);

    QProcess first;
    first.setProcessChannelMode(QProcess::SeparateChannels);
    // The hand-over is an informational line: asked for.
    first.start(QStringLiteral(TARNWICK_EXECUTABLE), {QStringLiteral("--verbose")});
    ASSERT_TRUE(first.waitForStarted());
    ASSERT_TRUE(QTest::qWaitFor([&] { return busNameOwnerPid() == uint(first.processId()); }, 30000))
        << first.readAllStandardError().toStdString();

    QProcess second;
    second.start(QStringLiteral(TARNWICK_EXECUTABLE), {});
    ASSERT_TRUE(second.waitForFinished(30000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
    EXPECT_TRUE(second.readAllStandardOutput().contains("already running"));

    // The first heard the hand-over and is still the owner.
    QByteArray firstLog;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            firstLog += first.readAllStandardError();
            return firstLog.contains("Activation requested by another launch");
        },
        10000))
        << firstLog.toStdString();
    EXPECT_EQ(first.state(), QProcess::Running);
    EXPECT_EQ(busNameOwnerPid(), uint(first.processId()));

    // Startup ids no launcher makes (huge, or with control characters) are dropped, not sent on to
    // the X server piecemeal: the first keeps running and still ends in order.
    for (const QString& id : {QString(20'000'000, u'a'), QStringLiteral("id\n_TIME1")}) {
        QDBusMessage call = QDBusMessage::createMethodCall(kBusName, ApplicationId::objectPath(), kBusName,
                                                           QStringLiteral("ActivateWithStartupId"));
        call << id;
        const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 20000);
        EXPECT_NE(reply.type(), QDBusMessage::ErrorMessage) << reply.errorMessage().toStdString();
    }
    QTest::qWait(500);
    EXPECT_EQ(first.state(), QProcess::Running);
    EXPECT_EQ(busNameOwnerPid(), uint(first.processId()));

    // SIGTERM ends it in order, and it gives its name back.
    first.terminate();
    ASSERT_TRUE(first.waitForFinished(30000));
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0);
    EXPECT_TRUE(QTest::qWaitFor([] { return busNameOwnerPid() == 0; }, 10000));
}

}  // namespace
