#include <gtest/gtest.h>
#include <signal.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>

#include "platform/Settings.h"
#include "support/TestEnvironment.h"

namespace {

const char* const kWriterPathVariable = "TARNWICK_SETTINGS_WRITER_PATH";

// Run as a child process by the test below: rewrites the settings file as fast as it can, printing a
// dot after each write, until it is killed.
TEST(SettingsDurability, WriterChild)
{
    const QString path = qEnvironmentVariable(kWriterPathVariable);
    if (path.isEmpty()) GTEST_SKIP() << "only runs as the writer child";
    Settings settings(std::make_unique<FileSettingsBackend>(path));
    const QString filler(4096, u'x');
    for (qint64 i = 0;; ++i) {
        // One value per write, so every complete file holds a whole filler and its number.
        settings.setValue("filler", filler + QString::number(i));
        fputc('.', stdout);
        fflush(stdout);
    }
}

TEST(SettingsDurability, FileAlwaysParsesAfterTheWriterIsKilledMidWrite)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("tarnwick/settings.json");
    qint64 lastCounter = -1;
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE(round);
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QString::fromLatin1(kWriterPathVariable), path);
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=SettingsDurability.WriterChild"});
        ASSERT_TRUE(child.waitForStarted());
        // Let it write a varying number of times, then kill it without warning.
        qint64 dots = 0;
        while (dots < 20 + round * 37 && child.waitForReadyRead(30000))
            dots += child.readAllStandardOutput().count('.');
        ASSERT_GT(dots, 0);
        ::kill(pid_t(child.processId()), SIGKILL);
        child.waitForFinished();

        QJsonParseError error{};
        QJsonDocument::fromJson(tarnwick::test::readFile(path), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError);
        Settings reread(std::make_unique<FileSettingsBackend>(path));
        const QString value = reread.stringValue("filler");
        bool whole = false;
        const qint64 counter = value.mid(4096).toLongLong(&whole);
        EXPECT_TRUE(whole && value.startsWith(QString(4096, u'x'))) << value.size();
        EXPECT_GE(counter, 0);
        lastCounter = counter;
    }
    // Nothing was ever found unreadable and moved aside.
    EXPECT_TRUE(QDir(dir.filePath("tarnwick")).entryList({"*.corrupt-*"}).isEmpty());
    EXPECT_GE(lastCounter, 0);
}

TEST(SettingsDurability, LeftoverTemporaryFileFromACrashIsHarmless)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("settings.json");
    {
        Settings s(std::make_unique<FileSettingsBackend>(path));
        s.setValue("kept", true);
    }
    // What an interrupted atomic write leaves behind: a half-written sibling.
    tarnwick::test::writeFile(path + ".Ab12Cd", "{ \"kept\": { \"type\": \"bo");
    Settings s(std::make_unique<FileSettingsBackend>(path));
    EXPECT_TRUE(s.boolValue("kept"));
    s.setValue("more", 1);
    EXPECT_TRUE(s.lastWriteSucceeded());
    Settings again(std::make_unique<FileSettingsBackend>(path));
    EXPECT_EQ(again.intValue("more"), 1);
}

// A write killed between making its temporary file and the swap leaves that file for good: the next
// launch removes it when it is old enough not to be another write under way, beside the file a link
// leads to too. Nothing else is touched: the user's own files of like names, a folder or a link of our
// pattern, a fresh one.
TEST(SettingsDurability, StaleTemporaryFilesOfOursAreRemovedAtLaunch)
{
    QTemporaryDir dir;
    const QString real = dir.filePath("dot/tarnwick.json");
    const QString path = dir.filePath("tarnwick/settings.json");
    ASSERT_TRUE(QDir(dir.path()).mkpath("dot"));
    ASSERT_TRUE(QDir(dir.path()).mkpath("tarnwick"));
    ASSERT_TRUE(QFile::link(real, path));
    // The name a write gives its temporary file, as the writer makes it.
    QString temp;
    {
        auto backend = std::make_unique<FileSettingsBackend>(path);
        backend->setWriteHook([&](FileSettingsBackend::WriteStep) {
            for (const QString& name : QDir(dir.filePath("dot")).entryList(QDir::Files))
                if (name != "tarnwick.json") temp = dir.filePath("dot/" + name);
        });
        Settings s(std::move(backend));
        s.setValue("kept", true);
    }
    ASSERT_FALSE(temp.isEmpty());
    ASSERT_FALSE(QFileInfo::exists(temp));
    const QString suffix = temp.mid(real.size());
    const QDateTime old = QDateTime::currentDateTime().addSecs(-2 * FileSettingsBackend::staleTempSeconds);
    auto make = [&](const QString& at, bool aged) {
        tarnwick::test::writeFile(at, "{ \"kept\": { \"type\": \"bo");
        QFile f(at);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        if (aged) {
            ASSERT_TRUE(f.setFileTime(old, QFileDevice::FileModificationTime));
        }
    };
    make(temp, true);
    const QStringList kept = {
        temp.chopped(6) + "fresh1",
        temp.chopped(6) + "toolong",
        real + ".backup",
        real + ".Ab12Cd",
        dir.filePath("dot/other.json") + suffix,
    };
    make(kept[0], false);
    for (const QString& k : kept.mid(1)) make(k, true);
    ASSERT_TRUE(QDir().mkdir(temp.chopped(6) + "Fold3r"));
    ASSERT_TRUE(QFile::link(dir.filePath("dot/other.json") + suffix, temp.chopped(6) + "L1nk3d"));

    Settings s(std::make_unique<FileSettingsBackend>(path));
    EXPECT_TRUE(s.boolValue("kept"));
    EXPECT_FALSE(QFileInfo::exists(temp)) << "the stale one was left";
    for (const QString& k : kept) EXPECT_TRUE(QFileInfo::exists(k)) << k.toStdString();
    EXPECT_TRUE(QFileInfo(temp.chopped(6) + "Fold3r").isDir());
    EXPECT_TRUE(QFileInfo(temp.chopped(6) + "L1nk3d").isSymLink());
}

}  // namespace
