#include <gtest/gtest.h>

#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "store/StoreMigration.h"
#include "support/TestEnvironment.h"

namespace {

using tarnwick::test::readFile;
using tarnwick::test::writeFile;

class StoreMigrationTest : public ::testing::Test {
protected:
    void SetUp() override { QDir().mkpath(current()); }
    QString legacy(const QString& name = {}) const { return name.isEmpty() ? root.path() : root.filePath(name); }
    QString current(const QString& name = {}) const
    {
        return root.filePath("tarnwick") + (name.isEmpty() ? QString() : QLatin1Char('/') + name);
    }
    std::optional<QString> carry() { return StoreMigration::carryForwardIfNeeded(legacy(), current()); }

    QTemporaryDir root;  // the legacy folder, holding the store's own folder
};

TEST_F(StoreMigrationTest, CopiesTheStoreFilesThatExistAndLeavesTheOriginals)
{
    writeFile(legacy("default.store"), "main");
    writeFile(legacy("default.store-wal"), "wal");
    EXPECT_EQ(carry(), "carried 2 store file(s) into the container");
    EXPECT_EQ(readFile(current("default.store")), "main");
    EXPECT_EQ(readFile(current("default.store-wal")), "wal");
    EXPECT_FALSE(QFile::exists(current("default.store-shm")));
    EXPECT_EQ(readFile(legacy("default.store")), "main");
    EXPECT_FALSE(carry()) << "the store is there now";
}

TEST_F(StoreMigrationTest, NeverOverwritesAndDoesNothingWithoutALegacyStore)
{
    EXPECT_FALSE(carry());
    writeFile(legacy("default.store-wal"), "wal without its store");
    EXPECT_FALSE(carry());
    EXPECT_FALSE(QFile::exists(current("default.store-wal")));

    writeFile(legacy("default.store"), "newer");
    writeFile(current("default.store"), "mine");
    EXPECT_FALSE(carry());
    EXPECT_EQ(readFile(current("default.store")), "mine");

    EXPECT_FALSE(StoreMigration::carryForwardIfNeeded(current(), current() + "/../tarnwick/"));

    // A link of the user's to a store on a drive not mounted is a store there too: it is not replaced.
    QFile::remove(current("default.store"));
    ASSERT_TRUE(QFile::link(legacy("drive/notes.store"), current("default.store")));
    EXPECT_FALSE(carry());
    EXPECT_EQ(QFileInfo(current("default.store")).symLinkTarget(), legacy("drive/notes.store"));
}

TEST_F(StoreMigrationTest, AFailedCopyTakesBackWhatThisRunCopied)
{
    writeFile(legacy("default.store"), "main");
    writeFile(legacy("default.store-shm"), "shm");
    writeFile(legacy("default.store-wal"), "wal");
    writeFile(current("default.store-shm"), "in the way");
    const auto line = carry();
    ASSERT_TRUE(line);
    EXPECT_TRUE(line->startsWith("store migration failed on default.store-shm ("));
    EXPECT_TRUE(line->endsWith("); the original is untouched"));
    EXPECT_FALSE(QFile::exists(current("default.store")));
    EXPECT_FALSE(QFile::exists(current("default.store-wal"))) << "not tried";
    EXPECT_EQ(readFile(current("default.store-shm")), "in the way");
    EXPECT_EQ(readFile(legacy("default.store")), "main");
}

}  // namespace

// When the store's folder cannot be used, the cause names the folder and says what is wrong with it.
TEST_F(StoreMigrationTest, AFolderThatCannotBeUsedIsNamedWithItsCause)
{
    QTemporaryDir dir;
    const QString blocked = dir.filePath("tarnwick");
    ASSERT_TRUE(QFile(blocked).open(QIODevice::WriteOnly));
    EXPECT_EQ(StoreMigration::directoryProblem(blocked), blocked + " is a file, not a folder");
    EXPECT_TRUE(StoreMigration::directoryProblem("").contains("no data folder"));
    if (::geteuid() != 0) {  // the superuser may write anywhere
        const QString readOnly = dir.filePath("ro");
        ASSERT_TRUE(QDir().mkpath(readOnly));
        QFile::setPermissions(readOnly, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        EXPECT_EQ(StoreMigration::directoryProblem(readOnly), "The folder " + readOnly + " is read-only");
        EXPECT_EQ(StoreMigration::directoryProblem(readOnly + "/a/tarnwick"),
                  "The folder " + readOnly + "/a/tarnwick could not be made: " + readOnly + " is read-only");
        QFile::setPermissions(readOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
}
