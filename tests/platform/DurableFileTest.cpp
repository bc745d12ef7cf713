#include <gtest/gtest.h>

#include <sys/stat.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "platform/DurableFile.h"
#include "platform/FileKeychainBackend.h"
#include "platform/LoginItem.h"
#include "support/FileSizeLimit.h"
#include "support/TestEnvironment.h"

using tarnwick::test::FileSizeLimit;
using tarnwick::test::readFile;
using tarnwick::test::writeFile;

namespace {

int modeOf(const QString& path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) return -1;
    return int(info.st_mode & 07777);
}

QStringList namesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// A replaced file is whole or untouched: the failure at the flush is reported, the old file stays as it
// was, and no temporary file is left beside it. Through a link, the file it leads to is replaced.
TEST(DurableFile, AFailedFlushIsReportedAndLeavesTheOldFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("entry.json");
    writeFile(path, "old and whole");
    {
        FileSizeLimit full(0);
        const auto written = DurableFile::replace(path, "new", QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        ASSERT_FALSE(written);
        EXPECT_TRUE(written.error().startsWith(path + " could not be written: ")) << qPrintable(written.error());
    }
    EXPECT_EQ(readFile(path), "old and whole");
    EXPECT_EQ(namesIn(dir.path()), QStringList{"entry.json"});

    ASSERT_TRUE(DurableFile::replace(path, "new", QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    EXPECT_EQ(readFile(path), "new");
    EXPECT_EQ(modeOf(path), 0600);

    ASSERT_TRUE(QDir(dir.path()).mkdir("real"));
    ASSERT_TRUE(QFile::link(dir.filePath("real/target"), dir.filePath("link")));
    ASSERT_TRUE(DurableFile::replace(dir.filePath("link"), "through"));
    EXPECT_TRUE(QFileInfo(dir.filePath("link")).isSymLink());
    EXPECT_EQ(readFile(dir.filePath("real/target")), "through");
    EXPECT_TRUE(DurableFile::syncFolder(path));
    EXPECT_FALSE(DurableFile::syncFolder(dir.filePath("missing/file")));
}

// The files the app replaces, on a disk that refuses the bytes: each write says it failed, and what
// was there before is still whole.
TEST(DurableFile, EveryReplacedFileReportsAFullDisk)
{
    QTemporaryDir dir;
    // The key file: a key that did not reach the disk must not be taken as stored, or a note would be
    // sealed with a key that is lost with the process.
    FileKeychainBackend keys(dir.filePath("keychain.json"));
    ASSERT_TRUE(keys.add("lock", "other", "kept").ok());
    {
        FileSizeLimit full(0);
        EXPECT_FALSE(keys.add("lock", "primary", QByteArray(32, '\x07')).ok());
    }
    EXPECT_EQ(keys.read("lock", "primary", false).error().status, KeychainBackend::statusItemNotFound);
    EXPECT_EQ(*keys.read("lock", "other", false), QByteArray("kept"));
    ASSERT_TRUE(keys.add("lock", "primary", QByteArray(32, '\x07')).ok()) << "stored once there is room";
    EXPECT_EQ(*FileKeychainBackend(dir.filePath("keychain.json")).read("lock", "primary", false),
              QByteArray(32, '\x07'));

    // The autostart entry: an empty one would count as on at the next launch.
    QFile::remove(LoginItem::entryPath());
    {
        FileSizeLimit full(0);
        EXPECT_NE(LoginItem::set(true), std::nullopt);
    }
    EXPECT_FALSE(LoginItem::isEnabled());
    EXPECT_FALSE(QFileInfo::exists(LoginItem::entryPath()));
    writeFile(LoginItem::entryPath(), "");
    EXPECT_FALSE(LoginItem::isEnabled()) << "an empty entry starts nothing";
    QFile::remove(LoginItem::entryPath());
}

}  // namespace
