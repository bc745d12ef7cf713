#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "StoreTestSupport.h"
#include "platform/ModelContainer.h"
#include "support/TestEnvironment.h"

using namespace storetest;

namespace {

std::unique_ptr<ModelContainer> openOrFail(const Schema& schema, const QString& path)
{
    auto r = ModelContainer::open(schema, path);
    EXPECT_TRUE(r.ok()) << (r.ok() ? "" : qPrintable(r.error().debugDescription()));
    return r.ok() ? std::move(r).value() : nullptr;
}

TEST(ModelContainer, FreshStoreIsAWalDatabaseWithATablePerEntityAndAColumnPerAttribute)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("default.store");
    auto container = openOrFail(sampleSchema(), path);
    ASSERT_TRUE(container);
    EXPECT_FALSE(container->isInMemory());
    EXPECT_TRUE(QFile::exists(path + "-wal") && QFile::exists(path + "-shm"));

    EXPECT_EQ(scalar(path, "PRAGMA journal_mode"), "wal");
    EXPECT_EQ(query(path, "SELECT name FROM sqlite_master WHERE type='table' ORDER BY name"),
              (QStringList{"Other", "Sample"}));
    EXPECT_EQ(query(path, "SELECT name FROM pragma_table_info('Other')"), (QStringList{"_rowid", "uuid", "label"}));
    EXPECT_EQ(scalar(path, "SELECT count(*) FROM sqlite_master WHERE type='index'"), "0")
        << "no UNIQUE constraint, no index";
}

TEST(ModelContainer, FileThatIsNotAStoreFailsAtOpenAndIsLeftAsItWas)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("default.store");
    const QByteArray junk = QByteArray("not a database ").repeated(600);
    tarnwick::test::writeFile(path, junk);
    auto r = ModelContainer::open(sampleSchema(), path);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().code & 0xff, 26) << "SQLITE_NOTADB";
    EXPECT_EQ(tarnwick::test::readFile(path), junk);
    EXPECT_FALSE(QFile::exists(path + "-wal"));

    EXPECT_TRUE(ModelContainer::openInMemory(sampleSchema()).ok());
}

TEST(ModelContainer, StoreThatCannotBeWrittenFailsAtOpen)
{
    if (geteuid() == 0) GTEST_SKIP() << "root writes through file permissions";
    QTemporaryDir dir;
    const QString path = dir.filePath("default.store");
    openOrFail(sampleSchema(), path).reset();
    QFile::remove(path + "-wal");
    QFile::remove(path + "-shm");
    QFile::setPermissions(path, QFileDevice::ReadOwner);
    EXPECT_FALSE(ModelContainer::open(sampleSchema(), path).ok());
}

// The same entity at two versions: "done" was later renamed "isDone", "legacy" was dropped from
// the entity, "priority" and "ref" were added.
class Task : public ManagedObject {
public:
    explicit Task(const EntityDescription& e) : ManagedObject(e) {}
};

const EntityDescription& taskV1()
{
    static const EntityDescription e{
        "Task",
        {{"title", AttributeType::String}, {"done", AttributeType::Bool}, {"legacy", AttributeType::String}},
        [] { return new Task(taskV1()); }};
    return e;
}

const EntityDescription& taskV2()
{
    static const EntityDescription e{"Task",
                                     {{"title", AttributeType::String},
                                      {"isDone", AttributeType::Bool, false, {}, "done"},
                                      {"priority", AttributeType::Int, false, 7},
                                      {"ref", AttributeType::Uuid},
                                      {"note", AttributeType::String, true}},
                                     [] { return new Task(taskV2()); }};
    return e;
}

TEST(ModelContainer, ReopeningWithANewerEntityRenamesAndAddsColumnsAndDropsNothing)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("default.store");
    {
        auto c = openOrFail(Schema{"1", {&taskV1()}}, path);
        ASSERT_TRUE(c);
        for (int i = 0; i < 2; ++i) {
            auto* t = new Task(taskV1());
            c->mainContext().insert(t);
            t->setValue(0, QStringLiteral("task %1").arg(i));
            t->setValue(1, i == 1);
            t->setValue(2, QStringLiteral("kept %1").arg(i));
        }
        ASSERT_TRUE(c->mainContext().save().ok());
    }
    const Schema v2{"2", {&taskV2()}};
    for (int round = 0; round < 2; ++round) {  // the second open finds nothing left to migrate
        auto c = openOrFail(v2, path);
        ASSERT_TRUE(c);
        auto tasks = c->mainContext().fetch(taskV2(), {nullptr, {{0, true}}, std::nullopt});
        ASSERT_TRUE(tasks.ok());
        ASSERT_EQ(tasks->size(), 2);
        EXPECT_FALSE(tasks->at(0)->value(1).toBool());
        EXPECT_TRUE(tasks->at(1)->value(1).toBool()) << "renamed with the value kept";
        EXPECT_EQ(tasks->at(0)->value(2).toLongLong(), 7) << "added with its default";
        EXPECT_FALSE(tasks->at(0)->value(3).toUuid().isNull()) << "a UUID for each existing row";
        EXPECT_NE(tasks->at(0)->value(3).toUuid(), tasks->at(1)->value(3).toUuid());
        EXPECT_FALSE(tasks->at(0)->value(4).isValid());
        EXPECT_FALSE(c->mainContext().hasChanges());
        tasks->at(0)->setValue(0, "task 0");
    }
    EXPECT_EQ(query(path, "SELECT name FROM pragma_table_info('Task')"),
              (QStringList{"_rowid", "title", "isDone", "legacy", "priority", "ref", "note"}));
    EXPECT_EQ(query(path, "SELECT legacy FROM Task ORDER BY _rowid"), (QStringList{"kept 0", "kept 1"}));
    EXPECT_TRUE(
        scalar(path, "SELECT ref FROM Task LIMIT 1")
            .contains(QRegularExpression("^[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}$")));
}

// Run only as the child of the crash test: saves one row at a time and reports each save that
// returned, until it is killed.
// A cleanup tool removes the store's files, or a restore tool puts an older copy in their place,
// while the store is open: a save into the file that is no longer there would be lost at the next
// launch, so it fails, keeps its changes in memory and writes nothing into either file.
TEST(ModelContainer, ASaveIntoAStoreNoLongerAtItsPathFails)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("default.store");
    for (const bool replaced : {false, true}) {
        SCOPED_TRACE(replaced ? "replaced" : "removed");
        QFile::remove(path);
        QFile::remove(path + "-wal");
        QFile::remove(path + "-shm");
        QFile::remove(dir.filePath("older.store"));
        auto container = openOrFail(sampleSchema(), path);
        ASSERT_TRUE(container);
        ModelContext& context = container->mainContext();
        context.setAutosaveEnabled(false);
        context.insert(std::make_unique<Sample>())->setValue(Sample::Name, "before");
        ASSERT_TRUE(context.save());
        ASSERT_TRUE(context.checkpoint());

        ASSERT_TRUE(QFile::copy(path, dir.filePath("older.store")));
        for (const char* suffix : {"", "-wal", "-shm"}) QFile::remove(path + suffix);
        if (replaced) {
            ASSERT_TRUE(QFile::rename(dir.filePath("older.store"), path));
        }

        QStringList outcomes;
        QObject::connect(&context, &ModelContext::saveFinished, [&](const QString& failure) { outcomes << failure; });
        context.insert(std::make_unique<Sample>())->setValue(Sample::Name, "after");
        const auto saved = context.save();
        ASSERT_FALSE(saved);
        EXPECT_EQ(saved.error().description(),
                  replaced ? "another file took the place of the notes file" : "the notes file was removed");
        EXPECT_EQ(outcomes, QStringList{saved.error().description()});
        EXPECT_TRUE(context.hasChanges()) << "held in memory";
        if (replaced) {
            EXPECT_EQ(query(path, "SELECT name FROM Sample"), QStringList{"before"});
        }
        EXPECT_EQ(context.saveInBackground()->ok(), false) << "every way of saving checks";
    }
}

TEST(ModelContainerCrashChild, SaveUntilKilled)
{
    const QString path = qEnvironmentVariable("TARNWICK_CRASH_STORE");
    if (path.isEmpty()) GTEST_SKIP() << "runs as the child of CrashAfterSaveKeepsEverySaveThatReturned";
    auto c = openOrFail(sampleSchema(), path);
    ASSERT_TRUE(c);
    c->mainContext().setAutosaveEnabled(false);
    for (qint64 i = 0;; ++i) {
        auto* s = c->mainContext().insert(std::make_unique<Sample>());
        s->setValue(Sample::Count, i);
        s->setValue(Sample::Bytes, QByteArray(int(i % 7) * 1000, 'b'));
        if (!c->mainContext().save().ok()) return;
        reportToParent(i);
    }
}

TEST(ModelContainer, CrashAfterSaveKeepsEverySaveThatReturned)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("default.store");
    const qint64 lastReported =
        runChildUntilKilled("ModelContainerCrashChild.SaveUntilKilled", "TARNWICK_CRASH_STORE", path, 200);
    ASSERT_GE(lastReported, 200);

    auto c = openOrFail(sampleSchema(), path);
    ASSERT_TRUE(c);
    auto rows = c->mainContext().fetch<Sample>();
    ASSERT_TRUE(rows.ok());
    ASSERT_GE(rows->size(), lastReported + 1);
    for (qint64 i = 0; i <= lastReported; ++i) EXPECT_EQ(rows->at(i)->value(Sample::Count).toLongLong(), i);
}

}  // namespace
