#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "model/Note.h"
#include "store/PersistenceController.h"
#include "store/StoreSnapshot.h"
#include "store/TarnwickSchemaV2.h"
#include "support/FakeClock.h"
#include "support/TestEnvironment.h"

using tarnwick::test::LogCapture;
using tarnwick::test::readFile;
using tarnwick::test::TestEnvironment;
using tarnwick::test::writeFile;

namespace {

class PersistenceControllerTest : public ::testing::Test {
protected:
    void SetUp() override { QDir().mkpath(store()); }
    QString legacy(const QString& name = {}) const { return name.isEmpty() ? root.path() : root.filePath(name); }
    QString store(const QString& name = {}) const
    {
        return root.filePath("tarnwick") + (name.isEmpty() ? QString() : QLatin1Char('/') + name);
    }
    QString record() const { return store("TarnwickSnapshots/schema-fingerprint"); }
    PersistenceController::Opened open() { return PersistenceController::open(store(), legacy(), clock); }
    static QString fingerprint() { return StoreSnapshot::fingerprint(TarnwickSchemaV2::schema(), QString()); }

    QTemporaryDir root;
    FakeClock clock;
    LogCapture log;
};

TEST_F(PersistenceControllerTest, FreshStartCreatesTheStoreWithItsTablesAndRecordsTheFingerprint)
{
    auto opened = open();
    ASSERT_TRUE(opened.container);
    EXPECT_FALSE(opened.failure);
    EXPECT_FALSE(opened.container->isInMemory());
    for (const char* name : {"default.store", "default.store-wal", "default.store-shm"})
        EXPECT_TRUE(QFile::exists(store(QString::fromLatin1(name)))) << name;
    EXPECT_EQ(QString::fromLatin1(readFile(record())), fingerprint());
    EXPECT_TRUE(log.lines("store").isEmpty()) << qPrintable(log.lines().join('\n'));
    EXPECT_TRUE(QDir(store("TarnwickSnapshots")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty());

    // Every entity is a table the context can write and read back.
    ModelContext& context = opened.container->mainContext();
    context.setAutosaveEnabled(false);
    for (const EntityDescription* e : TarnwickSchemaV2::models()) context.insert(e->make());
    ASSERT_TRUE(context.save().ok());
    opened.container.reset();

    auto again = open();
    ASSERT_FALSE(again.failure);
    for (const EntityDescription* e : TarnwickSchemaV2::models())
        EXPECT_EQ(again.container->mainContext().fetch(*e)->size(), 1) << qPrintable(e->name);
    EXPECT_TRUE(log.lines("store").isEmpty()) << "unchanged schema: no snapshot";
    auto notes = again.container->mainContext().fetch<Note>();
    ASSERT_EQ(notes->size(), 1);
    EXPECT_TRUE(qobject_cast<Note*>(notes->first())) << "rows come back as their entity's class";
}

TEST_F(PersistenceControllerTest, StoreThatFailsToOpenFallsBackToMemoryAndIsLeftAsItWas)
{
    const QByteArray junk = QByteArray("this is not a database, but it is the user's file\n").repeated(100);
    writeFile(store("default.store"), junk);
    QDir().mkpath(store("TarnwickSnapshots"));
    writeFile(record(), "an older fingerprint");

    auto opened = open();
    ASSERT_TRUE(opened.container);
    EXPECT_TRUE(opened.container->isInMemory());
    ASSERT_TRUE(opened.failure);
    EXPECT_TRUE(opened.failure->startsWith("StoreError(code: 26")) << qPrintable(*opened.failure);
    EXPECT_EQ(readFile(store("default.store")), junk);
    EXPECT_FALSE(QFile::exists(store("default.store-wal")));
    EXPECT_EQ(readFile(record()), "an older fingerprint");
    EXPECT_EQ(log.count("Failed to open the persistent store: "), 1);
    EXPECT_TRUE(log.contains("; falling back to in-memory for this session."));
    EXPECT_TRUE(log.contains("schema changed \u2014 snapshot of 1 file(s)")) << "taken before opening";

    // The session still runs, in memory.
    ModelContext& context = opened.container->mainContext();
    context.insert(TarnwickSchemaV2::models().first()->make());
    EXPECT_TRUE(context.save().ok());
    EXPECT_EQ(readFile(store("default.store")), junk);
}

TEST(PersistenceControllerShared, OpensOnceInTheApplicationsDataFolder)
{
    EXPECT_FALSE(PersistenceController::storeFailure()) << "reading the failure does not open the store";
    ModelContainer& container = PersistenceController::shared();
    EXPECT_EQ(&container, &PersistenceController::shared());
    EXPECT_FALSE(PersistenceController::storeFailure());
    EXPECT_EQ(container.path(), TestEnvironment::dataHome() + "/tarnwick/default.store");
    EXPECT_TRUE(QFile::exists(TestEnvironment::dataHome() + "/tarnwick/TarnwickSnapshots/schema-fingerprint"));
}

}  // namespace
