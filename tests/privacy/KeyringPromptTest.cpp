// Private notes over a keyring that may prompt: it is asked off the main thread, one attempt at a
// time; a locked keyring or a cancelled prompt is a failure that replaces nothing; and no note stays
// sealed under a key that the keyring lost.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "keys/CryptoBox.h"
#include "privacy/UnlockSession.h"
#include "support/FakeAuthenticator.h"
#include "support/NoteStoreFixture.h"
#include "support/TestKeychains.h"

using namespace tarnwick::test;
using Outcome = Authenticator::Outcome;

namespace {

class KeyringPromptTest : public NoteStoreTestBase {
protected:
    void SetUp() override { KeychainStore::useBackend(keyring); }

    QByteArray primary() const
    {
        auto stored = keyring->MemoryKeychainBackend::read(KeychainStore::lockKeyService, "primary", false);
        return stored ? *stored : QByteArray();
    }
    // A saved note titled as its text reads.
    Note* note(const QString& text)
    {
        Note* n = addSavedNote(text);
        n->setTitle(text);
        store->saveNow();
        return n;
    }
    QString storedBody(const QString& title) const
    {
        return sql("SELECT body FROM Note WHERE title = '" + title + "'");
    }
    std::optional<bool> unlock(const QUuid& id)
    {
        std::optional<bool> result;
        session.unlock(id, [&result](bool ok) { result = ok; });
        authenticator.complete(Outcome::success);
        EXPECT_TRUE(finishBackgroundCalls());
        return result;
    }

    std::shared_ptr<PromptingKeychain> keyring = std::make_shared<PromptingKeychain>();
    FakeAuthenticator authenticator;
    UnlockSession session{*store, authenticator, clock, settings};
};

}  // namespace

// The key made before stays the key: locks tried while the keyring is locked and its prompt cancelled
// fail with their message, keep their text, ask once for all of them, and never write a new "primary".
TEST_F(KeyringPromptTest, ACancelledPromptFailsTheLockOnceAndNeverReplacesTheKey)
{
    const QByteArray key(32, 'k');
    keyring->put(KeychainStore::lockKeyService, "primary", false, key);
    keyring->locked = true;

    QList<Note*> notes;
    for (const char* text : {"alpha", "beta", "gamma"}) {
        Note* note = this->note(text);
        // The main thread does not wait on the keyring: the lock returns at once, not sealed yet.
        EXPECT_FALSE(store->lock(*note).ok());
        session.reportSealFailure(note->uuid(), UnlockSession::sealFailureText());
        notes << note;
    }
    ASSERT_TRUE(finishBackgroundCalls());
    EXPECT_EQ(keyring->prompts, 1);
    EXPECT_EQ(keyring->mostInFlight, 1);
    EXPECT_EQ(keyring->onMainThread, 0);
    EXPECT_EQ(keyring->adds, 0);
    EXPECT_EQ(keyring->count(), 1);
    EXPECT_EQ(primary(), key);
    for (Note* note : notes) {
        EXPECT_FALSE(note->isSealed());
        EXPECT_TRUE(note->isLocked());
        EXPECT_EQ(session.unlockFailure(note->uuid()), UnlockSession::sealFailureText());
    }
    // Nothing asks again until the relock.
    QCoreApplication::processEvents();
    EXPECT_EQ(keyring->prompts, 1);

    // Unlocked by then: the relock seals every one of them under the key that was there.
    keyring->locked = false;
    EXPECT_TRUE(session.relockAll());
    ASSERT_TRUE(finishBackgroundCalls());
    EXPECT_EQ(primary(), key);
    EXPECT_EQ(keyring->count(), 1);
    for (Note* note : notes) {
        EXPECT_TRUE(note->isSealed());
        EXPECT_FALSE(session.unlockFailure(note->uuid()));
        ASSERT_TRUE(note->lockedCipher());
        EXPECT_TRUE(CryptoBox::opensWith(key, *note->lockedCipher()));
    }
}

// Unlocking reads the ring off the main thread; a cancelled prompt ends that unlock with its message
// and the note stays as it was.
TEST_F(KeyringPromptTest, AnUnlockWhoseKeyringPromptIsCancelledKeepsTheNoteSealedAndSaysWhy)
{
    Note* note = this->note("the code is 1234");
    store->lock(*note);
    session.reportSealFailure(note->uuid(), UnlockSession::sealFailureText());
    ASSERT_TRUE(finishBackgroundCalls());  // no key yet: the first one is made, off the main thread
    ASSERT_TRUE(note->isSealed());
    const QByteArray key = primary();
    ASSERT_EQ(key.size(), 32);

    keyring->locked = true;
    EXPECT_EQ(unlock(note->uuid()), false);
    EXPECT_TRUE(session.isRedacted(*note));
    EXPECT_TRUE(note->isSealed());
    EXPECT_EQ(session.unlockFailure(note->uuid()),
              "The Keychain wouldn't hand over the lock key (Keyring error -128 (the keyring's unlock prompt was "
              "cancelled)).");
    EXPECT_EQ(keyring->prompts, 1);

    keyring->locked = false;
    EXPECT_EQ(unlock(note->uuid()), true);
    EXPECT_EQ(note->body(), "the code is 1234");
    EXPECT_EQ(primary(), key);
    EXPECT_EQ(keyring->onMainThread, 0);
    EXPECT_EQ(keyring->mostInFlight, 1);
}

// An unlocked note whose key is deleted from the keyring: the next save stores the key again. When
// that fails, the note is kept in the clear (a failed seal that says so at the relock), so that it still
// opens after a relaunch, and a note sealed under that key in this run is opened back into the clear.
TEST_F(KeyringPromptTest, AKeyDeletedWhileANoteIsUnlockedIsStoredAgainOrTheNoteKeptOpenable)
{
    Note* shown = note("shown");
    Note* sealed = note("sealed");
    for (Note* note : {shown, sealed}) {
        store->lock(*note);
        session.reportSealFailure(note->uuid(), UnlockSession::sealFailureText());
    }
    ASSERT_TRUE(finishBackgroundCalls());
    const QByteArray key = primary();
    ASSERT_TRUE(shown->isSealed() && sealed->isSealed());
    ASSERT_EQ(unlock(shown->uuid()), true);
    // A note whose earlier seal failed, unlocked: it too is saved sealed under the key while shown.
    Note* clear = note("kept clear");
    clear->setIsLocked(true);
    store->saveNow();
    ASSERT_EQ(unlock(clear->uuid()), true);
    clear->setBlocks({NoteBlock::text(TextRuns{"kept clear, edited", {}})});
    store->saveNow();
    ASSERT_TRUE(finishBackgroundCalls());
    EXPECT_EQ(storedBody("kept clear"), "");

    // Stored again by the check that the save starts.
    ASSERT_TRUE(keyring->remove(KeychainStore::lockKeyService, "primary", false));
    shown->setBlocks({NoteBlock::text(TextRuns{"shown, edited", {}})});
    store->saveNow();
    ASSERT_TRUE(finishBackgroundCalls());
    EXPECT_EQ(primary(), key);
    EXPECT_EQ(storedBody("shown"), "");

    // Deleted again, and the keyring refuses to take it back.
    ASSERT_TRUE(keyring->remove(KeychainStore::lockKeyService, "primary", false));
    keyring->refuseAdds = true;
    shown->setBlocks({NoteBlock::text(TextRuns{"shown, edited twice", {}})});
    store->saveNow();
    ASSERT_TRUE(finishBackgroundCalls());
    EXPECT_EQ(keyring->count(), 0);
    // Both notes are in the store as they read, and say why at the relock.
    EXPECT_EQ(storedBody("shown"), "shown, edited twice");
    EXPECT_EQ(storedBody("sealed"), "sealed");
    EXPECT_EQ(storedBody("kept clear"), "kept clear, edited");
    EXPECT_EQ(session.unlockFailure(sealed->uuid()), UnlockSession::sealFailureText());
    EXPECT_FALSE(session.relockAll());
    ASSERT_TRUE(finishBackgroundCalls());
    EXPECT_EQ(session.unlockFailure(shown->uuid()), UnlockSession::sealFailureText());
    EXPECT_FALSE(shown->isSealed());

    // The keyring takes keys again: the next relock seals both under a key it holds.
    keyring->refuseAdds = false;
    session.relockAll();
    ASSERT_TRUE(finishBackgroundCalls());
    const QByteArray minted = primary();
    ASSERT_EQ(minted.size(), 32);
    for (Note* note : {shown, sealed}) {
        EXPECT_TRUE(note->isSealed());
        EXPECT_TRUE(CryptoBox::opensWith(minted, *note->lockedCipher()));
    }
    EXPECT_EQ(keyring->onMainThread, 0);
}

// A launch whose keyring prompt was cancelled leaves what a crash left in the clear as it is: each such
// note says so and is sealed at the relock, without asking the keyring in between.
TEST_F(KeyringPromptTest, NotesTheLaunchCouldNotSealAreSealedAtTheRelock)
{
    Note* note = this->note("left in the clear");
    note->setIsLocked(true);
    store->saveNow();
    keyring->locked = true;
    session.sealAtNextRelock();
    EXPECT_EQ(session.unlockFailure(note->uuid()), UnlockSession::sealFailureText());
    ASSERT_TRUE(finishBackgroundCalls());
    EXPECT_EQ(keyring->prompts, 0);

    keyring->locked = false;
    session.relockAll();
    ASSERT_TRUE(finishBackgroundCalls());
    EXPECT_TRUE(note->isSealed());
    EXPECT_FALSE(session.unlockFailure(note->uuid()));
    EXPECT_EQ(storedBody("left in the clear"), "");
}

// The first lock of a run, its keys not read yet: the note changes only once the key has come, and is
// then sealed with no failure said; locks asked meanwhile (the same note again, another one) wait for that
// one read. A run that ends while the keyring has not answered keeps the note locked, for later to seal.
TEST_F(KeyringPromptTest, TheFirstLockOfARunWaitsForTheKeyringAndSealsWithoutAFailure)
{
    LogCapture log;
    Note* first = note("first secret");
    Note* second = note("second secret");
    QList<bool> answers;
    auto record = [&answers](bool sealed) { answers << sealed; };
    for (Note* n : {first, first, second}) session.lock(n->uuid(), record);
    EXPECT_FALSE(first->isLocked());
    EXPECT_TRUE(answers.isEmpty());
    ASSERT_TRUE(finishBackgroundCalls());
    EXPECT_EQ(answers, QList<bool>({true, true, true}));
    for (Note* n : {first, second}) {
        EXPECT_TRUE(n->isSealed() && session.isRedacted(*n));
        EXPECT_FALSE(session.unlockFailure(n->uuid()));
        EXPECT_EQ(storedBody(n->title()), "");
    }
    EXPECT_EQ(log.count("Lock seal failed"), 0);
    EXPECT_EQ(keyring->adds, 1);
    EXPECT_EQ(keyring->onMainThread, 0);

    // The keyring locked and its prompt unanswered when the run ends: locked, sealed at the next relock.
    keyring->locked = true;
    KeychainStore::useBackend(keyring);  // as at a new launch: nothing read yet
    Note* unanswered = note("unanswered");
    session.lock(unanswered->uuid());
    session.settleWaitingLocks();
    EXPECT_EQ(sql("SELECT isLocked FROM Note WHERE title = 'unanswered'"), "1");
    EXPECT_EQ(session.unlockFailure(unanswered->uuid()), UnlockSession::sealFailureText());
    ASSERT_TRUE(finishBackgroundCalls());
    keyring->locked = false;
    session.relockAll();
    ASSERT_TRUE(finishBackgroundCalls());
    EXPECT_TRUE(unanswered->isSealed());
}

// A lock whose keyring prompt is cancelled fails for real: said once, with the keyring's own words.
TEST_F(KeyringPromptTest, ALockWhosePromptIsCancelledSaysWhy)
{
    keyring->put(KeychainStore::lockKeyService, "primary", false, QByteArray(32, 'k'));
    keyring->locked = true;
    LogCapture log;
    Note* cancelled = note("cancelled");
    std::optional<bool> answer;
    session.lock(cancelled->uuid(), [&answer](bool sealed) { answer = sealed; });
    ASSERT_TRUE(finishBackgroundCalls());
    EXPECT_EQ(answer, false);
    EXPECT_TRUE(cancelled->isLocked() && !cancelled->isSealed());
    EXPECT_EQ(session.unlockFailure(cancelled->uuid()), UnlockSession::sealFailureText());
    EXPECT_EQ(log.count("Lock seal failed, keeping plaintext: lock key could not be read: Keyring error -128"), 1);
    EXPECT_EQ(keyring->prompts, 1);
    EXPECT_EQ(keyring->adds, 0);
}
