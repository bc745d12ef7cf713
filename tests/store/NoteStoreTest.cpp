
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QSignalSpy>
#include <QTest>
#include <cstdio>

#include "model/Capture.h"
#include "platform/NotificationCenter.h"
#include "support/FileSizeLimit.h"
#include "support/NoteStoreFixture.h"

namespace {

using NoteStoreTest = tarnwick::test::NoteStoreTestBase;
constexpr qint64 day = 86400;

QStringList titles(const QList<Note*>& notes)
{
    QStringList out;
    for (const Note* n : notes) out << n->title();
    return out;
}

// The tries to write a removed notes file back that failed: each says so once, in a line of its own.
qsizetype failedWriteBacks(const tarnwick::test::LogCapture& log)
{
    const QStringList lines = log.lines("store");
    return std::count_if(lines.begin(), lines.end(), [](const QString& line) {
        return line.startsWith("the notes file was removed and could not be written again");
    });
}

TEST_F(NoteStoreTest, SaveNowAdvancesTheRevisionOnEveryAttemptAndOnlyThen)
{
    QSignalSpy revisions(store.get(), &NoteStore::revisionChanged);
    store->saveNow();
    EXPECT_EQ(revisions.count(), 0) << "nothing pending: nothing saved";

    Note* note = addNote("Groceries");
    store->saveNow();
    EXPECT_EQ(store->revision(), 1);
    EXPECT_EQ(sql("SELECT title FROM Note"), "Groceries");

    // A save the disk refuses is logged and still counts; the change waits in memory.
    ASSERT_TRUE(ModelContainerTesting::exec(
        *container, "CREATE TRIGGER no BEFORE UPDATE ON Note BEGIN SELECT RAISE(ABORT, 'full'); END"));
    note->setTitle("Groceries and more");
    EXPECT_FALSE(store->saveNow());
    EXPECT_EQ(store->revision(), 2);
    EXPECT_TRUE(log.contains("Local save failed: full. Change is still held in memory."));
    ASSERT_TRUE(ModelContainerTesting::exec(*container, "DROP TRIGGER no"));
    store->saveNow();
    EXPECT_EQ(revisions.count(), 3);
    EXPECT_EQ(sql("SELECT title FROM Note"), "Groceries and more");
}

// A refused save (the disk full) is said and tried again on its own, less often the longer it lasts,
// until the change is on disk; an autosave that fails counts the same.
TEST_F(NoteStoreTest, AFailedSaveIsSaidAndRetriedUntilItIsOnDisk)
{
    Note* note = addNote("Groceries");
    store->saveNow();
    QSignalSpy told(store.get(), &NoteStore::saveFailureChanged);
    ASSERT_TRUE(ModelContainerTesting::exec(
        *container, "CREATE TRIGGER no BEFORE UPDATE ON Note BEGIN SELECT RAISE(ABORT, 'disk full'); END"));
    note->setTitle("Groceries and more");
    EXPECT_FALSE(context().save());  // as autosave saves
    EXPECT_EQ(store->saveFailure(), "disk full");
    EXPECT_EQ(told.count(), 1);

    clock.advance(NoteStore::firstRetryMs);  // tried again, refused again: said once only
    EXPECT_EQ(store->saveFailure(), "disk full");
    EXPECT_EQ(told.count(), 1);
    ASSERT_TRUE(ModelContainerTesting::exec(*container, "DROP TRIGGER no"));
    clock.advance(2 * NoteStore::firstRetryMs - 1);  // the next try waits twice as long
    EXPECT_EQ(sql("SELECT title FROM Note"), "Groceries");
    clock.advance(1);
    EXPECT_EQ(sql("SELECT title FROM Note"), "Groceries and more");
    EXPECT_EQ(store->saveFailure(), std::nullopt);
    EXPECT_EQ(told.count(), 2);
    EXPECT_EQ(clock.pendingCount(), 0) << "nothing is tried once all is saved";

    // The waits grow to at most longestRetryMs.
    ASSERT_TRUE(ModelContainerTesting::exec(
        *container, "CREATE TRIGGER no BEFORE UPDATE ON Note BEGIN SELECT RAISE(ABORT, 'disk full'); END"));
    note->setTitle("Groceries, again");
    store->saveNow();
    clock.advance(1000 + 2000 + 4000 + 5000);  // four tries
    ASSERT_TRUE(ModelContainerTesting::exec(*container, "DROP TRIGGER no"));
    clock.advance(NoteStore::longestRetryMs);
    EXPECT_EQ(sql("SELECT title FROM Note"), "Groceries, again");
}

// The notes file taken away under the running app: removed, the notes are written back at its path
// and saving goes on, with nothing to tell; replaced, the file put there is left alone and the store
// says where the notes are kept meanwhile (the shelf shows it).
TEST_F(NoteStoreTest, ANotesFileRemovedOrReplacedIsNoSaveFailure)
{
    Note* note = addNote("Groceries");
    store->saveNow();
    QSignalSpy kept(store.get(), &NoteStore::keptFileChanged);
    for (const char* suffix : {"", "-wal", "-shm"}) QFile::remove(path() + suffix);
    // Seen as it happens, with nothing to save.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            clock.advance(NoteStore::storeFolderSettleMs / 4);
            return QFileInfo(path()).size() > 0;
        },
        10000));
    EXPECT_EQ(sql("SELECT title FROM Note"), "Groceries");
    for (const char* suffix : {"", "-wal", "-shm"}) QFile::remove(path() + suffix);
    note->setTitle("after the removal");
    EXPECT_TRUE(store->saveNow());
    EXPECT_EQ(store->saveFailure(), std::nullopt);
    EXPECT_EQ(store->keptFile(), std::nullopt);
    EXPECT_EQ(kept.count(), 0);
    EXPECT_EQ(sql("SELECT title FROM Note"), "after the removal");

    const QString other = dir.filePath("other.store");
    tarnwick::test::writeFile(other, QByteArray());
    ASSERT_EQ(std::rename(QFile::encodeName(other).constData(), QFile::encodeName(path()).constData()), 0);
    note->setTitle("after the replacement");
    {
        // No room for the copy kept beside it: the notes are nowhere but here until there is.
        tarnwick::test::FileSizeLimit full(4096);
        EXPECT_FALSE(store->saveNow());
        EXPECT_TRUE(store->notesFileLost());
    }
    EXPECT_TRUE(store->saveNow());
    EXPECT_EQ(store->saveFailure(), std::nullopt);
    EXPECT_FALSE(store->notesFileLost());
    ASSERT_TRUE(store->keptFile());
    EXPECT_EQ(kept.count(), 1);
    EXPECT_TRUE(QFileInfo(*store->keptFile()).fileName().startsWith("default-kept-"));
    EXPECT_EQ(storetest::scalar(*store->keptFile(), "SELECT title FROM Note"), "after the replacement");
    EXPECT_EQ(QFileInfo(path()).size(), 0) << "the file put there is left alone";
    EXPECT_TRUE(NoteStore::keptFileText(*store->keptFile()).contains(*store->keptFile()));
}

// Where the notes file cannot be written again, saving fails with that cause, and the retries go on
// writing it again even once nothing else waits to be saved.
TEST_F(NoteStoreTest, ANotesFileThatCannotBeWrittenAgainIsRetried)
{
    addNote("Groceries");
    store->saveNow();
    QFile::remove(path());
    QFile::remove(path() + "-wal");
    QFile::remove(path() + "-shm");
    ASSERT_TRUE(QDir().mkdir(path() + "-wal")) << "something in the way";
    Note* refused = addNote("refused");
    EXPECT_FALSE(store->saveNow());
    ASSERT_TRUE(store->saveFailure());
    EXPECT_TRUE(store->saveFailure()->startsWith("the notes file was removed and could not be written again"));
    store->discardUnsaved(*refused);  // as a note answered "not saved" is taken back
    ASSERT_FALSE(context().hasChanges());
    clock.advance(NoteStore::firstRetryMs);
    EXPECT_TRUE(store->saveFailure()) << "nothing pending, but the file is still missing";
    ASSERT_TRUE(QDir().rmdir(path() + "-wal"));
    clock.advance(2 * NoteStore::firstRetryMs);
    EXPECT_EQ(store->saveFailure(), std::nullopt);
    EXPECT_EQ(sql("SELECT title FROM Note"), "Groceries");
}

// A removed notes file whose copy the disk refuses (no room for it) is tried again on the retry
// schedule alone: the copy each try makes and takes away again changes the folder, and that change
// starts no try of its own. An autosave leaves it to the schedule too, a save asked for tries at once.
// Written back, a later removal starts the schedule over.
TEST_F(NoteStoreTest, AWriteBackTheDiskRefusesFollowsTheRetryScheduleAlone)
{
    Note* note = addNote("Groceries");
    store->saveNow();
    const auto tries = [&] { return failedWriteBacks(log); };
    // Steps of a tenth of a second, the folder's changes seen at each: the fake clock's time of each try.
    const auto triesOver = [&](qint64 ms) {
        QList<qint64> at;
        for (qint64 step = 0; step < ms; step += 100) {
            QCoreApplication::processEvents();
            const auto before = tries();
            clock.advance(100);
            if (tries() > before) at << clock.elapsedMs();
        }
        return at;
    };
    const auto gaps = [](const QList<qint64>& at) {
        QList<qint64> out;
        for (qsizetype i = 1; i < at.size(); ++i) out << at[i] - at[i - 1];
        return out;
    };

    auto full = std::make_unique<tarnwick::test::FileSizeLimit>(4096);
    for (const char* suffix : {"", "-wal", "-shm"}) QFile::remove(path() + suffix);
    const QList<qint64> at = triesOver(20000);
    EXPECT_EQ(gaps(at), (QList<qint64>{1000, 2000, 4000, 5000, 5000})) << "tries at " << at.size();
    ASSERT_TRUE(store->saveFailure());
    EXPECT_TRUE(store->notesFileLost());
    EXPECT_TRUE(QDir(dir.path()).entryList({"*copy*"}).isEmpty()) << "a copy cut short is taken away";

    // Typing autosaves without copying the store again; a save asked for copies it at once.
    const auto triedBefore = tries();
    note->setTitle("typed meanwhile");
    QCoreApplication::processEvents();
    EXPECT_TRUE(context().hasChanges());
    EXPECT_EQ(tries(), triedBefore);
    EXPECT_FALSE(store->saveNow());
    EXPECT_EQ(tries(), triedBefore + 1);
    ASSERT_TRUE(store->saveFailure()->startsWith("the notes file was removed and could not be written again"));
    // A window's place moved is saved as a key is: it waits for the schedule with the rest.
    note->setFrameOnDesktop(QRectF(40, 40, 300, 200));
    EXPECT_FALSE(store->autosaveNow());
    EXPECT_EQ(tries(), triedBefore + 1);
    EXPECT_TRUE(context().hasChanges());

    // Room again: the next try writes the file back, with what was typed.
    full.reset();
    triesOver(NoteStore::longestRetryMs);
    EXPECT_EQ(store->saveFailure(), std::nullopt);
    EXPECT_FALSE(store->notesFileLost());
    EXPECT_EQ(sql("SELECT title FROM Note"), "typed meanwhile");

    full = std::make_unique<tarnwick::test::FileSizeLimit>(4096);
    for (const char* suffix : {"", "-wal", "-shm"}) QFile::remove(path() + suffix);
    EXPECT_EQ(gaps(triesOver(4000)), (QList<qint64>{1000, 2000})) << "the schedule starts over";
}

// A removed notes file is seen within seconds even when another program changes its folder all the
// time: the wait for the folder to go quiet, which lets a tool finish removing or swapping the files,
// has an end.
TEST_F(NoteStoreTest, ARemovedNotesFileIsWrittenBackHoweverBusyItsFolder)
{
    addNote("Groceries");
    store->saveNow();
    auto* watch = store->findChild<QFileSystemWatcher*>();
    ASSERT_TRUE(watch);
    QSignalSpy changes(watch, &QFileSystemWatcher::directoryChanged);
    // The folder changed, and its change seen, before the clock moves on.
    const auto seen = [&] {
        const qsizetype before = changes.count();
        return QTest::qWaitFor([&] { return changes.count() > before; }, 10000);
    };
    for (const char* suffix : {"", "-wal", "-shm"}) QFile::remove(path() + suffix);
    ASSERT_TRUE(seen());
    const qint64 removedAt = clock.elapsedMs();
    std::optional<qint64> backAt;
    // Another program writes and removes a file there every 0.4 s.
    for (int step = 0; step < 25 && !backAt; ++step) {
        clock.advance(400);
        if (QFileInfo(path()).size() > 0) {
            backAt = clock.elapsedMs() - removedAt;
            break;
        }
        tarnwick::test::writeFile(dir.filePath("busy.tmp"), "busy");
        QFile::remove(dir.filePath("busy.tmp"));
        ASSERT_TRUE(seen());
    }
    ASSERT_TRUE(backAt) << "never written back while the folder kept changing";
    EXPECT_GT(*backAt, NoteStore::storeFolderSettleMs) << "a tool at work is let finish a moment";
    EXPECT_LE(*backAt, NoteStore::storeFolderLongestWaitMs + 400);
    EXPECT_EQ(sql("SELECT title FROM Note"), "Groceries");
    EXPECT_EQ(store->saveFailure(), std::nullopt);
}

// The store's folder taken away under the running app (removed, or moved aside), and written back by
// the folder's watch or by a save made first: the folder written back is watched as the first one was,
// so a later removal of the notes file is written back too. While another program holds a file of the
// removed folder open, the folder's own removal is told only once that file is closed, after the
// folder was written back.
TEST_F(NoteStoreTest, TheFolderWrittenBackIsWatchedAgain)
{
    for (const QString how : {"removed", "moved", "removed and saved"}) {
        SCOPED_TRACE(qPrintable(how));
        const QString folder = dir.filePath(QString(how).replace(' ', '-'));
        const QString file = folder + "/default.store";
        ASSERT_TRUE(QDir().mkpath(folder));
        NoteStoreFixture fixture(std::move(ModelContainer::open(TarnwickSchemaV2::schema(), file)).value());
        Note* note = fixture.addNote("Groceries");
        fixture.store->saveNow();
        // Written back within a few seconds of the folder's change, with nothing saved.
        const auto writtenBack = [&] {
            return QTest::qWaitFor(
                [&] {
                    fixture.clock.advance(NoteStore::storeFolderSettleMs / 4);
                    return QFileInfo(file).size() > 0;
                },
                10000);
        };
        QFile held(folder + "/held.log");
        ASSERT_TRUE(held.open(QIODevice::WriteOnly));
        if (how == "moved") {
            ASSERT_TRUE(QDir().rename(folder, folder + ".aside"));
        } else {
            ASSERT_TRUE(QDir(folder).removeRecursively());
            if (how.endsWith("saved")) {
                note->setTitle("typed at once");
                EXPECT_TRUE(fixture.store->saveNow());
            }
        }
        ASSERT_TRUE(writtenBack()) << "the folder taken away was not written back";
        held.close();
        // Whatever that close shows has been looked at before the notes file goes.
        QTest::qWait(200);
        fixture.clock.advance(NoteStore::storeFolderLongestWaitMs);
        for (int again = 0; again < 2; ++again) {
            for (const char* suffix : {"", "-wal", "-shm"}) QFile::remove(file + suffix);
            ASSERT_TRUE(writtenBack()) << "removal " << again + 1 << " after the folder came back";
        }
        EXPECT_EQ(fixture.store->saveFailure(), std::nullopt);
        EXPECT_EQ(storetest::scalar(file, "SELECT count(*) FROM Note"), "1");
    }
}

// A notes file that cannot be written back is tried once as a run ends: a large write still running
// when the last save waits for it makes that try, and neither the save nor the container's close
// copies the whole store again after it failed.
TEST_F(NoteStoreTest, TheEndOfARunTriesAWriteBackOnce)
{
    Note* note = addNote("Groceries");
    store->saveNow();
    for (const char* suffix : {"", "-wal", "-shm"}) QFile::remove(path() + suffix);
    ASSERT_TRUE(QDir().mkdir(path() + "-wal")) << "something in the way";
    note->setBody(QString(ModelContext::kBackgroundWriteBytes, u'x'));
    ASSERT_EQ(context().saveInBackground(), std::nullopt) << "written in the background";
    EXPECT_FALSE(store->saveNow());
    EXPECT_EQ(failedWriteBacks(log), 1);
    EXPECT_TRUE(store->notesFileLost());
    store.reset();
    container.reset();
    EXPECT_EQ(failedWriteBacks(log), 1);
}

// At the end of a run: what changed while the services closed is written while the store lives; a
// change the disk refused is not tried again by the container, which outlives main().
TEST_F(NoteStoreTest, NothingIsWrittenOnceTheStoreIsGone)
{
    Note* note = addNote("Groceries");
    store->saveNow();
    note->setTitle("changed while closing");
    store.reset();
    EXPECT_EQ(sql("SELECT title FROM Note"), "changed while closing");

    store = std::make_unique<NoteStore>(context(), clock, settings, NotificationCenter::shared());
    ASSERT_TRUE(ModelContainerTesting::exec(
        *container, "CREATE TRIGGER no BEFORE UPDATE ON Note BEGIN SELECT RAISE(ABORT, 'disk full'); END"));
    note->setTitle("refused at quit");
    EXPECT_FALSE(store->saveNow());
    store.reset();
    ASSERT_TRUE(ModelContainerTesting::exec(*container, "DROP TRIGGER no"));
    QCoreApplication::processEvents();
    container.reset();
    EXPECT_EQ(sql("SELECT title FROM Note"), "changed while closing");
}

// Every new note is made here: the default theme with its tint, one save holding the rows made with it,
// then it is the active note. A theme that is no tint's keeps the note's blue tint.
TEST_F(NoteStoreTest, CreateNoteSavesOnceWithItsRowsAndBecomesActive)
{
    settings.setValue("notes.defaultThemeID", "rose");
    QSignalSpy revisions(store.get(), &NoteStore::revisionChanged);
    Capture* row = nullptr;
    const auto made =
        store->createNote({"Title", "Body", QStringLiteral("Gedit"), QUrl("https://example.org/")}, [&](Note& note) {
            EXPECT_EQ(store->activeNoteID(), std::nullopt) << "active only once saved";
            row = context().insert(std::make_unique<Capture>("Body", std::nullopt, std::nullopt, std::nullopt,
                                                             std::nullopt, note.uuid(), now()));
        });
    ASSERT_TRUE(made.note && made.saved && row);
    EXPECT_EQ(made.note->createdAt(), now()) << "stamped with the store's clock";
    EXPECT_EQ(made.note->updatedAt(), now());
    EXPECT_EQ(revisions.count(), 1) << "one save for the note and its rows";
    EXPECT_EQ(store->activeNoteID(), made.note->uuid());
    EXPECT_EQ(sql("SELECT title || '|' || body || '|' || themeID || '|' || tintRaw || '|' || sourceApp || '|' || "
                  "sourceURL FROM Note"),
              "Title|Body|rose|rose|Gedit|https://example.org/");
    EXPECT_EQ(sql("SELECT count(*) FROM Capture"), "1");

    settings.setValue("notes.defaultThemeID", "3F2504E0-4F89-11D3-9A0C-0305E82C3301");
    Note* custom = store->createNote().note;
    EXPECT_EQ(custom->themeID(), "3F2504E0-4F89-11D3-9A0C-0305E82C3301");
    EXPECT_EQ(custom->tint(), Tint::blue);
    EXPECT_EQ(custom->sourceApp(), std::nullopt);

    // A refused save is said, and the note stays in memory as the active one.
    ASSERT_TRUE(ModelContainerTesting::exec(
        *container, "CREATE TRIGGER no BEFORE INSERT ON Note BEGIN SELECT RAISE(ABORT, 'full'); END"));
    const auto unsaved = store->createNote();
    EXPECT_FALSE(unsaved.saved);
    EXPECT_EQ(store->activeNoteID(), unsaved.note->uuid());
}

TEST_F(NoteStoreTest, PublishedStateAnnouncesOnlyRealChanges)
{
    QSignalSpy active(store.get(), &NoteStore::activeNoteIDChanged);
    QSignalSpy readOnly(store.get(), &NoteStore::readOnlyNoteIDsChanged);
    const QUuid a = QUuid::createUuid();
    for (const auto& id :
         {std::optional<QUuid>(), std::optional(a), std::optional(QUuid(a.toString())), std::optional<QUuid>()})
        store->setActiveNoteID(id);
    EXPECT_EQ(active.count(), 2);
    for (const auto& ids : {QSet<QUuid>{a}, QSet<QUuid>{a}, QSet<QUuid>{}}) store->setReadOnlyNoteIDs(ids);
    EXPECT_EQ(readOnly.count(), 2);
}

TEST_F(NoteStoreTest, LookupsAndQueries)
{
    Note* older = addNote("older", {}, 300);
    Note* newer = addNote("newer", {}, 100);
    addNote("pinned", {}, 200)->setIsPinned(true);
    Note* binned = addNote("binned pin", {}, 50);
    binned->setIsPinned(true);
    store->softDelete(*binned);
    clock.advance(1000);
    store->softDelete(*addNote("binned later", {}, 10));
    addDuplicate(*older, 1)->setTitle("older, edited elsewhere");
    clock.advance(1000);
    const QUuid first = addImage(newer->uuid(), Qt::red)->uuid();
    clock.advance(1000);
    const QUuid second = addImage(newer->uuid(), Qt::blue)->uuid();
    const QUuid olderID = older->uuid(), newerID = newer->uuid(), binnedID = binned->uuid();
    open();

    EXPECT_EQ(titles(store->allActive()), (QStringList{"older, edited elsewhere", "newer", "pinned", "older"}));
    EXPECT_EQ(titles(store->pinned()), QStringList{"pinned"}) << "a pinned note in the bin is not listed";
    EXPECT_EQ(titles(store->trashed()), (QStringList{"binned later", "binned pin"}));
    EXPECT_EQ(store->note(olderID)->title(), "older, edited elsewhere");
    EXPECT_EQ(store->note(binnedID)->title(), "binned pin");
    EXPECT_EQ(store->note(QUuid::createUuid()), nullptr);
    const QList<NoteImage*> pictures = store->images(newerID);
    ASSERT_EQ(pictures.size(), 2);
    EXPECT_EQ(std::pair(pictures[0]->uuid(), pictures[1]->uuid()), std::pair(first, second));
    EXPECT_EQ(store->image(second), pictures[1]);
}

TEST_F(NoteStoreTest, BinAndRestore)
{
    Note* note = addNote("Trip", "passport", 500);
    note->setIsPinned(true);
    store->setActiveNoteID(note->uuid());
    const QDateTime updated = note->updatedAt();
    store->softDelete(*note);
    EXPECT_TRUE(note->isTrashed());
    EXPECT_FALSE(note->isPinned());
    EXPECT_EQ(note->deletedAt(), now());
    EXPECT_EQ(sql("SELECT isTrashed FROM Note"), "1");

    clock.advance(5 * day * 1000);
    store->softDelete(*note);
    EXPECT_EQ(note->deletedAt(), now()) << "binning again starts the 30 days afresh";
    store->restore(*note);
    EXPECT_FALSE(note->isTrashed());
    EXPECT_FALSE(note->deletedAt());
    EXPECT_FALSE(note->isPinned()) << "the pin is not given back";
    EXPECT_EQ(note->updatedAt(), updated);
    EXPECT_EQ(store->activeNoteID(), note->uuid());
    EXPECT_EQ(store->revision(), 3);
}

TEST_F(NoteStoreTest, PurgeExpiredKeepsExactlyThirtyDaysAndNotesWithoutABinDate)
{
    auto binned = [&](const QString& title, std::optional<qint64> secondsAgo) {
        Note* n = addNote(title);
        n->setIsTrashed(true);
        n->setDeletedAt(secondsAgo ? std::optional(now().addSecs(-*secondsAgo)) : std::nullopt);
        return n;
    };
    Note* expired = binned("expired", 30 * day + 1);
    binned("exactly thirty days", 30 * day);
    binned("no bin date", std::nullopt);
    Note* live = addNote("live, old bin date");
    live->setDeletedAt(now().addSecs(-90 * day));
    addImage(expired->uuid(), Qt::red);
    addImage(expired->uuid(), Qt::green);
    const QUuid kept = addImage(live->uuid(), Qt::red)->uuid();
    open();

    store->purgeExpired(now());
    QStringList left = titles(rows<Note>());
    left.sort();
    EXPECT_EQ(left, (QStringList{"exactly thirty days", "live, old bin date", "no bin date"}));
    EXPECT_EQ(imageIDs(), QSet<QUuid>{kept});
    EXPECT_EQ(sql("SELECT count(*) FROM NoteImage"), "1");
    store->purgeExpired(now());
    EXPECT_EQ(store->revision(), 1) << "nothing more expired: nothing saved";
}

// The 30-day purge runs before duplicate rows are reconciled, so it can meet an expired row whose UUID
// the live note also carries: the pictures filed under that UUID are the live note's.
TEST_F(NoteStoreTest, PurgingKeepsThePicturesOfRowsThatRemain)
{
    store->purge(QList<Note*>{});
    EXPECT_EQ(store->revision(), 0);

    Note* live = addNote("live", {}, 10);
    NoteImage* picture = addImage(live->uuid());
    live->setBlocks(blocks({"T:look", "I:0"}, {picture}));
    Note* stale = addDuplicate(*live, 100 * day);
    stale->setIsTrashed(true);
    stale->setDeletedAt(now().addSecs(-60 * day));
    Note* other = addNote("other");
    addImage(other->uuid());
    const QUuid pictureID = picture->uuid();
    open();

    store->purgeExpired(now());
    EXPECT_EQ(rows<Note>().size(), 2);
    EXPECT_TRUE(imageIDs().contains(pictureID));
    EXPECT_EQ(sql("SELECT count(*) FROM NoteImage"), "2");

    // Emptying the bin with every row of both notes: all their pictures go, with one save.
    addDuplicate(*rows<Note>().first(), 5);
    const qint64 revision = store->revision();
    store->purge(rows<Note>());
    EXPECT_TRUE(rows<Note>().isEmpty());
    EXPECT_TRUE(imageIDs().isEmpty());
    EXPECT_EQ(store->revision(), revision + 1);
}

TEST_F(NoteStoreTest, AllTagsCountsUnlockedNotesOutsideTheBin)
{
    addNote("a")->setTags({"work", "home"});
    addNote("b")->setTags({"work"});
    Note* locked = addNote("c");
    locked->setTags({"travel", "work"});
    locked->setIsLocked(true);
    Note* binned = addNote("d");
    binned->setTags({"garden", "garden", "garden"});
    binned->setIsTrashed(true);
    EXPECT_EQ(store->allTags(), (QStringList{"work", "home"}));
    addNote("e")->setTags({"Work", "home", "home"});
    EXPECT_EQ(store->allTags(), (QStringList{"home", "work", "Work"})) << "repeats count; case matters";
}

// Run only as the child of the crash test: one new note and one edit per save, each save that
// returned reported, until it is killed.
TEST(NoteStoreCrashChild, SaveUntilKilled)
{
    const QString path = qEnvironmentVariable("TARNWICK_NOTESTORE_CRASH_STORE");
    if (path.isEmpty()) GTEST_SKIP() << "runs as the child of KillDuringSavesLosesNoSaveThatReturned";
    auto container = std::move(ModelContainer::open(TarnwickSchemaV2::schema(), path)).value();
    Settings settings(std::make_unique<MemorySettingsBackend>());
    NoteStore store(container->mainContext(), Clock::system(), settings, NotificationCenter::shared());
    auto make = [&](const QString& title, const QString& body) {
        return container->mainContext().insert(std::make_unique<Note>(
            title, body, Tint::blue, Opacity::solid, std::nullopt, std::nullopt, QDateTime::currentDateTimeUtc()));
    };
    Note* standing = make("-1", QString());
    for (qint64 i = 0;; ++i) {
        make(QString::number(i), "body");
        standing->setTitle(QString::number(i));
        store.saveNow();
        if (container->mainContext().hasChanges()) return;
        storetest::reportToParent(i);
    }
}

TEST(NoteStoreCrash, KillDuringSavesLosesNoSaveThatReturned)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("default.store");
    const qint64 last = storetest::runChildUntilKilled("NoteStoreCrashChild.SaveUntilKilled",
                                                       "TARNWICK_NOTESTORE_CRASH_STORE", path, 150);
    ASSERT_GE(last, 150);

    auto container = std::move(ModelContainer::open(TarnwickSchemaV2::schema(), path)).value();
    Settings settings(std::make_unique<MemorySettingsBackend>());
    NoteStore store(container->mainContext(), Clock::system(), settings, NotificationCenter::shared());
    QSet<QString> saved;
    qint64 standing = -1;
    for (const Note* n : store.allActive()) {
        if (n->body().isEmpty())
            standing = n->title().toLongLong();
        else
            saved.insert(n->title());
    }
    for (qint64 i = 0; i <= last; ++i) EXPECT_TRUE(saved.contains(QString::number(i))) << i;
    EXPECT_GE(standing, last);
}

}  // namespace

// Lookups by id are answered from an index the context keeps; it must follow every way a row appears,
// disappears or changes identity, saved or not.
TEST_F(NoteStoreTest, LookupsByIdFollowInsertsDeletesAndIdentityChanges)
{
    Note* note = addNote("kept", {}, 100);
    const QUuid id = note->uuid();
    EXPECT_EQ(store->note(id), note) << "an unsaved insert is found";
    NoteImage* picture = addImage(id, Qt::red);
    EXPECT_EQ(store->images(id), QList<NoteImage*>{picture});
    EXPECT_EQ(store->image(picture->uuid()), picture);

    Note* dropped = addNote("inserted and removed");
    const QUuid droppedID = dropped->uuid();
    context().remove(dropped);
    EXPECT_EQ(store->note(droppedID), nullptr);
    open();
    note = store->note(id);
    ASSERT_NE(note, nullptr);

    // A second row with the same id: the newer wins until reconciliation keeps one row.
    Note* copy = addDuplicate(*note, 10);
    EXPECT_EQ(store->note(id), copy);
    store->saveNow();
    store->reconcileForSync();
    Note* survivor = store->note(id);
    ASSERT_NE(survivor, nullptr);
    EXPECT_EQ(rows<Note>().size(), 1);
    EXPECT_EQ(survivor, rows<Note>().first());

    // Binning is undoable: the note is found in the bin and after its restore; a purge ends it.
    store->softDelete(*survivor);
    EXPECT_EQ(store->note(id), survivor);
    store->restore(*survivor);
    EXPECT_EQ(store->note(id), survivor);
    EXPECT_EQ(store->allActive(), QList<Note*>{survivor}) << "the kept list follows the bin";

    // A picture moved to another note, and a note given a new id, are found under the new ids only.
    Note* other = addNote("other");
    NoteImage* moved = addImage(id, Qt::green);
    store->saveNow();
    ASSERT_EQ(store->images(id), QList<NoteImage*>{moved});
    moved->setNoteUUID(other->uuid());
    EXPECT_TRUE(store->images(id).isEmpty());
    EXPECT_EQ(store->images(other->uuid()), QList<NoteImage*>{moved});
    const QUuid renamed = QUuid::createUuid();
    other->setUuid(renamed);
    EXPECT_EQ(store->note(renamed), other);
    store->saveNow();
    store->purge(*survivor);
    EXPECT_EQ(store->note(id), nullptr);
    EXPECT_EQ(store->image(moved->uuid()), moved) << "the moved picture belongs to the other note now";

    auto* capture = context().insert(std::make_unique<Capture>());
    EXPECT_EQ(store->capture(capture->uuid()), capture);
    context().remove(capture);
    EXPECT_EQ(store->capture(capture->uuid()), nullptr);
}
