// The built application, launched as a user would: what it leaves in the data folder.
#include <gtest/gtest.h>
#include <signal.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <functional>

#include "platform/StoreTestSupport.h"
#include "support/TestEnvironment.h"

namespace {

class StoreLaunchTest : public ::testing::Test {
protected:
    QString dataHome() const { return root.filePath("data"); }
    QString storeFile(const QString& name) const { return dataHome() + "/tarnwick/" + name; }

    // Starts the application on the offscreen platform, with no session bus and fresh home folders,
    // waits until `ready` holds, then ends it with SIGTERM as a logout would. Returns its stderr.
    QString runUntil(const std::function<bool(const QString& stderrText)>& ready)
    {
        for (const char* dir : {"data", "config", "home", "runtime"}) QDir().mkpath(root.filePath(QLatin1String(dir)));
        QFile::setPermissions(root.filePath("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "DBUS_SESSION_BUS_ADDRESS"})
            env.remove(QLatin1String(name));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + root.filePath("no-bus"));
        env.insert("XDG_DATA_HOME", dataHome());
        env.insert("XDG_CONFIG_HOME", root.filePath("config"));
        tarnwick::test::TestEnvironment::writeOfflineSettings(root.filePath("config"));
        env.insert("HOME", root.filePath("home"));
        env.insert("XDG_RUNTIME_DIR", root.filePath("runtime"));
        // The line that marks a finished launch is an informational one: asked for.
        env.insert("TARNWICK_LOG", "info");

        QProcess app;
        app.setProcessEnvironment(env);
        app.start(QStringLiteral(TARNWICK_EXECUTABLE), {});
        EXPECT_TRUE(app.waitForStarted());
        QString stderrText;
        QElapsedTimer waited;
        waited.start();
        while (app.state() == QProcess::Running && waited.elapsed() < 60000) {
            app.waitForReadyRead(100);
            stderrText += QString::fromUtf8(app.readAllStandardError());
            if (ready(stderrText)) break;
        }
        EXPECT_EQ(app.state(), QProcess::Running) << "the application ended on its own:\n" << stderrText.toStdString();
        ::kill(pid_t(app.processId()), SIGTERM);
        EXPECT_TRUE(app.waitForFinished(30000));
        stderrText += QString::fromUtf8(app.readAllStandardError());
        EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(app.exitCode(), 0) << stderrText.toStdString();
        return stderrText;
    }

    QTemporaryDir root;
};

// The tray is set up after the store is open and tidied, so its line marks a finished launch.
bool launched(const QString& text)
{
    return text.contains("No system tray is available yet");
}

// The black-box check of a first launch: the real executable leaves the store with the five entity
// tables and the recorded schema fingerprint.
TEST_F(StoreLaunchTest, FirstLaunchCreatesTheStoreAndRecordsTheSchema)
{
    const QString log = runUntil(launched);
    EXPECT_TRUE(launched(log)) << log.toStdString();
    EXPECT_EQ(tarnwick::test::readFile(storeFile("TarnwickSnapshots/schema-fingerprint")).size(), 64);
    QStringList tables =
        storetest::query(storeFile("default.store"), "SELECT name FROM sqlite_master WHERE type = 'table'");
    tables.sort();
    EXPECT_EQ(tables, (QStringList{"Capture", "Note", "NoteImage", "NoteTheme", "Wallpaper"}));
    EXPECT_FALSE(log.contains("in-memory")) << log.toStdString();
}

TEST_F(StoreLaunchTest, AStoreThatIsNotADatabaseIsLeftAsItIsAndTheAppRunsInMemory)
{
    QByteArray junk;
    for (int i = 0; i < 300; ++i) junk += "this is not a database " + QByteArray::number(i) + '\n';
    tarnwick::test::writeFile(storeFile("default.store"), junk);
    const QString log = runUntil(launched);
    EXPECT_TRUE(log.contains("falling back to in-memory for this session")) << log.toStdString();
    EXPECT_TRUE(launched(log)) << "the launch carries on after the fallback";
    EXPECT_EQ(tarnwick::test::readFile(storeFile("default.store")), junk);
}

}  // namespace
