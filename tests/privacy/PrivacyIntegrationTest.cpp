// Keychain and authentication against the real services of a desktop session: gnome-keyring on the
// session bus, the file backend when no Secret Service answers, and PAM under pam_wrapper.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include "keys/KeychainStore.h"
#include "support/TestEnvironment.h"

namespace {

struct ChildRun {
    int exitCode = -1;
    QStringList lines;
    QString errors;
};

// Runs `program` to its end (killed after two minutes), feeding it `input`.
ChildRun runTool(const QString& program, const QStringList& arguments, const QByteArray& input = {},
                 const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    ChildRun run;
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.lines = QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    run.errors = QString::fromUtf8(process.readAllStandardError());
    return run;
}

ChildRun runHelper(const QStringList& arguments,
                   const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    return runTool(TARNWICK_PRIVACY_HELPER, arguments, {}, environment);
}

class PrivacyIntegration : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!tarnwick::test::TestEnvironment::integration())
            GTEST_SKIP() << "needs the desktop session of scripts/desktop-session.sh";
    }
};

}  // namespace

TEST_F(PrivacyIntegration, KeyringKeepsTheLockKeyForTheNextProcess)
{
    EXPECT_EQ(KeychainStore::backendKind(), KeychainBackend::Kind::secretService);

    const ChildRun sealed = runHelper({"seal", "across processes"});
    ASSERT_EQ(sealed.exitCode, 0) << qPrintable(sealed.lines.join('\n') + sealed.errors);
    ASSERT_EQ(sealed.lines.size(), 2);
    EXPECT_EQ(sealed.lines[0], "backend=secretService");
    EXPECT_TRUE(sealed.errors.contains("Minted a new locked-note key (the keyring was empty)."));

    const ChildRun opened = runHelper({"open", sealed.lines[1]});
    ASSERT_EQ(opened.exitCode, 0) << qPrintable(opened.lines.join('\n') + opened.errors);
    EXPECT_EQ(opened.lines.value(1), "across processes");
    EXPECT_FALSE(opened.errors.contains("Minted"));

    // The item is an ordinary keyring item that other tools find by its attributes.
    const ChildRun lookup = runTool("secret-tool", {"lookup", "service", KeychainStore::lockKeyService, "account",
                                                    "primary", "synchronizable", "false"});
    EXPECT_EQ(lookup.exitCode, 0) << qPrintable(lookup.errors);
}

TEST_F(PrivacyIntegration, KeyringReplacesItemsInPlaceAndReadsSynchronizableOnesApart)
{
    const QString service = "com.fennmoor.tarnwick.test";
    ASSERT_EQ(runHelper({"write", service, "endpoint-token", "one"}).exitCode, 0);
    ASSERT_EQ(runHelper({"write", service, "endpoint-token", "two"}).exitCode, 0);
    const ChildRun items = runTool("secret-tool", {"search", "--all", "service", service, "account", "endpoint-token"});
    EXPECT_EQ(items.lines.filter("secret = "), QStringList{"secret = two"});

    // An item from another machine, as a synchronizing tool would place it.
    ASSERT_EQ(runTool("secret-tool",
                      {"store", "--label=other", "service", service, "account", "other-mac", "synchronizable", "true"},
                      "cloud")
                  .exitCode,
              0);
    const ChildRun local = runHelper({"readall", service, "0"});
    EXPECT_EQ(local.lines.mid(1), QStringList{"endpoint-token=two"});
    const ChildRun synced = runHelper({"readall", service, "1"});
    EXPECT_EQ(synced.lines.mid(1), QStringList{"other-mac=cloud"});
}

// The login collection locked, as automatic login leaves it: adding "primary" again reports the item
// and asks nothing; a seal whose unlock prompt is dismissed fails as cancelled, with one prompt, and
// the stored key is the one made before.
TEST_F(PrivacyIntegration, ALockedKeyringWhosePromptIsDismissedFailsAndReplacesNothing)
{
    // The keyring's prompter stays off the accessibility bus, which is off in this session.
    runTool("dbus-update-activation-environment", {"NO_AT_BRIDGE=1"});
    const QStringList keyQuery{"lookup",         "service", KeychainStore::lockKeyService, "account", "primary",
                               "synchronizable", "false"};
    ASSERT_EQ(runHelper({"seal", "made while open"}).exitCode, 0);
    QProcess lookup;
    lookup.start("secret-tool", keyQuery);
    ASSERT_TRUE(lookup.waitForFinished(60000));
    const QByteArray before = lookup.readAllStandardOutput();  // the key's raw bytes
    ASSERT_FALSE(before.isEmpty());
    const QStringList lockLogin{"call",
                                "--session",
                                "--dest",
                                "org.freedesktop.secrets",
                                "--object-path",
                                "/org/freedesktop/secrets",
                                "--method",
                                "org.freedesktop.Secret.Service.Lock",
                                "['/org/freedesktop/secrets/collection/login']"};
    ASSERT_EQ(runTool("gdbus", lockLogin).exitCode, 0);
    auto prompts = [] { return runTool("xdotool", {"search", "--onlyvisible", "--classname", "gcr-prompter"}).lines; };

    const ChildRun added = runHelper({"add", KeychainStore::lockKeyService, "primary", "other bytes"});
    EXPECT_EQ(added.lines.value(1), "error: a keyring item already exists here") << qPrintable(added.errors);
    EXPECT_TRUE(prompts().isEmpty());

    QProcess seal;
    seal.start(TARNWICK_PRIVACY_HELPER, {"seal", "while locked"});
    QStringList shown;
    for (int i = 0; i < 300 && shown.isEmpty(); ++i) {
        QThread::msleep(100);
        shown = prompts();
    }
    ASSERT_EQ(shown.size(), 1) << "no keyring prompt came";
    runTool("xdotool", {"windowactivate", "--sync", shown.first()});
    QThread::msleep(300);
    runTool("xdotool", {"key", "Escape"});
    ASSERT_TRUE(seal.waitForFinished(60000));
    const QString output = QString::fromUtf8(seal.readAllStandardOutput());
    EXPECT_EQ(seal.exitCode(), 1);
    EXPECT_TRUE(output.contains("error: lock key could not be read: Keyring error -128")) << qPrintable(output);
    // The dismissed prompt's window can still be on screen a moment after the call returned: the
    // next prompt is looked for only once it has gone, so the password is not typed into it.
    for (int i = 0; i < 300 && !prompts().isEmpty(); ++i) QThread::msleep(100);
    ASSERT_TRUE(prompts().isEmpty()) << "the dismissed prompt stayed on screen";

    // Unlocked again (the next prompt answered with the session's password): the same key, alone.
    QProcess open;
    open.start("secret-tool", keyQuery);
    for (int i = 0; i < 300 && (shown = prompts()).isEmpty(); ++i) QThread::msleep(100);
    ASSERT_EQ(shown.size(), 1);
    runTool("xdotool", {"windowactivate", "--sync", shown.first()});
    QThread::msleep(300);
    runTool("xdotool", {"type", "--delay", "20", "tarnwick-session"});
    runTool("xdotool", {"key", "Return"});
    ASSERT_TRUE(open.waitForFinished(60000));
    EXPECT_EQ(open.readAllStandardOutput(), before);
    const ChildRun items =
        runTool("secret-tool", {"search", "--all", "service", KeychainStore::lockKeyService, "account", "primary"});
    EXPECT_EQ(items.lines.filter(QRegularExpression("^\\[/")).size(), 1);
}

TEST_F(PrivacyIntegration, FileBackendOnlyWithoutSecretServiceAndOwnerOnly)
{
    QTemporaryDir data;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_DATA_HOME", data.path());
    environment.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + data.filePath("no-bus"));

    const ChildRun sealed = runHelper({"seal", "no keyring here"}, environment);
    ASSERT_EQ(sealed.exitCode, 0) << qPrintable(sealed.lines.join('\n') + sealed.errors);
    EXPECT_EQ(sealed.lines.value(0), "backend=file");
    // Decided once and said once, however many keychain calls follow.
    const QString path = data.filePath("tarnwick/keychain.json");
    EXPECT_EQ(sealed.errors.count("No Secret Service on the session bus: secrets are kept in " + path), 1)
        << qPrintable(sealed.errors);

    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    const ChildRun opened = runHelper({"open", sealed.lines.value(1)}, environment);
    EXPECT_EQ(opened.lines.value(1), "no keyring here");
    // The keyring of this session never saw the key.
    const ChildRun fromKeyring = runHelper({"open", sealed.lines.value(1)});
    EXPECT_EQ(fromKeyring.exitCode, 1);
    EXPECT_EQ(fromKeyring.lines.value(0), "backend=secretService");
}

class PamIntegration : public PrivacyIntegration {
protected:
    void SetUp() override
    {
        PrivacyIntegration::SetUp();
        if (IsSkipped()) return;
        const QString library = QStringLiteral(TARNWICK_PAM_WRAPPER_LIBRARY);
        const QString modules = QStringLiteral(TARNWICK_PAM_WRAPPER_MODULE_DIR);
        if (library.isEmpty() || !QFile::exists(library)) GTEST_SKIP() << "pam_wrapper is not installed";

        writeFile("passdb", runTool("id", {"-un"}).lines.value(0) + ":right horse battery:tarnwick\n");
        writeFile(
            "services/tarnwick",
            QStringLiteral("auth required %1/pam_matrix.so passdb=%2\naccount required %1/pam_matrix.so passdb=%2\n")
                .arg(modules, dir.filePath("passdb")));
        environment = QProcessEnvironment::systemEnvironment();
        environment.insert("LD_PRELOAD", library);
        environment.insert("PAM_WRAPPER", "1");
        environment.insert("PAM_WRAPPER_SERVICE_DIR", dir.filePath("services"));
        // The sanitizer runtime refuses libraries loaded with RTLD_DEEPBIND. Debian's pam_wrapper 1.1.4
        // reads the switch under the name of its sibling uid_wrapper; set both.
        environment.insert("PAM_WRAPPER_DISABLE_DEEPBIND", "1");
        environment.insert("UID_WRAPPER_DISABLE_DEEPBIND", "1");
    }

    ChildRun authenticate(const QStringList& answers)
    {
        return runHelper(QStringList{"pam", "tarnwick"} + answers, environment);
    }

    void writeFile(const QString& name, const QString& text)
    {
        tarnwick::test::writeFile(dir.filePath(name), text.toUtf8());
    }

    QTemporaryDir dir;
    QProcessEnvironment environment;
};

TEST_F(PamIntegration, OutcomesFollowTheAnswersAndAMissingPasswordDatabase)
{
    struct Case {
        QStringList answers;
        QString outcome, problem;
    };
    for (const Case& c :
         {Case{{"right horse battery"}, "outcome=success asks=1 detail=", {}},
          Case{
              {"wrong", "right horse battery"}, "outcome=success asks=2 detail=", "problem=Wrong password. Try again."},
          Case{{"wrong", "also wrong", "still wrong", "right horse battery"}, "outcome=failed asks=3 detail=", {}},
          Case{{"CANCEL"}, "outcome=cancelled asks=1 detail=", {}},
          Case{{"wrong", "CANCEL"}, "outcome=cancelled asks=2 detail=", {}}}) {
        const ChildRun run = authenticate(c.answers);
        EXPECT_EQ(run.lines.value(0), c.outcome) << qPrintable(c.answers.join(',') + run.errors);
        if (!c.problem.isEmpty()) {
            EXPECT_EQ(run.lines.value(2), c.problem);
        }
    }

    QFile::remove(dir.filePath("passdb"));
    const ChildRun unavailable = authenticate({"right horse battery"});
    EXPECT_TRUE(unavailable.lines.value(0).startsWith("outcome=unavailable"))
        << qPrintable(unavailable.lines.join('\n') + unavailable.errors);
}

// A service file that names a module which is not there: nothing is asked, nothing unlocks, and the
// explanation names the file to fix.
TEST_F(PamIntegration, AServiceFileNamingAMissingModuleIsUnavailableAndNamed)
{
    writeFile("services/tarnwick", QStringLiteral("auth required %1/pam_not_installed.so\naccount required "
                                                  "%1/pam_not_installed.so\n")
                                       .arg(QStringLiteral(TARNWICK_PAM_WRAPPER_MODULE_DIR)));
    const ChildRun run = authenticate({"right horse battery"});
    const QString line = run.lines.value(0);
    EXPECT_TRUE(line.startsWith("outcome=unavailable asks=0 detail=")) << qPrintable(line + run.errors);
    EXPECT_TRUE(line.contains("(PAM service file " + dir.filePath("services/tarnwick") + ")")) << qPrintable(line);
}

// Whether the password can be asked is told without asking and without a login attempt: a working
// stack is available; a module file that is there but cannot be loaded, or one that is missing, makes
// it unavailable with the module named.
TEST_F(PamIntegration, AvailabilityChecksTheStackWithoutAsking)
{
    const auto availability = [&] { return runHelper({"pam-availability", "tarnwick"}, environment); };
    ChildRun run = availability();
    EXPECT_EQ(run.lines.value(0), "available=1 reason=") << qPrintable(run.lines.join('\n') + run.errors);

    writeFile("pam_broken.so", "not a shared library");
    writeFile("services/tarnwick", QStringLiteral("auth required %1/pam_matrix.so passdb=%2\nauth required %3\n")
                                       .arg(QStringLiteral(TARNWICK_PAM_WRAPPER_MODULE_DIR), dir.filePath("passdb"),
                                            dir.filePath("pam_broken.so")));
    run = availability();
    EXPECT_TRUE(run.lines.value(0).startsWith("available=0 reason=PAM could not load pam_broken.so"))
        << qPrintable(run.lines.join('\n') + run.errors);

    writeFile("services/tarnwick", "auth required pam_not_installed_anywhere.so\n");
    run = availability();
    EXPECT_TRUE(run.lines.value(0).contains("the module pam_not_installed_anywhere.so is missing"))
        << qPrintable(run.lines.join('\n') + run.errors);
}
