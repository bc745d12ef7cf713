#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

#include "keys/CryptoBox.h"
#include "platform/Authenticator.h"
#include "privacy/UnlockSession.h"
#include "store/LockedPayload.h"
#include "store/PersistenceController.h"
#include "support/FakeAuthenticator.h"
#include "support/NoteStoreFixture.h"
#include "support/TestEnvironment.h"
#include "support/TestKeychains.h"

using namespace tarnwick::test;

namespace {

class NoteStoreSealingTest : public NoteStoreTestBase {
protected:
    FakeAuthenticator authenticator;
    UnlockSession session{*store, authenticator, clock, settings};
};

}  // namespace

TEST_F(NoteStoreSealingTest, LockingAnEmptyNoteSealsNothing)
{
    Note* note = container->mainContext().insert(std::make_unique<Note>());
    ASSERT_TRUE(store->lock(*note).ok());
    EXPECT_TRUE(note->isLocked());
    EXPECT_FALSE(note->lockedCipher());
    EXPECT_TRUE(session.admit(note->uuid()));
    EXPECT_EQ(note->body(), "");
}

TEST_F(NoteStoreSealingTest, ResealGivesNewPicturesTheirCipherAndDropsRemovedOnes)
{
    Note* note = addSavedNote("pictures", {Qt::red, Qt::green});
    const QList<NoteImage*> before = store->images(note->uuid());
    ASSERT_EQ(before.size(), 2);
    ASSERT_TRUE(store->lock(*note).ok());
    const QByteArray redCipher = *before[0]->lockedCipher();
    ASSERT_TRUE(session.admit(note->uuid()));
    ASSERT_EQ(before[0]->data(), NoteStoreFixture::png(Qt::red));

    // While revealed: the green picture goes, a blue one comes.
    QHash<QString, NoteImage*> reuse = store->rowsByHash(note->uuid());
    NoteImage* blue = store->insertImageRow(png(Qt::blue), note->uuid(), reuse);
    ASSERT_TRUE(blue);
    QVector<NoteBlock> blocks = note->blocks();
    blocks.removeAt(2);
    blocks.append(NoteBlock::image(ImagePlacement{blue->uuid(), ImageSizing()}));
    ASSERT_TRUE(note->setBlocks(blocks));

    ASSERT_TRUE(store->reseal(*note).ok());
    const QList<NoteImage*> after = store->images(note->uuid());
    ASSERT_EQ(after.size(), 2);
    EXPECT_EQ(after[0], before[0]);
    EXPECT_EQ(after[0]->lockedCipher(), redCipher);
    EXPECT_EQ(after[1], blue);
    ASSERT_TRUE(blue->lockedCipher());
    EXPECT_EQ(CryptoBox::open(*blue->lockedCipher()).value(), png(Qt::blue));
    EXPECT_FALSE(blue->data());
    EXPECT_TRUE(note->isSealed());
    EXPECT_FALSE(container->mainContext().hasChanges());

    // Nothing to do: sealed already, or not locked at all. Neither saves.
    Note* open = addSavedNote("open");
    const qint64 revision = store->revision();
    EXPECT_TRUE(store->reseal(*note).ok());
    EXPECT_TRUE(store->reseal(*open).ok());
    EXPECT_EQ(store->revision(), revision);
    EXPECT_FALSE(open->lockedCipher());
}

TEST_F(NoteStoreSealingTest, FailedLockIsReportedAndTheSweepSealsLater)
{
    auto lockable = std::make_shared<RefusingKeychain>();
    KeychainStore::useBackend(lockable);
    Note* note = addSavedNote("keep this", {Qt::red});
    lockable->refuseLocal = lockable->refuseSynchronizable = true;

    LogCapture log;
    auto locked = store->lock(*note);
    ASSERT_FALSE(locked.ok());
    EXPECT_EQ(log.count("Lock seal failed, keeping plaintext: lock key could not be read"), 1);
    EXPECT_EQ(locked.error().crypto->kind, CryptoBox::CryptoError::Kind::keyUnreadable);
    EXPECT_TRUE(note->isLocked());
    EXPECT_TRUE(note->body().startsWith("keep this"));
    EXPECT_TRUE(store->images(note->uuid())[0]->data());
    EXPECT_FALSE(container->mainContext().hasChanges());

    // A binned locked note still in the clear is sealed as well.
    Note* binned = addSavedNote("binned secret");
    binned->setIsLocked(true);
    store->softDelete(*binned);

    lockable->refuseLocal = lockable->refuseSynchronizable = false;
    store->sweepLockedPlaintext();
    EXPECT_TRUE(note->isSealed() && binned->isSealed());
    EXPECT_FALSE(store->images(note->uuid())[0]->data());
    EXPECT_FALSE(container->mainContext().hasChanges());
}

TEST_F(NoteStoreSealingTest, SweepFillsEmptyTitlesFromOlderPayloadsOnly)
{
    const LockedPayload older{std::nullopt, "Bank", "pin", std::nullopt, std::nullopt};
    Note* untitled = addSavedNote(QString());
    Note* titled = addSavedNote(QString());
    for (Note* n : {untitled, titled}) {
        n->setBodyBlocksData(std::nullopt);
        n->setIsLocked(true);
        n->setLockedCipher(*CryptoBox::seal(older.encoded()));
    }
    untitled->setTitle(QString());
    titled->setTitle("Mine");
    store->saveNow();
    const qint64 revision = store->revision();

    store->sweepLockedPlaintext();
    EXPECT_EQ(untitled->title(), "Bank");
    EXPECT_EQ(titled->title(), "Mine");
    EXPECT_EQ(untitled->body(), "");
    EXPECT_EQ(store->revision(), revision + 1);

    // An older payload may hold a legacy body; revealing it converts it to blocks.
    ASSERT_TRUE(session.admit(untitled->uuid()));
    EXPECT_EQ(untitled->body(), "pin");
    EXPECT_TRUE(untitled->bodyBlocksData());
}

TEST_F(NoteStoreSealingTest, RemoveLockOpensTheNoteForGoodOrChangesNothing)
{
    Note* note = addSavedNote("was private", {Qt::red});
    ASSERT_TRUE(store->lock(*note).ok());
    ASSERT_TRUE(store->removeLock(*note).ok());
    EXPECT_FALSE(note->isLocked() || note->lockedCipher());
    EXPECT_EQ(note->body().left(11), "was private");
    EXPECT_FALSE(store->images(note->uuid())[0]->lockedCipher());
    EXPECT_EQ(store->images(note->uuid())[0]->data(), png(Qt::red));

    Note* damaged = addSavedNote("damaged");
    ASSERT_TRUE(store->lock(*damaged).ok());
    QByteArray cipher = *damaged->lockedCipher();
    cipher[cipher.size() - 1] = char(cipher[cipher.size() - 1] ^ 0x40);
    damaged->setLockedCipher(cipher);
    EXPECT_FALSE(store->removeLock(*damaged).ok());
    EXPECT_TRUE(damaged->isLocked());
    EXPECT_EQ(damaged->lockedCipher(), cipher);
}

// An unlocked note is shown in the clear but stored sealed: neither its text nor its pictures, nor
// what is typed or pasted while it is unlocked, reach a store file, and its edits are kept sealed
// when the run ends without a relock. Taking the lock off stores it in the clear again.
TEST_F(NoteStoreSealingTest, AnUnlockedNoteIsStoredSealedWithItsEdits)
{
    const QColor colour(0x12, 0x34, 0x56), pastedColour(0x65, 0x43, 0x21);
    Note* note = addSavedNote("Quokka-7781 combination", {colour});
    const QUuid id = note->uuid();
    ASSERT_TRUE(store->lock(*note).ok());
    ASSERT_TRUE(session.admit(id));
    store->saveNow();
    QHash<QString, NoteImage*> reuse = store->rowsByHash(id);
    NoteImage* pasted = store->insertImageRow(png(pastedColour), id, reuse);
    ASSERT_TRUE(pasted);
    QVector<NoteBlock> blocks = note->blocks();
    blocks[0] = NoteBlock::text(TextRuns{"Wombat-2290 typed while unlocked", {}}, blocks[0].id);
    blocks.append(NoteBlock::image(ImagePlacement{pasted->uuid(), ImageSizing()}));
    ASSERT_TRUE(note->setBlocks(blocks));
    store->saveNow();
    EXPECT_FALSE(context().hasChanges());

    // Still shown in the clear, even once the context let go of what it could read again.
    context().releaseLargeValues();
    EXPECT_TRUE(note->body().startsWith("Wombat-2290"));
    EXPECT_EQ(pasted->data(), png(pastedColour));
    EXPECT_EQ(sql("SELECT COUNT(*) FROM Note WHERE body <> '' OR bodyBlocksData IS NOT NULL OR "
                  "bodyRichData IS NOT NULL OR lockedCipher IS NULL"),
              "0");
    EXPECT_EQ(sql("SELECT COUNT(*) FROM NoteImage WHERE data IS NOT NULL OR lockedCipher IS NULL"), "0");
    QDirIterator it(dir.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << qPrintable(file.fileName());
        const QByteArray bytes = file.readAll();
        for (const QByteArray& plain :
             {QByteArray("Quokka-7781"), QByteArray("Wombat-2290"), png(colour), png(pastedColour)})
            EXPECT_FALSE(bytes.contains(plain)) << qPrintable(file.fileName());
    }

    // The run ends without a relock (a kill): the next one finds it sealed, with the edits.
    open();
    UnlockSession next{*store, authenticator, clock, settings};
    Note* reopened = store->note(id);
    ASSERT_TRUE(reopened);
    EXPECT_TRUE(reopened->isSealed());
    ASSERT_TRUE(next.admit(id));
    EXPECT_TRUE(reopened->body().startsWith("Wombat-2290"));
    ASSERT_EQ(store->images(id).size(), 2);
    EXPECT_EQ(store->images(id)[1]->data(), png(pastedColour));

    ASSERT_TRUE(store->removeLock(*reopened).ok());
    EXPECT_EQ(sql("SELECT substr(body, 1, 11) FROM Note"), "Wombat-2290");
    EXPECT_EQ(sql("SELECT COUNT(*) FROM NoteImage WHERE data IS NULL"), "0");
}

// The keyring item of the key an unlocked note is kept sealed with is deleted while the note is open:
// locking it again stores that key in the ring once more, so the note still opens afterwards.
TEST_F(NoteStoreSealingTest, ANoteLockedAfterItsKeyItemWasDeletedStillOpens)
{
    Note* note = addSavedNote("Numbat-5512 kept");
    const QUuid id = note->uuid();
    ASSERT_TRUE(store->lock(*note).ok());
    ASSERT_TRUE(session.admit(id));
    ASSERT_TRUE(keychain->remove(KeychainStore::lockKeyService, KeychainStore::lockKeyAccount, false));

    ASSERT_TRUE(session.relock(id));
    ASSERT_TRUE(finishBackgroundCalls());
    EXPECT_EQ(keychain->count(), 1);
    ASSERT_TRUE(note->isSealed());
    ASSERT_TRUE(session.admit(id));
    EXPECT_TRUE(note->body().startsWith("Numbat-5512"));
}

// Nothing of a locked note's content may stay readable in the store's files once it is locked and
// saved: not in the database, not in its log, not in a snapshot.
TEST(LockedNoteOnDiskTest, PlaintextIsInNoStoreFile)
{
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    const QString text = "Quokka-7781 vault combination left 42 right 17";
    const QColor colour(0x12, 0x34, 0x56);
    {
        auto opened = PersistenceController::open(directory.path(), std::nullopt, Clock::system());
        ASSERT_FALSE(opened.failure);
        NoteStoreFixture fixture(std::move(opened.container));
        // Written in the clear first, growing over several saves as a note being typed would, and
        // long enough to spill over into pages of its own.
        Note* note = fixture.addSavedNote(text, {colour});
        for (int copies = 2; copies <= 64; copies *= 2) {
            QVector<NoteBlock> blocks = note->blocks();
            blocks[0] = NoteBlock::text(TextRuns{QStringList(copies, text).join('\n'), {}}, blocks[0].id);
            note->setBlocks(blocks);
            fixture.store->saveNow();
        }
        ASSERT_TRUE(fixture.store->lock(*note).ok());

        QStringList files;
        QDirIterator it(directory.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) files << it.next();
        ASSERT_TRUE(files.contains(directory.filePath("default.store")));
        const QByteArray picture = NoteStoreFixture::png(colour);
        for (const QString& path : files) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << qPrintable(path);
            const QByteArray bytes = file.readAll();
            EXPECT_FALSE(bytes.contains(text.toUtf8())) << qPrintable(path);
            EXPECT_FALSE(bytes.contains(QByteArray("Quokka-7781"))) << qPrintable(path);
            EXPECT_FALSE(bytes.contains(picture)) << qPrintable(path);
        }
    }
}

// A log that cannot be cleared when a note is locked (the disk full, another connection reading) keeps
// the note's words readable only until it can be: after the next save that gets through, or on its
// own a moment later, with nothing else written. A lock whose own save fails clears it once the
// store's retry writes the seal.
TEST(LockedNoteOnDiskTest, ALogNotClearedAtTheLockIsClearedAsSoonAsItCanBe)
{
    NoteStoreFixture f;
    const auto inStoreFiles = [&](const QByteArray& words) {
        for (const QString suffix : {"", "-wal"}) {
            QFile file(f.path() + suffix);
            if (file.open(QIODevice::ReadOnly) && file.readAll().contains(words)) return true;
        }
        return false;
    };
    sqlite3* reader = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(f.path()).constData(), &reader), SQLITE_OK);
    const auto holdRead = [&] {
        // A lock the store would otherwise wait for on every try.
        ModelContainerTesting::setBusyTimeout(*f.container, 0);
        ASSERT_EQ(sqlite3_exec(reader, "BEGIN; SELECT count(*) FROM Note;", nullptr, nullptr, nullptr), SQLITE_OK);
    };
    const auto endRead = [&] { ASSERT_EQ(sqlite3_exec(reader, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK); };

    // Cleared by the next save of anything.
    Note* first = f.addSavedNote("Wombat-3319 first secret");
    holdRead();
    ASSERT_TRUE(f.store->lock(*first).ok());
    EXPECT_TRUE(inStoreFiles("Wombat-3319")) << "the log could be cleared after all: nothing is tested";
    endRead();
    f.addNote("unrelated");
    f.store->saveNow();
    EXPECT_FALSE(inStoreFiles("Wombat-3319"));

    // Cleared on its own, nothing else written; a failed try waits longer before the next.
    Note* second = f.addSavedNote("Bilby-4420 second secret");
    holdRead();
    ASSERT_TRUE(f.store->lock(*second).ok());
    f.clock.advance(NoteStore::firstRetryMs);
    EXPECT_TRUE(inStoreFiles("Bilby-4420"));
    endRead();
    f.clock.advance(NoteStore::firstRetryMs);
    EXPECT_TRUE(inStoreFiles("Bilby-4420")) << "tried again sooner than the wait grows to";
    f.clock.advance(NoteStore::firstRetryMs);
    EXPECT_FALSE(inStoreFiles("Bilby-4420"));
    EXPECT_FALSE(f.context().hasChanges());

    // The lock's save refused: the seal is written by the store's retry, and the log cleared with it.
    Note* third = f.addSavedNote("Numbat-5531 third secret");
    ASSERT_TRUE(ModelContainerTesting::exec(
        *f.container, "CREATE TRIGGER full BEFORE UPDATE ON Note BEGIN SELECT RAISE(ABORT, 'full'); END"));
    ASSERT_TRUE(f.store->lock(*third).ok());
    ASSERT_TRUE(f.store->saveFailure());
    ASSERT_TRUE(ModelContainerTesting::exec(*f.container, "DROP TRIGGER full"));
    f.clock.advance(NoteStore::firstRetryMs);
    EXPECT_FALSE(f.store->saveFailure());
    EXPECT_FALSE(inStoreFiles("Numbat-5531"));
    sqlite3_close(reader);
}
