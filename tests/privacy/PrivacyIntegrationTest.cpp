// Keychain and authentication against the real services of a desktop session: gnome-keyring on the
// session bus, the file backend when no Secret Service answers, and PAM under pam_wrapper.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "privacy/KeychainStore.h"
#include "support/TestEnvironment.h"

namespace {

struct ChildRun {
    int exitCode = -1;
    QStringList lines;
    QString errors;
};

ChildRun runHelper(const QStringList& arguments,
                   const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(TARNWICK_PRIVACY_HELPER), arguments);
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

ChildRun runTool(const QString& program, const QStringList& arguments, const QByteArray& input = {})
{
    QProcess process;
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    ChildRun run;
    process.waitForFinished(60000);
    run.exitCode = process.exitCode();
    run.lines = QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    run.errors = QString::fromUtf8(process.readAllStandardError());
    return run;
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

    const ChildRun sealed = runHelper({QStringLiteral("seal"), QStringLiteral("across processes")});
    ASSERT_EQ(sealed.exitCode, 0) << qPrintable(sealed.lines.join('\n') + sealed.errors);
    ASSERT_EQ(sealed.lines.size(), 2);
    EXPECT_EQ(sealed.lines[0], QStringLiteral("backend=secretService"));
    EXPECT_TRUE(sealed.errors.contains(QStringLiteral("Minted a new locked-note key (the keyring was empty).")));

    const ChildRun opened = runHelper({QStringLiteral("open"), sealed.lines[1]});
    ASSERT_EQ(opened.exitCode, 0) << qPrintable(opened.lines.join('\n') + opened.errors);
    EXPECT_EQ(opened.lines.value(1), QStringLiteral("across processes"));
    EXPECT_FALSE(opened.errors.contains(QStringLiteral("Minted")));

    // The item is an ordinary keyring item that other tools find by its attributes.
    const ChildRun lookup = runTool(
        QStringLiteral("secret-tool"),
        {QStringLiteral("lookup"), QStringLiteral("service"), KeychainStore::lockKeyService, QStringLiteral("account"),
         QStringLiteral("primary"), QStringLiteral("synchronizable"), QStringLiteral("false")});
    EXPECT_EQ(lookup.exitCode, 0) << qPrintable(lookup.errors);
}

TEST_F(PrivacyIntegration, KeyringReplacesItemsInPlaceAndReadsSynchronizableOnesApart)
{
    const QString service = QStringLiteral("com.fennmoor.tarnwick.test");
    ASSERT_EQ(
        runHelper({QStringLiteral("write"), service, QStringLiteral("endpoint-token"), QStringLiteral("one")}).exitCode,
        0);
    ASSERT_EQ(
        runHelper({QStringLiteral("write"), service, QStringLiteral("endpoint-token"), QStringLiteral("two")}).exitCode,
        0);
    const ChildRun items = runTool(QStringLiteral("secret-tool"),
                                   {QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("service"),
                                    service, QStringLiteral("account"), QStringLiteral("endpoint-token")});
    EXPECT_EQ(items.lines.filter(QStringLiteral("secret = ")), QStringList{QStringLiteral("secret = two")});

    // An item from another machine, as a synchronizing tool would place it.
    ASSERT_EQ(runTool(QStringLiteral("secret-tool"),
                      {QStringLiteral("store"), QStringLiteral("--label=other"), QStringLiteral("service"), service,
                       QStringLiteral("account"), QStringLiteral("other-mac"), QStringLiteral("synchronizable"),
                       QStringLiteral("true")},
                      "cloud")
                  .exitCode,
              0);
    const ChildRun local = runHelper({QStringLiteral("readall"), service, QStringLiteral("0")});
    EXPECT_EQ(local.lines.mid(1), QStringList{QStringLiteral("endpoint-token=two")});
    const ChildRun synced = runHelper({QStringLiteral("readall"), service, QStringLiteral("1")});
    EXPECT_EQ(synced.lines.mid(1), QStringList{QStringLiteral("other-mac=cloud")});
}

TEST_F(PrivacyIntegration, FileBackendOnlyWithoutSecretServiceAndOwnerOnly)
{
    QTemporaryDir data;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"), data.path());
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                       QStringLiteral("unix:path=") + data.filePath(QStringLiteral("no-bus")));

    const ChildRun sealed = runHelper({QStringLiteral("seal"), QStringLiteral("no keyring here")}, environment);
    ASSERT_EQ(sealed.exitCode, 0) << qPrintable(sealed.lines.join('\n') + sealed.errors);
    EXPECT_EQ(sealed.lines.value(0), QStringLiteral("backend=file"));
    // Decided once and said once, however many keychain calls follow.
    const QString path = data.filePath(QStringLiteral("tarnwick/keychain.json"));
    EXPECT_EQ(
        sealed.errors.count(QStringLiteral("No Secret Service on the session bus: keychain items are kept in ") + path),
        1)
        << qPrintable(sealed.errors);

    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    const ChildRun opened = runHelper({QStringLiteral("open"), sealed.lines.value(1)}, environment);
    EXPECT_EQ(opened.lines.value(1), QStringLiteral("no keyring here"));
    // The keyring of this session never saw the key.
    const ChildRun fromKeyring = runHelper({QStringLiteral("open"), sealed.lines.value(1)});
    EXPECT_EQ(fromKeyring.exitCode, 1);
    EXPECT_EQ(fromKeyring.lines.value(0), QStringLiteral("backend=secretService"));
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

        const QString user = currentUser();
        writeFile(QStringLiteral("passdb"), user + QStringLiteral(":right horse battery:tarnwick\n"));
        writeFile(
            QStringLiteral("services/tarnwick"),
            QStringLiteral("auth required %1/pam_matrix.so passdb=%2\naccount required %1/pam_matrix.so passdb=%2\n")
                .arg(modules, dir.filePath(QStringLiteral("passdb"))));
        environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("LD_PRELOAD"), library);
        environment.insert(QStringLiteral("PAM_WRAPPER"), QStringLiteral("1"));
        environment.insert(QStringLiteral("PAM_WRAPPER_SERVICE_DIR"), dir.filePath(QStringLiteral("services")));
        // The sanitizer runtime refuses libraries loaded with RTLD_DEEPBIND. Debian's pam_wrapper 1.1.4
        // reads the switch under the name of its sibling uid_wrapper; set both.
        environment.insert(QStringLiteral("PAM_WRAPPER_DISABLE_DEEPBIND"), QStringLiteral("1"));
        environment.insert(QStringLiteral("UID_WRAPPER_DISABLE_DEEPBIND"), QStringLiteral("1"));
    }

    ChildRun authenticate(const QStringList& answers, const QString& service = QStringLiteral("tarnwick"))
    {
        return runHelper(QStringList{QStringLiteral("pam"), service} + answers, environment);
    }

    static QString currentUser()
    {
        const ChildRun id = runTool(QStringLiteral("id"), {QStringLiteral("-un")});
        return id.lines.value(0);
    }

    void writeFile(const QString& name, const QString& text)
    {
        QDir().mkpath(QFileInfo(dir.filePath(name)).absolutePath());
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text.toUtf8());
    }

    QTemporaryDir dir;
    QProcessEnvironment environment;
};

TEST_F(PamIntegration, RightPasswordSucceeds)
{
    const ChildRun run = authenticate({QStringLiteral("right horse battery")});
    EXPECT_EQ(run.lines.value(0), QStringLiteral("outcome=success asks=1 detail=")) << qPrintable(run.errors);
}

TEST_F(PamIntegration, WrongPasswordIsAskedAgainThenFails)
{
    const ChildRun recovered = authenticate({QStringLiteral("wrong"), QStringLiteral("right horse battery")});
    EXPECT_EQ(recovered.lines.value(0), QStringLiteral("outcome=success asks=2 detail="))
        << qPrintable(recovered.errors);
    EXPECT_EQ(recovered.lines.value(2), QStringLiteral("problem=Wrong password. Try again."));

    const ChildRun failed = authenticate({QStringLiteral("wrong"), QStringLiteral("also wrong"),
                                          QStringLiteral("still wrong"), QStringLiteral("right horse battery")});
    EXPECT_EQ(failed.lines.value(0), QStringLiteral("outcome=failed asks=3 detail=")) << qPrintable(failed.errors);
}

TEST_F(PamIntegration, CancelAndMissingPasswordDatabase)
{
    const ChildRun cancelled = authenticate({QStringLiteral("CANCEL")});
    EXPECT_EQ(cancelled.lines.value(0), QStringLiteral("outcome=cancelled asks=1 detail="))
        << qPrintable(cancelled.errors);
    const ChildRun afterWrong = authenticate({QStringLiteral("wrong"), QStringLiteral("CANCEL")});
    EXPECT_EQ(afterWrong.lines.value(0), QStringLiteral("outcome=cancelled asks=2 detail="));

    QFile::remove(dir.filePath(QStringLiteral("passdb")));
    const ChildRun unavailable = authenticate({QStringLiteral("right horse battery")});
    EXPECT_TRUE(unavailable.lines.value(0).startsWith(QStringLiteral("outcome=unavailable")))
        << qPrintable(unavailable.lines.join('\n') + unavailable.errors);
}
