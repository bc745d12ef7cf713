#include <signal.h>

#include <QCoreApplication>
#include <QProcess>

#include "NoteStoreFixture.h"
#include "platform/StoreTestSupport.h"

namespace {

using NoteStoreTest = NoteStoreFixture;
constexpr qint64 day = 86400;

TEST_F(NoteStoreTest, SaveNowAdvancesTheRevisionOnEveryAttemptAndOnlyThen)
{
    QSignalSpy revisions(store.get(), &NoteStore::revisionChanged);
    store->saveNow();
    EXPECT_EQ(store->revision(), 0) << "nothing pending: nothing saved";
    EXPECT_EQ(revisions.count(), 0);

    Note* note = addNote(QStringLiteral("Groceries"));
    store->saveNow();
    EXPECT_EQ(store->revision(), 1);
    ASSERT_EQ(revisions.count(), 1);
    EXPECT_EQ(revisions.at(0).at(0).toLongLong(), 1);
    EXPECT_EQ(storetest::scalar(path(), QStringLiteral("SELECT title FROM Note")), QStringLiteral("Groceries"));

    // A save the disk refuses is logged, still counts, and leaves the change in memory for later.
    ASSERT_TRUE(ModelContainerTesting::exec(
        *container, QStringLiteral("CREATE TRIGGER refuse BEFORE UPDATE ON Note BEGIN SELECT RAISE(ABORT, 'disk "
                                   "refused'); END")));
    note->setTitle(QStringLiteral("Groceries and more"));
    store->saveNow();
    EXPECT_EQ(store->revision(), 2);
    EXPECT_EQ(revisions.count(), 2);
    EXPECT_TRUE(context().hasChanges());
    EXPECT_TRUE(log.contains(QStringLiteral("Local save failed:")));
    EXPECT_TRUE(log.contains(QStringLiteral(". Change is still held in memory.")));
    EXPECT_EQ(note->title(), QStringLiteral("Groceries and more"));

    ASSERT_TRUE(ModelContainerTesting::exec(*container, QStringLiteral("DROP TRIGGER refuse")));
    store->saveNow();
    EXPECT_EQ(store->revision(), 3);
    EXPECT_FALSE(context().hasChanges());
    EXPECT_EQ(storetest::scalar(path(), QStringLiteral("SELECT title FROM Note")),
              QStringLiteral("Groceries and more"));
}

TEST_F(NoteStoreTest, PublishedStateAnnouncesOnlyRealChanges)
{
    QSignalSpy active(store.get(), &NoteStore::activeNoteIDChanged);
    QSignalSpy readOnly(store.get(), &NoteStore::readOnlyNoteIDsChanged);
    QSignalSpy sync(store.get(), &NoteStore::syncStateChanged);
    const QUuid a = QUuid::createUuid();

    store->setActiveNoteID(std::nullopt);
    store->setActiveNoteID(a);
    store->setActiveNoteID(QUuid(a.toString()));
    EXPECT_EQ(active.count(), 1);
    store->setActiveNoteID(std::nullopt);
    EXPECT_EQ(active.count(), 2);

    store->setReadOnlyNoteIDs({a});
    store->setReadOnlyNoteIDs({a});
    store->setReadOnlyNoteIDs({});
    EXPECT_EQ(readOnly.count(), 2);

    EXPECT_EQ(store->syncState(), SyncState::offline);
    store->setSyncState(SyncState::offline);
    store->setSyncState(SyncState::error);
    EXPECT_EQ(sync.count(), 1);
}

TEST_F(NoteStoreTest, LookupsAndQueries)
{
    Note* older = addNote(QStringLiteral("older"), {}, 300);
    Note* newer = addNote(QStringLiteral("newer"), {}, 100);
    Note* pinnedNote = addNote(QStringLiteral("pinned"), {}, 200);
    pinnedNote->setIsPinned(true);
    Note* binnedPin = addNote(QStringLiteral("binned pin"), {}, 50);
    binnedPin->setIsPinned(true);
    binnedPin->setIsTrashed(true);
    binnedPin->setDeletedAt(now().addSecs(-10));
    Note* binnedEarlier = addNote(QStringLiteral("binned earlier"), {}, 10);
    binnedEarlier->setIsTrashed(true);
    binnedEarlier->setDeletedAt(now().addSecs(-20));
    // A second row of `older`, updated later: lookups prefer it.
    Note* olderAgain = addDuplicate(*older, 1);
    olderAgain->setTitle(QStringLiteral("older, edited elsewhere"));

    auto* first = context().insert(std::make_unique<Capture>(QStringLiteral("first"), std::nullopt, std::nullopt,
                                                             std::nullopt, std::nullopt, std::nullopt));
    first->setCreatedAt(now().addSecs(-60));
    auto* second = context().insert(std::make_unique<Capture>(QStringLiteral("second"), std::nullopt, std::nullopt,
                                                              std::nullopt, std::nullopt, std::nullopt));
    clock.advance(1000);
    NoteImage* picture = addImage(newer->uuid(), Qt::red);
    clock.advance(1000);
    NoteImage* later = addImage(newer->uuid(), Qt::blue);
    const QUuid olderID = older->uuid(), newerID = newer->uuid(), binnedID = binnedPin->uuid();
    const QUuid firstID = first->uuid(), pictureID = picture->uuid(), laterID = later->uuid();
    reopen();

    auto titles = [](const QList<Note*>& notes) {
        QStringList out;
        for (const Note* n : notes) out << n->title();
        return out;
    };
    EXPECT_EQ(titles(store->allActive()), (QStringList{"older, edited elsewhere", "newer", "pinned", "older"}));
    EXPECT_EQ(titles(store->pinned()), QStringList{"pinned"}) << "a pinned note in the bin is not listed";
    EXPECT_EQ(titles(store->trashed()), (QStringList{"binned pin", "binned earlier"}));
    EXPECT_EQ(store->note(olderID)->title(), QStringLiteral("older, edited elsewhere"));
    EXPECT_EQ(store->note(binnedID)->title(), QStringLiteral("binned pin"));
    EXPECT_EQ(store->note(QUuid::createUuid()), nullptr);

    ASSERT_EQ(store->captures().size(), 2);
    EXPECT_EQ(store->captures().first()->text(), QStringLiteral("second"));
    EXPECT_EQ(store->capture(firstID)->text(), QStringLiteral("first"));
    EXPECT_EQ(store->capture(QUuid::createUuid()), nullptr);
    Q_UNUSED(second);

    const QList<NoteImage*> rows = store->images(newerID);
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0]->uuid(), pictureID);
    EXPECT_EQ(rows[1]->uuid(), laterID);
    EXPECT_EQ(store->image(laterID)->noteUUID(), newerID);
    EXPECT_TRUE(store->images(QUuid::createUuid()).isEmpty());
}

TEST_F(NoteStoreTest, BinAndRestore)
{
    Note* note = addNote(QStringLiteral("Trip"), QStringLiteral("passport"), 500);
    note->setIsPinned(true);
    store->setActiveNoteID(note->uuid());
    store->saveNow();
    const QDateTime updated = note->updatedAt();
    const qint64 revision = store->revision();

    store->softDelete(*note);
    EXPECT_TRUE(note->isTrashed());
    EXPECT_FALSE(note->isPinned());
    EXPECT_EQ(note->deletedAt(), now());
    EXPECT_EQ(note->updatedAt(), updated);
    EXPECT_EQ(store->revision(), revision + 1);
    EXPECT_EQ(store->activeNoteID(), note->uuid());
    EXPECT_EQ(storetest::scalar(path(), QStringLiteral("SELECT isTrashed FROM Note")), QStringLiteral("1"));

    // Binning again starts the 30 days afresh.
    clock.advance(5 * day * 1000);
    store->softDelete(*note);
    EXPECT_EQ(note->deletedAt(), now());

    store->restore(*note);
    EXPECT_FALSE(note->isTrashed());
    EXPECT_FALSE(note->deletedAt());
    EXPECT_FALSE(note->isPinned()) << "the pin is not given back";
    EXPECT_EQ(note->updatedAt(), updated);
    EXPECT_EQ(store->allActive().size(), 1);
}

TEST_F(NoteStoreTest, PurgeExpiredKeepsExactlyThirtyDaysAndNotesWithoutABinDate)
{
    auto binned = [&](const QString& title, std::optional<qint64> secondsAgo) {
        Note* n = addNote(title);
        n->setIsTrashed(true);
        n->setDeletedAt(secondsAgo ? std::optional(now().addSecs(-*secondsAgo)) : std::nullopt);
        return n;
    };
    Note* expired = binned(QStringLiteral("expired"), 30 * day + 1);
    binned(QStringLiteral("exactly thirty days"), 30 * day);
    binned(QStringLiteral("no bin date"), std::nullopt);
    Note* live = addNote(QStringLiteral("live with an old bin date"));
    live->setDeletedAt(now().addSecs(-90 * day));
    addImage(expired->uuid(), Qt::red);
    addImage(expired->uuid(), Qt::green);
    const QUuid kept = addImage(live->uuid(), Qt::red)->uuid();
    reopen();

    store->purgeExpired(now());
    EXPECT_EQ(store->revision(), 1);
    QStringList titles;
    for (const Note* n : rows<Note>()) titles << n->title();
    titles.sort();
    EXPECT_EQ(titles, (QStringList{"exactly thirty days", "live with an old bin date", "no bin date"}));
    EXPECT_EQ(imageIDs(), QSet<QUuid>{kept});
    EXPECT_EQ(storetest::scalar(path(), QStringLiteral("SELECT count(*) FROM NoteImage")), QStringLiteral("1"));

    // Nothing more expires: nothing is saved.
    store->purgeExpired(now());
    EXPECT_EQ(store->revision(), 1);
}

TEST_F(NoteStoreTest, PurgingDeletesNotesAndPicturesWithOneSave)
{
    store->purge(QList<Note*>{});
    EXPECT_EQ(store->revision(), 0);

    QList<Note*> notes;
    for (const QColor& c : {QColor(Qt::red), QColor(Qt::green), QColor(Qt::blue)}) {
        notes << addNote(c.name());
        addImage(notes.last()->uuid(), c);
    }
    Note* other = addNote(QStringLiteral("other"));
    NoteImage* otherPicture = addImage(other->uuid());
    store->saveNow();
    store->setActiveNoteID(notes[0]->uuid());

    store->purge(notes);
    EXPECT_EQ(store->revision(), 2);
    EXPECT_EQ(imageIDs(), QSet<QUuid>{otherPicture->uuid()});
    EXPECT_EQ(storetest::scalar(path(), QStringLiteral("SELECT count(*) FROM Note")), QStringLiteral("1"));
    EXPECT_EQ(store->activeNoteID(), notes[0]->uuid()) << "purging leaves the active note to its owners";

    store->purge(*other);
    EXPECT_EQ(store->revision(), 3);
    EXPECT_TRUE(imageIDs().isEmpty());
}

// The 30-day purge runs before duplicate rows are reconciled, so it can meet a binned, expired row
// whose UUID is also carried by the live note: the pictures filed under that UUID are the live note's.
TEST_F(NoteStoreTest, PurgingOneRowOfADuplicatedNoteKeepsThePicturesOfTheRowsThatRemain)
{
    Note* live = addNote(QStringLiteral("live"), {}, 10);
    NoteImage* picture = addImage(live->uuid());
    live->setBlocks(blocks({"T:look", "I:0"}, {picture}));
    Note* stale = addDuplicate(*live, 100 * day);
    stale->setIsTrashed(true);
    stale->setDeletedAt(now().addSecs(-60 * day));
    const QUuid id = live->uuid(), pictureID = picture->uuid();
    reopen();

    store->purgeExpired(now());
    ASSERT_EQ(rows<Note>().size(), 1);
    EXPECT_EQ(imageIDs(), QSet<QUuid>{pictureID});
    EXPECT_EQ(storetest::scalar(path(), QStringLiteral("SELECT count(*) FROM NoteImage")), QStringLiteral("1"));

    // Both rows purged together (emptying the bin): the pictures go with the last of them.
    addDuplicate(*store->note(id), 5);
    store->purge(rows<Note>());
    EXPECT_TRUE(rows<Note>().isEmpty());
    EXPECT_TRUE(imageIDs().isEmpty());
}

TEST_F(NoteStoreTest, AllTagsCountsUnlockedNotesOutsideTheBin)
{
    addNote(QStringLiteral("a"))->setTags({"work", "home"});
    addNote(QStringLiteral("b"))->setTags({"work"});
    Note* locked = addNote(QStringLiteral("c"));
    locked->setTags({"travel", "work"});
    locked->setIsLocked(true);
    Note* binned = addNote(QStringLiteral("d"));
    binned->setTags({"garden", "garden", "garden"});
    binned->setIsTrashed(true);
    EXPECT_EQ(store->allTags(), (QStringList{"work", "home"}));

    addNote(QStringLiteral("e"))->setTags({"Work", "home", "home"});
    EXPECT_EQ(store->allTags(), (QStringList{"home", "work", "Work"})) << "repeats count; case matters";
}

// Run only as the child of the crash test: saves one edit at a time through the store and reports each
// save that returned, until it is killed.
TEST(NoteStoreCrashChild, SaveUntilKilled)
{
    const QString path = qEnvironmentVariable("TARNWICK_NOTESTORE_CRASH_STORE");
    if (path.isEmpty()) GTEST_SKIP() << "runs as the child of KillDuringSavesLosesNoSaveThatReturned";
    auto container = std::move(ModelContainer::open(TarnwickSchemaV2::schema(), path)).value();
    Settings settings(std::make_unique<MemorySettingsBackend>());
    NoteStore store(container->mainContext(), Clock::system(), settings);
    Note* running = container->mainContext().insert(
        std::make_unique<Note>(QStringLiteral("0"), QString(), Tint::blue, Opacity::solid, std::nullopt, std::nullopt));
    for (qint64 i = 0;; ++i) {
        // One new note and one edit of a standing note per save.
        Note* n = container->mainContext().insert(std::make_unique<Note>(QString::number(i),
                                                                         QStringLiteral("body %1").arg(i), Tint::blue,
                                                                         Opacity::solid, std::nullopt, std::nullopt));
        n->setTags({QString::number(i)});
        running->setTitle(QString::number(i));
        const qint64 before = store.revision();
        store.saveNow();
        if (store.revision() != before + 1 || container->mainContext().hasChanges()) return;
        fprintf(stdout, "%lld\n", static_cast<long long>(i));
        fflush(stdout);
    }
}

TEST(NoteStoreCrash, KillDuringSavesLosesNoSaveThatReturned)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("default.store"));
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TARNWICK_NOTESTORE_CRASH_STORE"), path);
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=NoteStoreCrashChild.SaveUntilKilled")});
    ASSERT_TRUE(child.waitForStarted());
    qint64 lastReported = -1;
    QByteArray output;
    while (lastReported < 150 && child.state() == QProcess::Running) {
        child.waitForReadyRead(5000);
        output += child.readAllStandardOutput();
        const qsizetype end = output.lastIndexOf('\n');
        if (end < 0) continue;
        for (const QByteArray& line : output.left(end).split('\n')) {
            bool number = false;
            const qint64 n = line.toLongLong(&number);
            if (number) lastReported = std::max(lastReported, n);
        }
        output = output.mid(end + 1);
    }
    ::kill(pid_t(child.processId()), SIGKILL);
    child.waitForFinished();
    ASSERT_GE(lastReported, 150);

    auto container = std::move(ModelContainer::open(TarnwickSchemaV2::schema(), path)).value();
    Settings settings(std::make_unique<MemorySettingsBackend>());
    NoteStore store(container->mainContext(), Clock::system(), settings);
    QSet<QString> titles;
    for (const Note* n : store.allActive()) titles.insert(n->title());
    for (qint64 i = 0; i <= lastReported; ++i) EXPECT_TRUE(titles.contains(QString::number(i))) << i;
    // The standing note carries at least the last reported edit.
    qint64 standing = -1;
    for (const Note* n : store.allActive())
        if (n->body().isEmpty()) standing = n->title().toLongLong();
    EXPECT_GE(standing, lastReported);
}

}  // namespace
