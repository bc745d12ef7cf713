#include "store/LaunchBodyCheck.h"
#include "support/NoteStoreFixture.h"

namespace {

// The launch's repair with a worker's look at the stored bodies beforehand: it must repair exactly what
// the full check repairs, and anything the worker could not vouch for is checked in full.
class LaunchBodyCheckTest : public tarnwick::test::NoteStoreTestBase {
protected:
    struct Ids {
        QUuid future, drifted, broken, fine, accented, locked;
    };

    // A store with one note of every kind the repair tells apart, saved and opened afresh.
    Ids fill()
    {
        Ids ids;
        Note* future = addNote("future", "from a newer build");
        future->setBodyBlocksData(QByteArray(R"({"version":2,"blocks":[{"future":true}]})"));
        Note* drifted = addNote("drifted");
        drifted->setBlocks(blocks({"T:first"}));
        drifted->setBody("first\nsecond");
        Note* broken = addNote("broken", "just text");
        broken->setBodyBlocksData(QByteArray("{broken"));
        Note* fine = addNote("fine");
        fine->setBlocks(blocks({"T:fine"}));
        Note* accented = addNote("accented");
        accented->setBlocks({NoteBlock::text(TextRuns{"e\u0301", {{.len = 2, .b = true}}})});
        accented->setBody("\u00e9");
        Note* locked = addNote("locked");
        locked->setBlocks(blocks({"T:one"}));
        locked->setBody("another");
        locked->setIsLocked(true);
        for (int i = 0; i < 300; ++i) addNote(QStringLiteral("n%1").arg(i))->setBlocks(blocks({"T:Grüße"}));
        ids = {future->uuid(), drifted->uuid(), broken->uuid(), fine->uuid(), accented->uuid(), locked->uuid()};
        open();
        return ids;
    }

    void expectRepaired(const Ids& ids)
    {
        EXPECT_EQ(store->readOnlyNoteIDs(), QSet<QUuid>{ids.future});
        EXPECT_EQ(shape(store->note(ids.drifted)->blocks()), QStringList{"T:first\nsecond"});
        EXPECT_EQ(shape(store->note(ids.broken)->blocks()), QStringList{"T:just text"});
        EXPECT_EQ(store->note(ids.accented)->blocks().first().textRuns()->runs.size(), 1) << "no drift, kept bold";
        EXPECT_EQ(sql("SELECT body FROM Note WHERE title = 'locked'"), "another") << "locked notes are not touched";
    }
};

TEST_F(LaunchBodyCheckTest, TheWorkerSuspectsExactlyTheBodiesTheRepairWouldChange)
{
    const Ids ids = fill();
    LaunchBodyCheck check(path());
    const auto& verdict = check.verdict();
    ASSERT_TRUE(verdict);
    auto rowOf = [&](const QUuid& id) { return store->note(id)->rowID(); };
    EXPECT_EQ(verdict->suspects,
              (std::unordered_set<qint64>{rowOf(ids.future), rowOf(ids.drifted), rowOf(ids.broken)}));
    EXPECT_TRUE(verdict->isSound(rowOf(ids.fine)));
    EXPECT_TRUE(verdict->isSound(rowOf(ids.accented)));
    EXPECT_FALSE(verdict->isSound(rowOf(ids.locked))) << "never looked at, so not vouched for";
    EXPECT_FALSE(verdict->isSound(999999));
    EXPECT_EQ(verdict->checked.size(), 305u);
    // Asked with a cursor, in row order or out of it, the answers are the same.
    std::vector<qint64> asked;
    for (qint64 row = 0; row < 330; ++row) asked.push_back(row);
    for (qint64 row : {300, 3, 3, 200, 1, 999999, 0, 305, 2}) asked.push_back(row);
    size_t cursor = 0;
    for (qint64 row : asked) EXPECT_EQ(verdict->isSound(row, &cursor), verdict->isSound(row)) << row;

    // Neither a store in memory nor a missing file gives a verdict.
    EXPECT_FALSE(LaunchBodyCheck(QString()).verdict());
    EXPECT_FALSE(LaunchBodyCheck(path() + ".missing").verdict());
}

TEST_F(LaunchBodyCheckTest, RepairWithTheWorkerMatchesTheFullCheckAndLeavesSoundBodiesUnread)
{
    const Ids ids = fill();
    store->startBodyCheck();
    store->reconcileForSync();
    expectRepaired(ids);
    EXPECT_EQ(store->revision(), 1);

    // A sound body the repair never read saves unchanged when something else of its note changes.
    Note* fine = store->note(ids.fine);
    EXPECT_FALSE(fine->hasChanges());
    fine->setTitle("renamed");
    fine->setBody("fine");
    EXPECT_EQ(fine->isChanged(Note::Body), false) << "the same text is no change";
    EXPECT_TRUE(store->saveNow());
    EXPECT_EQ(sql("SELECT body FROM Note WHERE title = 'renamed'"), "fine");
    EXPECT_EQ(sql("SELECT count(*) FROM Note WHERE body = 'Grüße'"), "300");
}

TEST_F(LaunchBodyCheckTest, WhatTheWorkerCannotVouchForIsCheckedInFull)
{
    // No verdict at all: everything is checked, as without a worker.
    Ids ids = fill();
    store->startBodyCheck(std::make_unique<LaunchBodyCheck>(path() + ".missing"));
    store->reconcileForSync();
    expectRepaired(ids);

    // A verdict taken before a note drifted in memory does not cover the note.
    ids = fill();
    store->startBodyCheck();
    Note* fine = store->note(ids.fine);
    fine->setBody("fine\nand more");
    store->reconcileForSync();
    EXPECT_EQ(shape(fine->blocks()), QStringList{"T:fine\nand more"});

    // Nor a row stored after the worker looked, though nothing changed it since it was loaded.
    open();
    auto check = std::make_unique<LaunchBodyCheck>(path());
    ASSERT_TRUE(check->verdict());
    QUuid lateID;
    {
        auto other = std::move(ModelContainer::open(TarnwickSchemaV2::schema(), path())).value();
        Note* late = other->mainContext().insert(std::make_unique<Note>("late", QString(), Tint::blue, Opacity::solid,
                                                                        std::nullopt, std::nullopt,
                                                                        QDateTime::currentDateTimeUtc()));
        late->setBlocks(blocks({"T:late"}));
        late->setBody("late, longer");
        lateID = late->uuid();
        ASSERT_TRUE(other->mainContext().save());
    }
    store->startBodyCheck(std::move(check));
    store->reconcileForSync();
    EXPECT_EQ(shape(store->note(lateID)->blocks()), QStringList{"T:late, longer"});
}

}  // namespace
