#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include "platform/LoginItem.h"
#include "support/TestEnvironment.h"

using tarnwick::test::LogCapture;
using tarnwick::test::TestEnvironment;

namespace {

QString readAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll());
}

class LoginItemTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        const QString dir = TestEnvironment::configHome() + "/autostart";
        QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QDir(dir).removeRecursively();
    }
};

TEST_F(LoginItemTest, TurningOnWritesAnAutostartEntryForThisProgramAndOffRemovesIt)
{
    EXPECT_EQ(LoginItem::entryPath(), TestEnvironment::configHome() + "/autostart/com.fennmoor.Tarnwick.desktop");
    EXPECT_FALSE(LoginItem::isEnabled());
    ASSERT_EQ(LoginItem::set(true), std::nullopt);
    EXPECT_TRUE(LoginItem::isEnabled());
    const QString text = readAll(LoginItem::entryPath());
    EXPECT_TRUE(text.startsWith("[Desktop Entry]\n"));
    EXPECT_TRUE(text.contains("\nType=Application\n"));
    const QString program = QFileInfo(QCoreApplication::applicationFilePath()).absoluteFilePath();
    EXPECT_TRUE(text.contains("\nExec=\"" + program + "\"\n")) << text.toStdString();

    // Turning it on twice is harmless; off removes it; off again is still a success.
    EXPECT_EQ(LoginItem::set(true), std::nullopt);
    EXPECT_EQ(LoginItem::set(false), std::nullopt);
    EXPECT_FALSE(QFile::exists(LoginItem::entryPath()));
    EXPECT_FALSE(LoginItem::isEnabled());
    EXPECT_EQ(LoginItem::set(false), std::nullopt);
}

TEST_F(LoginItemTest, ExecLineQuotesPathsWithSpecialCharacters)
{
    const QString entry = QString::fromUtf8(LoginItem::desktopEntry("/opt/My Apps/100%/a\"b$c\\d"));
    // Quoted; '"', '$' and '\' escaped inside the quotes, '%' doubled, then backslashes doubled once
    // more by the file's own string escaping.
    EXPECT_TRUE(entry.contains("\nExec=\"/opt/My Apps/100%%/a\\\\\"b\\\\$c\\\\\\\\d\"\n")) << entry.toStdString();
}

TEST_F(LoginItemTest, UnwritableAutostartFolderGivesTheFailureMessagesAndLogs)
{
    if (geteuid() == 0) {
        // root ignores permission bits: make the entry's path a directory instead, which no one can
        // replace with a file or remove as one.
        QDir().mkpath(LoginItem::entryPath() + "/occupied");
    } else {
        const QString dir = TestEnvironment::configHome() + "/autostart";
        QDir().mkpath(dir);
        QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    }
    LogCapture log;
    EXPECT_EQ(LoginItem::set(true), "Launching at login could not be turned on.");
    EXPECT_EQ(log.lines("app").filter("Login-item change failed: ").size(), 1);
    EXPECT_EQ(LoginItem::set(false), "Launching at login could not be turned off.");
    EXPECT_EQ(log.count("Login-item change failed: "), 2);
}

}  // namespace
