#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
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
// A cleanup tool removes the store's files while the store is open: the next save writes the whole
// store again at its path (the open connection still reads all of it) and goes on there, so nothing
// is lost at the next launch.
TEST(ModelContainer, AStoreRemovedUnderItIsWrittenAgainAtItsPath)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("default.store");
    // Outlive the container, whose close may still report.
    QList<QPair<QString, bool>> moves;
    QStringList outcomes;
    {
        auto container = openOrFail(sampleSchema(), path);
        ASSERT_TRUE(container);
        ModelContext& context = container->mainContext();
        context.setAutosaveEnabled(false);
        context.insert(std::make_unique<Sample>())->setValue(Sample::Name, "checkpointed");
        ASSERT_TRUE(context.save());
        ASSERT_TRUE(context.checkpoint());
        context.insert(std::make_unique<Sample>())->setValue(Sample::Name, "in the log");
        ASSERT_TRUE(context.save());
        for (const char* suffix : {"", "-wal", "-shm"}) ASSERT_TRUE(QFile::remove(path + suffix));

        QObject::connect(&context, &ModelContext::storeFileMoved, [&](const QString& to, bool replaced) {
            moves.append({to, replaced});
        });
        QObject::connect(&context, &ModelContext::saveFinished, [&](const QString& failure) { outcomes << failure; });
        context.insert(std::make_unique<Sample>())->setValue(Sample::Name, "after");
        ASSERT_TRUE(context.save());
        EXPECT_EQ(outcomes, QStringList{QString()});
        EXPECT_EQ(moves, (QList<QPair<QString, bool>>{{path, false}}));
        EXPECT_FALSE(context.hasChanges());
        context.insert(std::make_unique<Sample>())->setValue(Sample::Name, "later");
        ASSERT_TRUE(context.save()) << "later saves go on in the new file";
        EXPECT_EQ(moves.size(), 1);

        // Removed again, and found by a write in the background.
        for (const char* suffix : {"", "-wal", "-shm"}) ASSERT_TRUE(QFile::remove(path + suffix));
        Sample* large = context.insert(std::make_unique<Sample>());
        large->setValue(Sample::Name, "large");
        large->setValue(Sample::Bytes, QByteArray(ModelContext::kBackgroundWriteBytes, 'b'));
        ASSERT_FALSE(context.saveInBackground().has_value());
        context.waitForWrite();
        EXPECT_FALSE(context.hasChanges());
        EXPECT_EQ(outcomes.last(), QString());
        EXPECT_EQ(moves.size(), 2);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).filter(".copy-"), QStringList()) << "no copy left aside";
    }
    EXPECT_EQ(scalar(path, "PRAGMA integrity_check"), "ok");
    EXPECT_EQ(query(path, "SELECT name FROM Sample ORDER BY _rowid"),
              (QStringList{"checkpointed", "in the log", "after", "later", "large"}));
    EXPECT_EQ(scalar(path, "PRAGMA journal_mode"), "wal");
}

// The same removal found only when the store closes (nothing was saved since): it is written again
// then. Where it cannot be written again, the save says why, keeps its changes, and succeeds once the
// way is clear.
TEST(ModelContainer, AStoreRemovedUnderItIsWrittenAgainAtCloseOrSaysWhyNot)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath("tarnwick");
    const QString path = folder + "/default.store";
    ASSERT_TRUE(QDir().mkpath(folder));
    {
        auto container = openOrFail(sampleSchema(), path);
        ASSERT_TRUE(container);
        ModelContext& context = container->mainContext();
        context.setAutosaveEnabled(false);
        context.insert(std::make_unique<Sample>())->setValue(Sample::Name, "held");
        ASSERT_TRUE(context.save());

        // The whole folder goes, and a file takes its name: nothing can be made there.
        ASSERT_TRUE(QDir(folder).removeRecursively());
        tarnwick::test::writeFile(folder, "in the way");
        context.insert(std::make_unique<Sample>())->setValue(Sample::Name, "pending");
        const auto saved = context.save();
        ASSERT_FALSE(saved);
        EXPECT_TRUE(
            saved.error().description().startsWith("the notes file was removed and could not be written again: "))
            << qPrintable(saved.error().description());
        EXPECT_FALSE(saved.error().description().contains("full"));
        EXPECT_TRUE(context.hasChanges()) << "held in memory";

        ASSERT_TRUE(QFile::remove(folder));
        ASSERT_TRUE(context.save()) << "the folder is made again";
        ASSERT_TRUE(QFile::remove(path));
        // Closed with nothing to save.
    }
    EXPECT_EQ(query(path, "SELECT name FROM Sample ORDER BY _rowid"), (QStringList{"held", "pending"}));
}

// A restore or sync tool puts another file in the store's place while the store is open, with part of
// what was saved still in the store's log. That file opens afterwards exactly as it was put there:
// the log is never applied to it, neither at the next save nor at the close. What the store held is
// kept in a file of its own beside it, and later saves go there.
TEST(ModelContainer, AFileThatTookTheStoresPlaceIsLeftAsItWasAndTheStoreIsKeptBesideIt)
{
    for (const bool saveAfter : {false, true}) {
        SCOPED_TRACE(saveAfter ? "noticed by a save" : "noticed at the close");
        QTemporaryDir dir;
        const QString path = dir.filePath("default.store");
        const QString copy = dir.filePath("restored.store");
        QString kept;
        QByteArray put;
        // Outlives the container, whose close may still tell of a move.
        QList<QPair<QString, bool>> moves;
        {
            auto container = openOrFail(sampleSchema(), path);
            ASSERT_TRUE(container);
            ModelContext& context = container->mainContext();
            context.setAutosaveEnabled(false);
            context.insert(std::make_unique<Sample>())->setValue(Sample::Name, "before");
            ASSERT_TRUE(context.save());
            ASSERT_TRUE(context.checkpoint());
            ASSERT_TRUE(QFile::copy(path, copy));
            // The copy holds a table of its own.
            storetest::query(copy, "PRAGMA journal_mode = DELETE");
            storetest::query(copy, "CREATE TABLE Mine (x)");
            storetest::query(copy, "INSERT INTO Mine VALUES ('its own')");
            context.insert(std::make_unique<Sample>())->setValue(Sample::Name, "since");
            ASSERT_TRUE(context.save());
            ASSERT_GT(QFileInfo(path + "-wal").size(), 0) << "the later save is in the log";

            put = tarnwick::test::readFile(copy);
            ASSERT_EQ(::rename(QFile::encodeName(copy).constData(), QFile::encodeName(path).constData()), 0);

            QObject::connect(&context, &ModelContext::storeFileMoved, [&](const QString& to, bool replaced) {
                moves.append({to, replaced});
            });
            if (saveAfter) {
                context.insert(std::make_unique<Sample>())->setValue(Sample::Name, "after");
                ASSERT_TRUE(context.save());
                ASSERT_EQ(moves.size(), 1);
                kept = moves.first().first;
                EXPECT_TRUE(moves.first().second);
                EXPECT_EQ(tarnwick::test::readFile(path), put);
                EXPECT_FALSE(QFile::exists(path + "-wal")) << "our log is not left beside their file";
            }
        }
        EXPECT_EQ(tarnwick::test::readFile(path), put) << "untouched by the close";
        EXPECT_FALSE(QFile::exists(path + "-wal"));
        EXPECT_FALSE(QFile::exists(path + "-shm"));
        const QStringList keptFiles = QDir(dir.path()).entryList({"default-kept-*.store"}, QDir::Files);
        ASSERT_EQ(keptFiles.size(), 1);
        if (saveAfter) {
            EXPECT_EQ(dir.filePath(keptFiles.first()), kept);
        }
        kept = dir.filePath(keptFiles.first());
        EXPECT_TRUE(QRegularExpression("^default-kept-\\d{8}-\\d{6}\\.store$").match(keptFiles.first()).hasMatch());

        // Opened again, as the next launch does.
        openOrFail(sampleSchema(), path).reset();
        EXPECT_EQ(scalar(path, "PRAGMA integrity_check"), "ok");
        EXPECT_EQ(query(path, "SELECT name FROM Sample"), QStringList{"before"});
        EXPECT_EQ(query(path, "SELECT x FROM Mine"), QStringList{"its own"});
        EXPECT_EQ(scalar(kept, "PRAGMA integrity_check"), "ok");
        EXPECT_EQ(query(kept, "SELECT name FROM Sample ORDER BY _rowid"),
                  saveAfter ? (QStringList{"before", "since", "after"}) : (QStringList{"before", "since"}));
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
