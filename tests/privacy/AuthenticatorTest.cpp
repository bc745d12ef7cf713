#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "platform/PamAuthenticator.h"
#include "support/FakeAuthenticator.h"
#include "support/TestEnvironment.h"

using tarnwick::test::FakeAuthenticator;

// Only the password can be asked here, so the texts are those of a machine without biometrics.
TEST(Authenticator, CapabilityTextsFollowAvailability)
{
    FakeAuthenticator authenticator;
    EXPECT_EQ(authenticator.capabilityDescription(), "Available (password)");
    EXPECT_FALSE(authenticator.hasBiometrics());
    authenticator.available = {false, "PAM could not start"};
    EXPECT_EQ(authenticator.capabilityDescription(), "Not available on this computer");
}

// Our own PAM service when a directory holds its file, named for messages; the login stack otherwise.
TEST(PamAuthenticator, ChoosesItsOwnServiceWhenConfigured)
{
    QTemporaryDir first, second;
    const QStringList dirs{first.path(), second.path()};
    tarnwick::test::writeFile(second.filePath("login"), "auth required pam_unix.so\n");
    PamAuthenticator::Service chosen = PamAuthenticator::defaultService(dirs);
    EXPECT_EQ(chosen.name, "login");
    EXPECT_EQ(chosen.file, second.filePath("login"));

    // A folder of that name is not a service file.
    ASSERT_TRUE(QDir(first.path()).mkdir("tarnwick"));
    EXPECT_EQ(PamAuthenticator::defaultService(dirs).name, "login");
    tarnwick::test::writeFile(second.filePath("tarnwick"), "@include common-auth\n");
    chosen = PamAuthenticator::defaultService(dirs);
    EXPECT_EQ(chosen.name, "tarnwick");
    EXPECT_EQ(chosen.file, second.filePath("tarnwick"));
    EXPECT_EQ(PamAuthenticator::defaultService({first.path()}).file, "");
}
