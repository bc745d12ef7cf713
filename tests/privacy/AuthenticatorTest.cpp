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

// The password stack read as PAM reads it, without asking anything: includes (both kinds) followed,
// bracketed controls and optional modules understood, and the first thing that keeps it from working
// named: a missing module, a missing include, a missing file, a stack that checks nothing.
TEST(PamAuthenticator, TheAuthStackIsReadFromItsFilesAndItsFaultsNamed)
{
    QTemporaryDir dir;
    const QString modules = dir.filePath("security");
    ASSERT_TRUE(QDir().mkpath(modules));
    for (const char* name : {"pam_unix.so", "pam_deny.so", "pam_permit.so"})
        tarnwick::test::writeFile(modules + '/' + name, "module");
    tarnwick::test::writeFile(dir.filePath("common-auth"),
                              "# the usual stack\n"
                              "auth [success=1 default=ignore] pam_unix.so nullok\n"
                              "-auth optional pam_not_installed.so\n"
                              "auth requisite pam_deny.so\n"
                              "account required pam_missing_but_not_auth.so\n");
    tarnwick::test::writeFile(dir.filePath("tarnwick"), "@include common-auth\nauth optional " + modules.toUtf8() +
                                                            "/pam_permit.so\nsession include nowhere\n");
    auto stack = PamAuthenticator::readAuthStack(dir.filePath("tarnwick"), {dir.filePath("elsewhere"), modules});
    EXPECT_TRUE(stack.problem.isEmpty()) << stack.problem.toStdString();
    EXPECT_EQ(stack.modules,
              (QStringList{modules + "/pam_unix.so", modules + "/pam_deny.so", modules + "/pam_permit.so"}));

    tarnwick::test::writeFile(dir.filePath("broken"), "auth substack common-auth\nauth required pam_gone.so\n");
    stack = PamAuthenticator::readAuthStack(dir.filePath("broken"), {modules});
    EXPECT_EQ(stack.problem, "the module pam_gone.so is missing");
    EXPECT_TRUE(stack.modules.isEmpty());

    tarnwick::test::writeFile(dir.filePath("dangling"), "auth include common-gone\n");
    stack = PamAuthenticator::readAuthStack(dir.filePath("dangling"), {modules});
    EXPECT_EQ(stack.problem, dir.filePath("common-gone") + " cannot be read");
    EXPECT_EQ(PamAuthenticator::readAuthStack(dir.filePath("absent"), {modules}).problem,
              dir.filePath("absent") + " cannot be read");
    tarnwick::test::writeFile(dir.filePath("empty"), "account required pam_unix.so\n");
    EXPECT_EQ(PamAuthenticator::readAuthStack(dir.filePath("empty"), {modules}).problem, "it checks no password");
}
