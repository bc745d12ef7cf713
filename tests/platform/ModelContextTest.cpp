#include <gtest/gtest.h>

#include <sqlite3.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include "StoreTestSupport.h"
#include "platform/ModelContainer.h"
#include "platform/StoreRowReader.h"

using namespace storetest;

namespace {

class ModelContextTest : public ::testing::Test {
protected:
    void SetUp() override { reopen(); }

    void reopen()
    {
        container.reset();
        auto opened = ModelContainer::open(sampleSchema(), path());
        ASSERT_TRUE(opened.ok()) << qPrintable(opened.error().debugDescription());
        container = std::move(opened).value();
        context().setAutosaveEnabled(false);
    }
    QString path() const { return dir.filePath("test.store"); }
    ModelContext& context() { return container->mainContext(); }

    Sample* insertSample(const QString& name, qint64 count)
    {
        auto* s = context().insert(std::make_unique<Sample>());
        s->setValue(Sample::Name, name);
        s->setValue(Sample::Count, count);
        return s;
    }
    QList<Sample*> all(FetchDescriptor<Sample> d = {})
    {
        auto r = context().fetch<Sample>(d);
        EXPECT_TRUE(r.ok());
        return r.ok() ? *r : QList<Sample*>{};
    }
    QStringList names(const QList<Sample*>& list)
    {
        QStringList out;
        for (Sample* s : list) out << s->value(Sample::Name).toString();
        return out;
    }

    QTemporaryDir dir;
    std::unique_ptr<ModelContainer> container;
};

TEST_F(ModelContextTest, EveryAttributeTypeRoundTripsWithNoneAndEmptyKeptApart)
{
    const QUuid id = QUuid::createUuid();
    const QDateTime when = QDateTime::fromMSecsSinceEpoch(1772366400123, Qt::UTC);
    // One value per attribute, in declaration order.
    const QVariantList given{id,
                             "Grüße \"quoted\" 😀",
                             false,
                             Q_INT64_C(9007199254740993),
                             -0.1,
                             when,
                             QByteArray("\x00\x01\xff", 3),
                             QStringList{"a\"b", "", "ö"},
                             QUrl("https://example.org/a b?q=ü#f"),
                             QString(""),
                             QByteArray(""),
                             when,
                             QUrl("file:///tmp/x"),
                             0};
    auto* full = context().insert(std::make_unique<Sample>());
    QVariantList fullValues;  // as the object holds them, normalised to their attribute types
    for (int i = 0; i <= Sample::OptCount; ++i) {
        full->setValue(i, given[i]);
        fullValues << full->value(i);
    }
    auto* bare = context().insert(std::make_unique<Sample>());
    bare->setValue(Sample::Name, QString());
    bare->setValue(Sample::Uuid, id);  // no uniqueness: both rows are kept
    bare->setValue(Sample::Tags, QStringList{"x,y", QString(), "ü]"});
    ASSERT_TRUE(context().save().ok());
    ASSERT_NE(full->rowID(), 0);

    reopen();
    auto rows = all({nullptr, {{Sample::Count, false}}, std::nullopt});
    ASSERT_EQ(rows.size(), 2);
    for (int i = 0; i <= Sample::OptCount; ++i)
        EXPECT_TRUE(storedValuesEqual(rows[0]->value(i), fullValues[i]))
            << i << " " << qPrintable(rows[0]->value(i).toString()) << " vs " << qPrintable(fullValues[i].toString());
    EXPECT_FALSE(rows[0]->hasChanges());
    EXPECT_EQ(rows[1]->value(Sample::Uuid).toUuid(), id);
    // Empty is not none.
    EXPECT_TRUE(rows[0]->value(Sample::OptName).isValid());
    EXPECT_TRUE(rows[0]->value(Sample::OptBytes).isValid());
    Sample* b = rows[1];
    EXPECT_EQ(b->value(Sample::Name).toString(), QString());
    EXPECT_TRUE(b->value(Sample::Flag).toBool()) << "declared default";
    EXPECT_EQ(b->value(Sample::Ratio).toDouble(), 1.5);
    EXPECT_EQ(b->value(Sample::Tags).toStringList(), (QStringList{"x,y", "", "ü]"}));
    for (int i : {Sample::OptName, Sample::OptBytes, Sample::OptWhen, Sample::OptLink, Sample::OptCount})
        EXPECT_FALSE(b->value(i).isValid()) << i;

    // The stored forms other programs (and older builds) read.
    const QString where = QStringLiteral(" FROM Sample WHERE _rowid = %1").arg(rows[0]->rowID());
    rows.clear();
    container.reset();
    const QString db = path();
    EXPECT_EQ(scalar(db, "SELECT uuid" + where), id.toString(QUuid::WithoutBraces).toUpper());
    EXPECT_EQ(scalar(db, "SELECT typeof(\"when\") || ':' || \"when\"" + where), "real:1772366400.123");
    EXPECT_EQ(scalar(db, "SELECT typeof(bytes) || typeof(optBytes) || typeof(flag)" + where), "blobblobinteger");
    EXPECT_EQ(scalar(db, "SELECT tags" + where), "[\"a\\\"b\",\"\",\"ö\"]");
    EXPECT_EQ(scalar(db, "SELECT typeof(optName) FROM Sample WHERE optCount IS NULL"), "null");
}

TEST_F(ModelContextTest, FetchSeesUnsavedInsertsChangesAndDeletions)
{
    auto* first = insertSample("b", 2);
    insertSample("a", 1);
    auto* c = insertSample("c", 3);
    c->setValue(Sample::OptCount, 30);
    auto* d = insertSample("d", 4);
    d->setValue(Sample::OptCount, 10);
    ASSERT_TRUE(context().save().ok());
    EXPECT_EQ(all().first(), first) << "saved before the first fetch, still one object for the row";
    reopen();

    const auto stored = all();
    ASSERT_EQ(names(stored), (QStringList{"b", "a", "c", "d"})) << "store order without a sort";
    stored[0]->setValue(Sample::Count, 40);  // b: unsaved change
    context().remove(stored[1]);             // a: unsaved deletion
    insertSample("e", 5);                    // unsaved insert
    auto* gone = insertSample("f", 6);
    context().remove(gone);  // inserted and deleted: never seen

    EXPECT_EQ(names(all({nullptr, {{Sample::Count, true}}, std::nullopt})), (QStringList{"c", "d", "e", "b"}));
    EXPECT_EQ(
        names(all(
            {[](const Sample& s) { return s.value(Sample::Count).toLongLong() > 3; }, {{Sample::Count, false}}, 2})),
        (QStringList{"b", "e"}));
    // Absent values sort first ascending and last descending; ties keep store order.
    EXPECT_EQ(names(all({nullptr, {{Sample::OptCount, true}}, std::nullopt})), (QStringList{"b", "e", "d", "c"}));
    EXPECT_EQ(names(all({nullptr, {{Sample::OptCount, false}}, std::nullopt})), (QStringList{"c", "d", "b", "e"}));
    EXPECT_EQ(names(all({nullptr, {{Sample::Flag, true}, {Sample::Name, false}}, 3})), (QStringList{"e", "d", "c"}));
    EXPECT_EQ(all({nullptr, {}, 0}).size(), 0);
    EXPECT_EQ(names(all({nullptr, {}, 1})), (QStringList{"b"}));

    // One row is one object, and the deleted one is still a valid object.
    EXPECT_EQ(all().first(), stored[0]);
    EXPECT_TRUE(stored[1]->isDeleted());
    EXPECT_EQ(stored[1]->value(Sample::Name).toString(), "a");

    ASSERT_TRUE(context().save().ok());
    reopen();
    EXPECT_EQ(names(all({nullptr, {{Sample::Name, true}}, std::nullopt})), (QStringList{"b", "c", "d", "e"}));
    EXPECT_EQ(all({nullptr, {{Sample::Name, true}}, std::nullopt}).first()->value(Sample::Count).toLongLong(), 40);
}

TEST_F(ModelContextTest, HasChangesIsExact)
{
    auto* s = insertSample("x", 1);
    EXPECT_TRUE(context().hasChanges());
    context().remove(s);
    EXPECT_FALSE(context().hasChanges()) << "inserted then deleted before a save";
    EXPECT_TRUE(context().save().ok());

    auto* kept = insertSample("y", 1);
    ASSERT_TRUE(context().save().ok());
    EXPECT_FALSE(context().hasChanges());
    kept->setValue(Sample::Name, "y");
    EXPECT_FALSE(context().hasChanges()) << "an equal value is no change";
    kept->setValue(Sample::Count, 1.0);
    EXPECT_FALSE(context().hasChanges()) << "normalised to the attribute's type before comparing";
    kept->setValue(Sample::Name, "z");
    EXPECT_TRUE(context().hasChanges());
    kept->setValue(Sample::Name, "y");
    EXPECT_FALSE(context().hasChanges()) << "back to the saved value";
    kept->setValue(Sample::OptName, QString(""));
    EXPECT_TRUE(context().hasChanges()) << "empty differs from none";
    kept->setValue(Sample::OptName, QVariant());
    EXPECT_FALSE(context().hasChanges());
    context().remove(kept);
    EXPECT_TRUE(context().hasChanges());
    ASSERT_TRUE(context().save().ok());
    EXPECT_FALSE(context().hasChanges());
    kept->setValue(Sample::Name, "after");
    EXPECT_FALSE(context().hasChanges()) << "a deleted object is no longer stored";
}

TEST_F(ModelContextTest, FailedSaveRollsBackAndKeepsEveryChangeForTheNextSave)
{
    auto* s = insertSample("before", 1);
    ASSERT_TRUE(context().save().ok());
    s->setValue(Sample::Name, "after");
    auto* doomed = insertSample("doomed", 2);
    auto* other = context().insert(std::make_unique<Other>());
    other->setValue(Other::Label, "blocked");
    // The last statement of the transaction fails, after the others were written.
    ASSERT_TRUE(ModelContainerTesting::exec(
        *container, "CREATE TRIGGER block BEFORE INSERT ON Other BEGIN SELECT RAISE(ABORT, 'no'); END"));

    auto failed = context().save();
    ASSERT_FALSE(failed.ok());
    EXPECT_TRUE(failed.error().description().contains("no"));
    EXPECT_TRUE(context().hasChanges());
    EXPECT_EQ(doomed->rowID(), 0);
    EXPECT_TRUE(doomed->isInserted());
    EXPECT_TRUE(s->isChanged(Sample::Name));
    {
        const QString db = path();
        EXPECT_EQ(query(db, "SELECT name FROM Sample"), QStringList{"before"});
        EXPECT_EQ(scalar(db, "SELECT count(*) FROM Other"), "0");
    }

    ASSERT_TRUE(ModelContainerTesting::exec(*container, "DROP TRIGGER block"));
    ASSERT_TRUE(context().save().ok());
    EXPECT_FALSE(context().hasChanges());
    reopen();
    EXPECT_EQ(names(all({nullptr, {{Sample::Name, true}}, std::nullopt})), (QStringList{"after", "doomed"}));
    EXPECT_EQ(context().fetch<Other>()->size(), 1);
}

TEST_F(ModelContextTest, AutosaveWritesOnTheNextTurnOnlyWhenEnabled)
{
    auto* s = insertSample("x", 1);
    QCoreApplication::processEvents();
    EXPECT_TRUE(context().hasChanges()) << "autosave is off in this fixture";

    context().setAutosaveEnabled(true);
    EXPECT_TRUE(context().hasChanges()) << "never synchronously";
    QCoreApplication::processEvents();
    EXPECT_FALSE(context().hasChanges());
    EXPECT_NE(s->rowID(), 0);
    for (int i = 0; i < 5; ++i) s->setValue(Sample::Count, i + 10);
    QCoreApplication::processEvents();
    EXPECT_FALSE(context().hasChanges());
    s->setValue(Sample::Name, "last change before quitting");
    container.reset();  // no turn of the event loop in between
    reopen();
    EXPECT_EQ(all().first()->value(Sample::Count).toLongLong(), 14);
    EXPECT_EQ(all().first()->value(Sample::Name).toString(), "last change before quitting");
}

}  // namespace

namespace {
// Large values are read only when asked for; that must never show as a change, lose a value or write
// one that was not changed.
TEST_F(ModelContextTest, LargeValuesAreReadOnFirstUseAndSavedOnlyWhenChanged)
{
    const QByteArray big(100000, 'x');
    Sample* s = insertSample("big", 1);
    s->setValue(Sample::Bytes, big);
    s->setValue(Sample::OptBytes, QByteArray("opt"));
    insertSample("none", 2);
    ASSERT_TRUE(context().save().ok());
    reopen();

    QList<Sample*> rows = all({nullptr, {{Sample::Count, true}}, std::nullopt});
    ASSERT_EQ(rows.size(), 2);
    Sample* unread = rows[0];
    EXPECT_TRUE(unread->hasValue(Sample::OptBytes));
    EXPECT_FALSE(rows[1]->hasValue(Sample::OptBytes));
    EXPECT_FALSE(context().hasChanges());
    unread->setValue(Sample::Name, "renamed");
    ASSERT_TRUE(context().save().ok());
    EXPECT_EQ(scalar(path(), "SELECT length(Bytes) || ' ' || OptBytes FROM Sample WHERE Name = 'renamed'"),
              "100000 opt")
        << "a value never read saves unchanged";

    EXPECT_EQ(context().peekValues({unread}, Sample::Bytes).first().toByteArray(), big);
    EXPECT_EQ(unread->value(Sample::Bytes).toByteArray(), big);
    unread->setValue(Sample::OptBytes, QByteArray("changed"));
    context().releaseLargeValues();
    EXPECT_EQ(unread->value(Sample::OptBytes).toByteArray(), "changed") << "a pending change is never let go";
    ASSERT_TRUE(context().save().ok());
    EXPECT_EQ(scalar(path(), "SELECT OptBytes FROM Sample WHERE Name = 'renamed'"), "changed");
    context().releaseLargeValues();
    EXPECT_EQ(unread->value(Sample::Bytes).toByteArray(), big);

    // A deleted row's object keeps its values for whoever still holds it.
    context().releaseLargeValues();
    context().remove(unread);
    ASSERT_TRUE(context().save().ok());
    EXPECT_EQ(unread->value(Sample::OptBytes).toByteArray(), "changed");
}
}  // namespace

namespace {

// A worker's own read of the stored rows, in stretches at once: every row once, each stretch in row
// order and the stretches in row order by part; withheld values are never read; a store it cannot open
// is a failure, not an empty store.
TEST_F(ModelContextTest, RowScanGivesStoredValuesInRowOrderAndWithholdsFlaggedOnes)
{
    EXPECT_TRUE(StoreRowReader::scan(path(), Sample::entityDescription(), {Sample::Count}, 4,
                                     [](int, const StoreRowReader::RawRow&) { ADD_FAILURE() << "no rows yet"; }))
        << "an empty table is read, not failed";
    for (int i = 0; i < 10; ++i) {
        Sample* s = insertSample(QStringLiteral("s%1").arg(i), i);
        s->setValue(Sample::Flag, i % 3 == 0);
        s->setValue(Sample::OptName, QStringLiteral("private ö%1").arg(i));
    }
    ASSERT_TRUE(context().save().ok());
    ASSERT_TRUE(ModelContainerTesting::exec(*container, "DELETE FROM Sample WHERE Count = 4"));

    struct Seen {
        qint64 row;
        qint64 count;
        std::optional<QString> name;
    };
    for (const int parts : {1, 3, 40}) {
        SCOPED_TRACE(parts);
        std::vector<std::vector<Seen>> byPart(static_cast<size_t>(parts));
        ASSERT_TRUE(StoreRowReader::scan(
            path(), Sample::entityDescription(), {Sample::Count, Sample::OptName}, parts,
            [&](int part, const StoreRowReader::RawRow& row) {
                const std::string_view name = row.bytes(1);
                byPart[size_t(part)].push_back(
                    {row.rowID(), qint64(row.number(0)),
                     row.isNull(1) ? std::nullopt
                                   : std::optional(QString::fromUtf8(name.data(), qsizetype(name.size())))});
            },
            {Sample::Flag, {Sample::OptName}}));
        std::vector<Seen> seen;
        for (const auto& part : byPart) seen.insert(seen.end(), part.begin(), part.end());
        ASSERT_EQ(seen.size(), 9u);
        for (size_t k = 0; k < seen.size(); ++k) {
            const int i = int(k < 4 ? k : k + 1);
            EXPECT_LT(k ? seen[k - 1].row : 0, seen[k].row);
            EXPECT_EQ(seen[k].count, i);
            EXPECT_EQ(seen[k].name, i % 3 ? std::optional(QStringLiteral("private ö%1").arg(i)) : std::nullopt) << i;
        }
    }
    const auto none = [](int, const StoreRowReader::RawRow&) {};
    EXPECT_FALSE(StoreRowReader::scan(path() + ".missing", Sample::entityDescription(), {Sample::Count}, 2, none));
    EXPECT_FALSE(StoreRowReader::scan(QString(), Sample::entityDescription(), {Sample::Count}, 2, none));
}
}  // namespace

namespace {

// A large table is read in stretches by helpers at once; it must come out as one read alone gives it:
// every row once, in row order, values and unread large values alike, and an object saved before the
// first fetch kept. Another connection holding the write lock makes the context read alone, at once.
TEST_F(ModelContextTest, ALargeTableReadsTheSameInStretchesAsAlone)
{
    for (int i = 0; i < 20000; ++i) {
        Sample* s = insertSample(QStringLiteral("s%1").arg(i), i);
        if (i % 7 == 0) s->setValue(Sample::OptName, QStringLiteral("ö%1").arg(i));
        if (i % 5 == 0) s->setValue(Sample::Bytes, QByteArray::number(i));
    }
    ASSERT_TRUE(context().save().ok());
    ASSERT_TRUE(ModelContainerTesting::exec(*container, "DELETE FROM Sample WHERE Count % 1000 = 3"));
    reopen();
    Sample* early = insertSample("saved before the first fetch", -1);
    ASSERT_TRUE(context().save().ok());

    auto snapshot = [&] {
        QStringList lines;
        for (Sample* s : all()) {
            QStringList fields{QString::number(s->rowID())};
            for (int a = 0; a <= Sample::OptCount; ++a)
                fields << (a == Sample::Bytes || a == Sample::OptBytes ? QString::number(s->hasValue(a))
                                                                       : s->value(a).toString());
            lines << fields.join(u'|');
        }
        return lines;
    };
    const QList<Sample*> first = all();
    ASSERT_EQ(first.size(), 20000 - 20 + 1);
    EXPECT_EQ(first.last(), early) << "the object saved before the fetch is the one listed";
    for (qsizetype i = 1; i < first.size(); ++i) ASSERT_LT(first[i - 1]->rowID(), first[i]->rowID());
    EXPECT_EQ(first[9]->value(Sample::Count).toLongLong(), 10);
    EXPECT_EQ(first[9]->value(Sample::Bytes).toByteArray(), "10") << "a large value is read when asked for";
    EXPECT_FALSE(context().hasChanges());
    const QStringList inStretches = snapshot();

    reopen();
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path().toUtf8().constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    const QStringList alone = snapshot();
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_EQ(alone, inStretches);

    // The lock taken for the stretches is let go: this context and others can write.
    all().first()->setValue(Sample::Name, "renamed");
    EXPECT_TRUE(context().save().ok());
    EXPECT_EQ(scalar(path(), "SELECT Name FROM Sample ORDER BY _rowid LIMIT 1"), "renamed");
}

}  // namespace

namespace {

// Another connection holding the store's write lock: a background write started meanwhile waits for
// it, so the test acts while that write is surely under way.
class WriteLock {
public:
    explicit WriteLock(const QString& path)
    {
        sqlite3_open(path.toUtf8().constData(), &m_db);
        m_held = sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    ~WriteLock() { release(); }
    bool held() const { return m_held; }
    void release()
    {
        if (!m_db) return;
        sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(m_db);
        m_db = nullptr;
    }

private:
    sqlite3* m_db = nullptr;
    bool m_held = false;
};

// Turns the event loop until `done`; false after a few seconds (only a hang takes that long).
bool settle(const std::function<bool()>& done)
{
    QElapsedTimer limit;
    limit.start();
    while (!done()) {
        if (limit.elapsed() > 10'000) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

constexpr qsizetype kLarge = 2 << 20;

TEST_F(ModelContextTest, LargeAutosaveIsWrittenInTheBackgroundAndEditsMadeMeanwhileAreSavedNext)
{
    Sample* kept = insertSample("kept", 1);
    ASSERT_TRUE(context().save().ok());
    Sample* large = insertSample(QString(kLarge, u'l'), 2);
    Sample* dropped = insertSample(QString(kLarge, u'd'), 3);
    kept->setValue(Sample::Bytes, QByteArray(kLarge, 'k'));
    QStringList outcomes;
    QObject::connect(&context(), &ModelContext::saveFinished, [&](const QString& failure) { outcomes << failure; });

    WriteLock lock(path());
    ASSERT_TRUE(lock.held());
    context().setAutosaveEnabled(true);
    ASSERT_TRUE(settle([&] { return context().isWriting(); }));
    EXPECT_TRUE(context().hasChanges()) << "nothing is saved before the write ends";
    large->setValue(Sample::Count, 20);  // its row is being written with 2
    kept->setValue(Sample::Name, "kept, renamed");
    kept->setValue(Sample::Bytes, QByteArray("small again"));
    context().remove(dropped);  // its row is being written
    EXPECT_EQ(large->rowID(), 0);
    lock.release();

    ASSERT_TRUE(settle([&] { return !context().isWriting() && !context().hasChanges(); }));
    EXPECT_EQ(outcomes, (QStringList{QString(), QString()})) << "the large write, then what changed meanwhile";
    EXPECT_NE(large->rowID(), 0);
    EXPECT_EQ(query(path(), "SELECT Count || ' ' || length(Name) || ' ' || length(Bytes) FROM Sample ORDER BY Count"),
              (QStringList{"1 13 11", QString("20 %1 0").arg(kLarge)}));
    reopen();
    EXPECT_EQ(names(all({nullptr, {{Sample::Count, true}}, std::nullopt})).first(), "kept, renamed");
    EXPECT_EQ(all().size(), 2);
}

TEST_F(ModelContextTest, SaveAndQuitWaitForABackgroundWrite)
{
    Sample* large = insertSample(QString(kLarge, u'w'), 1);
    {
        WriteLock lock(path());
        context().setAutosaveEnabled(true);
        ASSERT_TRUE(settle([&] { return context().isWriting(); }));
    }
    Sample* later = insertSample("later", 2);
    ASSERT_TRUE(context().save().ok());
    EXPECT_FALSE(context().isWriting());
    EXPECT_FALSE(context().hasChanges());
    EXPECT_EQ(query(path(), "SELECT length(Name) FROM Sample ORDER BY Count"),
              (QStringList{QString::number(kLarge), "5"}));

    // Quitting while a write runs: the container waits for it and saves what changed after it began.
    later->setValue(Sample::Bytes, QByteArray(kLarge, 'q'));
    {
        WriteLock lock(path());
        ASSERT_TRUE(settle([&] { return context().isWriting(); }));
        later->setValue(Sample::Count, 3);
        large->setValue(Sample::Name, "short");
    }
    container.reset();
    EXPECT_EQ(query(path(), "SELECT Count || ' ' || Name || ' ' || length(Bytes) FROM Sample ORDER BY Count"),
              (QStringList{"1 short 0", QString("3 later %1").arg(kLarge)}));
}

TEST_F(ModelContextTest, AFailedBackgroundWriteIsReportedAndLeavesEveryChangePending)
{
    Sample* stored = insertSample("stored", 1);
    ASSERT_TRUE(context().save().ok());
    QStringList outcomes;
    QObject::connect(&context(), &ModelContext::saveFinished, [&](const QString& failure) { outcomes << failure; });
    ASSERT_TRUE(ModelContainerTesting::exec(
        *container, "CREATE TRIGGER block BEFORE UPDATE ON Sample BEGIN SELECT RAISE(ABORT, 'refused'); END"));
    Sample* fresh = insertSample(QString(kLarge, u'n'), 2);
    stored->setValue(Sample::Bytes, QByteArray(kLarge, 'f'));
    context().setAutosaveEnabled(true);

    ASSERT_TRUE(settle([&] { return !outcomes.isEmpty() && !context().isWriting(); }));
    ASSERT_EQ(outcomes.size(), 1);
    EXPECT_TRUE(outcomes.first().contains("refused")) << qPrintable(outcomes.first());
    EXPECT_EQ(fresh->rowID(), 0);
    EXPECT_TRUE(fresh->isInserted());
    EXPECT_TRUE(stored->isChanged(Sample::Bytes));
    EXPECT_TRUE(context().hasChanges());
    EXPECT_EQ(query(path(), "SELECT Name || ' ' || length(Bytes) FROM Sample"), QStringList{"stored 0"});
    // Not tried again in a loop: the store's owner retries, spaced out.
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    EXPECT_EQ(outcomes.size(), 1);

    ASSERT_TRUE(ModelContainerTesting::exec(*container, "DROP TRIGGER block"));
    ASSERT_TRUE(context().save().ok());
    EXPECT_EQ(query(path(), "SELECT Count || ' ' || length(Name) || ' ' || length(Bytes) FROM Sample ORDER BY Count"),
              (QStringList{QString("1 6 %1").arg(kLarge), QString("2 %1 0").arg(kLarge)}));
}

}  // namespace
