#include <gtest/gtest.h>
#include <sqlite3.h>

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "store/StoreSnapshot.h"
#include "store/TarnwickSchemaV2.h"
#include "support/FakeClock.h"
#include "support/FileSizeLimit.h"
#include "support/TestEnvironment.h"

namespace {

using tarnwick::test::readFile;
using tarnwick::test::writeFile;

// SHA-256 of the five entity descriptions joined with ";" (Capture(createdAt,isPinned,...,uuid);
// Note(body,...);NoteImage(...);NoteTheme(...);Wallpaper(addedAt,data,id,name)), and of that text
// followed by "|extra". Computed outside the program from the stored names.
const char kDigest[] = "dfa743b0e407bfd66cfb9b5c77ed4701cd772b61be898f17bcd105ad2ed59784";
const char kDigestWithExtra[] = "55b3724fcc4e3856b3685b8e840915cd92a1031d6f8ebef3097a426f9fa8bb73";

TEST(StoreSnapshotFingerprint, TheStoreSchemaHasTheFiveEntitiesUnderTheirStoredNames)
{
    const Schema schema = TarnwickSchemaV2::schema();
    EXPECT_EQ(schema.version, "2.0.0");
    QStringList order;
    for (const EntityDescription* e : schema.entities) order << e->name;
    EXPECT_EQ(order, (QStringList{"Note", "Capture", "NoteTheme", "Wallpaper", "NoteImage"}));
    // Neither the order of the entities nor that of their attributes is sorted in the schema.
    EXPECT_EQ(StoreSnapshot::fingerprint(schema, QString()), QLatin1String(kDigest));
    EXPECT_EQ(StoreSnapshot::fingerprint(schema, "extra"), QLatin1String(kDigestWithExtra));
    const EntityDescription* note = schema.entity("Note");
    ASSERT_TRUE(note);
    EXPECT_EQ(note->attributes[note->indexOf("isTrashed")].originalName, "isDeleted");
}

class StoreSnapshotTest : public ::testing::Test {
protected:
    QString store(const QString& name = {}) const { return name.isEmpty() ? dir.path() : dir.filePath(name); }
    QString snapshots(const QString& name = {}) const
    {
        return store("TarnwickSnapshots") + (name.isEmpty() ? QString() : QLatin1Char('/') + name);
    }
    QStringList snapshotFolders() const
    {
        return QDir(snapshots()).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks);
    }
    std::optional<QString> capture(const QString& fingerprint)
    {
        return StoreSnapshot::captureIfSchemaChanged(fingerprint, dir.path(), clock);
    }

    QTemporaryDir dir;
    // Local wall time 2026-03-01 12:00:00.
    FakeClock clock{QDateTime(QDate(2026, 3, 1), QTime(12, 0))};
};

TEST_F(StoreSnapshotTest, FirstStartRecordsWithoutACopyAndAnUnchangedSchemaTakesNone)
{
    EXPECT_FALSE(capture("aaa"));
    EXPECT_EQ(readFile(snapshots("schema-fingerprint")), "aaa");
    EXPECT_TRUE(snapshotFolders().isEmpty());

    writeFile(store("default.store"), "db");
    writeFile(snapshots("schema-fingerprint"), " aaa\n");
    EXPECT_FALSE(capture("aaa")) << "a record with white space around it is the same";
    EXPECT_TRUE(snapshotFolders().isEmpty());
    EXPECT_EQ(StoreSnapshot::storedFingerprint(dir.path()), "aaa");
}

// On a full disk the record is kept as it was: an empty one would make the next launch take a
// snapshot for a schema that did not change.
TEST_F(StoreSnapshotTest, AFullDiskKeepsTheRecordedFingerprint)
{
    StoreSnapshot::record("aaa", dir.path());
    {
        tarnwick::test::FileSizeLimit full(0);
        StoreSnapshot::record("bbb", dir.path());
    }
    EXPECT_EQ(readFile(snapshots("schema-fingerprint")), "aaa");
    EXPECT_EQ(QDir(snapshots()).entryList(QDir::Files | QDir::Hidden), QStringList{"schema-fingerprint"});
}

TEST_F(StoreSnapshotTest, ChangedSchemaCopiesTheStoreItemsThatExistAndDoesNotRecord)
{
    writeFile(store("default.store"), "main");
    writeFile(store(".default_SUPPORT/ab/blob"), "external");
    writeFile(snapshots("schema-fingerprint"), "old");

    const QString stamp = "20260301-120000";
    EXPECT_EQ(StoreSnapshot::stamp(clock.now()), stamp);
    EXPECT_EQ(capture("new"),
              "schema changed \u2014 snapshot of 2 file(s) taken at TarnwickSnapshots/" + stamp + " before migrating");
    EXPECT_EQ(readFile(snapshots(stamp + "/default.store")), "main");
    EXPECT_EQ(readFile(snapshots(stamp + "/.default_SUPPORT/ab/blob")), "external");
    EXPECT_FALSE(QFile::exists(snapshots(stamp + "/default.store-wal")));
    EXPECT_EQ(readFile(snapshots("schema-fingerprint")), "old");
    EXPECT_EQ(readFile(store("default.store")), "main") << "the store is untouched";
}

// What stands in a store file's place and is not a file is not the store's: a folder of the user's is
// not copied (however large), a pipe is not read (that would block) and a link leading nowhere is
// passed over. A file behind a link is copied as the system reads it.
TEST_F(StoreSnapshotTest, OnlyFilesAreCopiedForTheStoresFiles)
{
    writeFile(store("default.store/someone-elses"), "kept");
    ASSERT_EQ(::mkfifo(QFile::encodeName(store("default.store-wal")).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(store("nowhere/shm"), store("default.store-shm")));
    writeFile(store(".default_SUPPORT/blob"), "external");
    writeFile(snapshots("schema-fingerprint"), "old");
    EXPECT_EQ(
        capture("new"),
        "schema changed \u2014 snapshot of 1 file(s) taken at TarnwickSnapshots/20260301-120000 before migrating");
    EXPECT_EQ(QDir(snapshots("20260301-120000"))
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
              QStringList{".default_SUPPORT"});

    // A link of the user's in the store's place counts as a store even while it leads nowhere: no
    // first start is recorded over it.
    QTemporaryDir other;
    ASSERT_TRUE(QFile::link(other.filePath("unmounted/notes.store"), other.filePath("default.store")));
    EXPECT_FALSE(StoreSnapshot::captureIfSchemaChanged("new", other.path(), clock));
    EXPECT_FALSE(StoreSnapshot::storedFingerprint(other.path()));
    writeFile(other.filePath("unmounted/notes.store"), "main");
    EXPECT_TRUE(StoreSnapshot::captureIfSchemaChanged("new", other.path(), clock));
    EXPECT_EQ(readFile(other.filePath("TarnwickSnapshots/20260301-120000/default.store")), "main");
}

TEST_F(StoreSnapshotTest, SnapshotsInTheSameSecondGetFoldersOfTheirOwn)
{
    writeFile(store("default.store"), "v1");
    ASSERT_TRUE(capture("one"));
    writeFile(store("default.store-wal"), "wal");
    EXPECT_TRUE(capture("two").value_or(QString()).contains("20260301-120000-02"));
    EXPECT_EQ(snapshotFolders(), (QStringList{"20260301-120000", "20260301-120000-02"}));
    EXPECT_EQ(readFile(snapshots("20260301-120000-02/default.store-wal")), "wal");
    EXPECT_FALSE(QFile::exists(snapshots("20260301-120000/default.store-wal")));

    // Numbered names still sort in time order, so pruning keeps the newest.
    clock.advanceSeconds(1);
    ASSERT_TRUE(capture("three"));
    EXPECT_EQ(snapshotFolders().last(), "20260301-120001");
}

// A store that fails to open is never recorded as migrated; its launches must not pile up copies of
// the same file, but a changed file is copied again.
TEST_F(StoreSnapshotTest, TheSameUnopenedStoreIsCopiedOnce)
{
    writeFile(store("default.store"), "junk");
    writeFile(snapshots("schema-fingerprint"), "old");
    ASSERT_TRUE(capture("new"));
    clock.advanceSeconds(1);
    EXPECT_EQ(capture("new"), std::nullopt);
    EXPECT_EQ(snapshotFolders().size(), 1);
    writeFile(store("default.store"), "other junk");
    EXPECT_TRUE(capture("new"));
    EXPECT_EQ(snapshotFolders().size(), 2);
}

// A damaged store (here cut short) cannot be looked through for private notes in the clear; its
// copy is still the best chance of recovery, so it is kept once, and the log says it was not checked.
TEST_F(StoreSnapshotTest, ATruncatedStoreIsKeptOnceAndReportedAsUnchecked)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(store("default.store")).constData(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "PRAGMA page_size = 1024; CREATE TABLE Note (uuid TEXT, isLocked INTEGER, body TEXT, "
                           "bodyRichData BLOB, bodyBlocksData BLOB, lockedCipher BLOB); "
                           "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 400) "
                           "INSERT INTO Note SELECT i, 0, printf('%0200d', i), NULL, NULL, NULL FROM n;",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    QFile file(store("default.store"));
    ASSERT_GT(file.size(), 40 * 1024);
    ASSERT_TRUE(file.resize(file.size() / 3));
    const QByteArray damaged = readFile(store("default.store"));
    writeFile(snapshots("schema-fingerprint"), "old");

    const auto message = capture("new");
    ASSERT_TRUE(message);
    EXPECT_TRUE(message->startsWith("schema changed")) << message->toStdString();
    EXPECT_TRUE(message->endsWith("could not be checked: database disk image is malformed")) << message->toStdString();
    EXPECT_FALSE(message->contains("private note"));
    ASSERT_EQ(snapshotFolders().size(), 1);
    EXPECT_EQ(readFile(snapshots(snapshotFolders().first() + "/default.store")), damaged);

    clock.advanceSeconds(1);
    EXPECT_EQ(capture("new"), std::nullopt) << "the same damaged file is not copied at every launch";
    EXPECT_EQ(snapshotFolders().size(), 1);
    EXPECT_EQ(readFile(store("default.store")), damaged) << "the store is untouched";
}

TEST_F(StoreSnapshotTest, PruningKeepsTheFiveNewestFoldersAndTouchesNothingElse)
{
    writeFile(store("default.store"), "db");
    const QStringList old{"20250101-000000", "20250102-000000", "20250103-000000",
                          "20250104-000000", "20250105-000000", "20250106-000000"};
    for (const QString& name : old) writeFile(snapshots(name + "/default.store"), "old");
    writeFile(snapshots("0-stray-file"), "stray");
    writeFile(snapshots("schema-fingerprint"), "old");
    QTemporaryDir outside;
    writeFile(outside.filePath("precious"), "keep");
    ASSERT_TRUE(QFile::link(outside.path(), snapshots("00000000-link")));

    ASSERT_TRUE(capture("new"));
    EXPECT_EQ(snapshotFolders(), (QStringList{"20250103-000000", "20250104-000000", "20250105-000000",
                                              "20250106-000000", "20260301-120000"}));
    EXPECT_TRUE(QFile::exists(snapshots("0-stray-file")));
    EXPECT_TRUE(QFile::exists(snapshots("schema-fingerprint")));
    EXPECT_TRUE(QFile::exists(outside.filePath("precious"))) << "a link is not followed";

    // A folder whose name is not a stamp sorts like any other.
    writeFile(snapshots("zzz/x"), "x");
    StoreSnapshot::prune(dir.path());
    EXPECT_EQ(snapshotFolders().first(), "20250104-000000");
    EXPECT_EQ(snapshotFolders().last(), "zzz");
}

}  // namespace
