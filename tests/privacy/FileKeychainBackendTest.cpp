#include <gtest/gtest.h>

#include <sys/stat.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include "platform/FileKeychainBackend.h"
#include "support/TestEnvironment.h"

namespace {

int modeOf(const QString& path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) return -1;
    return int(info.st_mode & 07777);
}

class FileKeychainBackendTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path() const { return dir.filePath("tarnwick/keychain.json"); }
};

}  // namespace

TEST_F(FileKeychainBackendTest, ItemsPersistInAnOwnerOnlyFile)
{
    {
        FileKeychainBackend backend(path());
        ASSERT_TRUE(backend.add("s", "primary", QByteArray(32, '\x01')).ok());
        ASSERT_TRUE(backend.replace("s", "token", "abc").ok());
        EXPECT_EQ(backend.add("s", "primary", "other").error().status, KeychainBackend::statusDuplicateItem);
    }
    EXPECT_EQ(modeOf(path()), 0600);

    FileKeychainBackend reopened(path());
    EXPECT_EQ(*reopened.read("s", "primary", false), QByteArray(32, '\x01'));
    EXPECT_EQ(*reopened.accounts("s", false), (QStringList{"primary", "token"}));
    EXPECT_TRUE(reopened.accounts("s", true)->isEmpty());
    EXPECT_EQ(reopened.read("s", "primary", true).error().status, KeychainBackend::statusItemNotFound);

    // Replacing keeps one item per account, the others untouched, and the file owner-only.
    ASSERT_TRUE(reopened.replace("s", "token", "def").ok());
    EXPECT_EQ(*reopened.accounts("s", false), (QStringList{"primary", "token"}));
    EXPECT_EQ(*reopened.read("s", "token", false), QByteArray("def"));
    EXPECT_EQ(modeOf(path()), 0600);
}

TEST_F(FileKeychainBackendTest, UnreadableFileIsReportedAndNeverOverwritten)
{
    const QByteArray damaged("{\"items\": [ {\"service\": \"s\", \"acc");
    tarnwick::test::writeFile(path(), damaged);

    FileKeychainBackend backend(path());
    EXPECT_EQ(backend.read("s", "a", false).error().status, KeychainBackend::statusDecode);
    EXPECT_EQ(backend.accounts("s", false).error().status, KeychainBackend::statusDecode);
    EXPECT_FALSE(backend.add("s", "a", "x").ok());
    EXPECT_FALSE(backend.replace("s", "a", "x").ok());
    EXPECT_EQ(tarnwick::test::readFile(path()), damaged);
}

// A write that fails part-way (here: the file size limit of a child process) leaves the item as it
// was, never missing, and leaves no stray temporary file.
TEST_F(FileKeychainBackendTest, FailedReplaceKeepsTheOldItem)
{
    FileKeychainBackend backend(path());
    ASSERT_TRUE(backend.replace("s", "endpoint-token", "old-token").ok());

    QProcess child;
    child.start("/bin/sh", {"-c", "ulimit -f 8 && exec \"$0\" file-replace \"$1\" s endpoint-token 65536",
                            QStringLiteral(TARNWICK_PRIVACY_HELPER), path()});
    ASSERT_TRUE(child.waitForFinished(60000));
    EXPECT_NE(child.exitCode(), 0) << child.readAllStandardOutput().constData();
    EXPECT_TRUE(child.readAllStandardOutput().contains("replace failed"));

    EXPECT_EQ(*backend.read("s", "endpoint-token", false), QByteArray("old-token"));
    const QStringList leftovers = QDir(QFileInfo(path()).absolutePath()).entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(leftovers, (QStringList{"keychain.json"}));
}
