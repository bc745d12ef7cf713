#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSignalSpy>

#include "privacy/UnlockSession.h"
#include "support/FakeAuthenticator.h"
#include "support/NoteStoreFixture.h"
#include "support/TestEnvironment.h"
#include "support/TestKeychains.h"

using namespace tarnwick::test;
using Outcome = Authenticator::Outcome;

namespace {

constexpr qint64 minute = 60 * 1000;

class UnlockSessionTest : public NoteStoreTestBase {
protected:
    // A note whose content is sealed.
    Note* lockedNote(const QString& text)
    {
        Note* note = addSavedNote(text);
        EXPECT_TRUE(store->lock(*note).ok());
        return note;
    }
    // Runs the unlock through the authenticator's answer and returns what the session reported.
    std::optional<bool> unlock(const QUuid& id, Outcome outcome)
    {
        std::optional<bool> result;
        session.unlock(id, [&result](bool ok) { result = ok; });
        authenticator.complete(outcome);
        QCoreApplication::processEvents();
        return result;
    }

    FakeAuthenticator authenticator;
    UnlockSession session{*store, authenticator, clock, settings};
};

}  // namespace

TEST_F(UnlockSessionTest, UnlockRevealsOnlyAfterTheOwnerAuthenticated)
{
    Note* note = lockedNote("the code is 1234");
    Note* open = addSavedNote("shopping");
    EXPECT_TRUE(session.isRedacted(*note));
    EXPECT_FALSE(session.isRedacted(*open));

    EXPECT_EQ(unlock(note->uuid(), Outcome::cancelled), false);
    EXPECT_EQ(unlock(note->uuid(), Outcome::failed), false);
    EXPECT_TRUE(session.isRedacted(*note));
    EXPECT_EQ(note->body(), "");
    EXPECT_TRUE(session.unlockFailures().isEmpty());

    QSignalSpy changed(&session, &UnlockSession::unlockedNoteIDsChanged);
    EXPECT_EQ(unlock(note->uuid(), Outcome::success), true);
    EXPECT_FALSE(session.isRedacted(*note));
    EXPECT_EQ(note->body(), "the code is 1234");
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(authenticator.reasons, QStringList(3, "Unlock this note"));

    // No way to ask: logged, and nothing is revealed.
    Note* other = lockedNote("other");
    authenticator.available = {false, "no PAM service"};
    LogCapture log;
    std::optional<bool> result;
    session.unlock(other->uuid(), [&result](bool ok) { result = ok; });
    QCoreApplication::processEvents();
    EXPECT_EQ(result, false);
    EXPECT_TRUE(session.isRedacted(*other));
    EXPECT_EQ(log.count("Authentication unavailable: no PAM service"), 1);
    // The lock panel says why, rather than leave the button seemingly dead; a stack that fails only
    // once asked (a module it names is missing) says the same, and a success clears it.
    EXPECT_EQ(session.unlockFailure(other->uuid()), "Unlocking is not available on this computer.");
    authenticator.available = {true, {}};
    EXPECT_EQ(unlock(other->uuid(), Outcome::unavailable), false);
    EXPECT_EQ(session.unlockFailure(other->uuid()), "Unlocking is not available on this computer.");
    EXPECT_TRUE(session.isRedacted(*other));
    EXPECT_EQ(unlock(other->uuid(), Outcome::success), true);
    EXPECT_EQ(session.unlockFailure(other->uuid()), std::nullopt);
}

TEST_F(UnlockSessionTest, AdmittingAnUnlockedNoteAgainKeepsItsEditsAndRestartsTheCountdown)
{
    Note* note = lockedNote("draft");
    ASSERT_TRUE(session.admit(note->uuid()));
    ASSERT_TRUE(note->setBlocks({NoteBlock::text(TextRuns{"draft, edited", {}})}));

    clock.advance(4 * minute);
    EXPECT_TRUE(session.admit(note->uuid()));
    EXPECT_EQ(note->body(), "draft, edited");
    clock.advance(4 * minute);
    EXPECT_FALSE(session.isRedacted(*note));
    clock.advance(1 * minute);
    EXPECT_TRUE(session.isRedacted(*note));

    ASSERT_TRUE(session.relock(note->uuid()));
    ASSERT_TRUE(session.admit(note->uuid()));
    EXPECT_EQ(note->body(), "draft, edited");
}

TEST_F(UnlockSessionTest, FailureTextsAreTheOwnersWords)
{
    using Kind = CryptoBox::CryptoError::Kind;
    auto text = [](std::optional<CryptoBox::CryptoError> crypto) {
        return UnlockSession::explain(NoteSealing::Error{crypto, "technical"});
    };
    EXPECT_EQ(text(CryptoBox::CryptoError::keyUnreadable("Keyring error -25308 (locked)")),
              "The Keychain wouldn't hand over the lock key (Keyring error -25308 (locked)).");
    EXPECT_EQ(text(CryptoBox::CryptoError::noKeyOpensThis(2)), "This note's sealed contents could not be opened.");
    EXPECT_EQ(text(CryptoBox::CryptoError::keyMissing()), "No lock key on this computer yet.");
    EXPECT_EQ(text(CryptoBox::CryptoError{Kind::sealProducedNoData, {}, 0}), "Couldn't decrypt this note.");
    EXPECT_EQ(text(std::nullopt), "Couldn't decrypt this note.");

    // A failed admission keeps its text for the lock panel; a later success clears it.
    Note* note = lockedNote("locked here");
    const QByteArray key = keychain->read(KeychainStore::lockKeyService, KeychainStore::lockKeyAccount, false).value();
    keychain->remove(KeychainStore::lockKeyService, KeychainStore::lockKeyAccount, false);
    EXPECT_FALSE(session.admit(note->uuid()));
    EXPECT_EQ(session.unlockFailure(note->uuid()), "No lock key on this computer yet.");
    EXPECT_TRUE(session.isRedacted(*note));

    keychain->put(KeychainStore::lockKeyService, "other", false, QByteArray(32, 'x'));
    EXPECT_FALSE(session.admit(note->uuid()));
    EXPECT_EQ(session.unlockFailure(note->uuid()), text(CryptoBox::CryptoError::noKeyOpensThis(1)));

    keychain->put(KeychainStore::lockKeyService, KeychainStore::lockKeyAccount, false, key);
    EXPECT_TRUE(session.admit(note->uuid()));
    EXPECT_FALSE(session.unlockFailure(note->uuid()));
    EXPECT_EQ(note->body(), "locked here");
}

class RelockTimerTest : public UnlockSessionTest, public ::testing::WithParamInterface<std::optional<qint64>> {};

TEST_P(RelockTimerTest, RelocksEveryNoteAfterTheSetMinutesFromTheLastUnlock)
{
    if (GetParam()) settings.setValue("privacy.relockMinutes", *GetParam());
    const qint64 minutes = GetParam().value_or(0) > 0 ? *GetParam() : 5;
    Note* first = lockedNote("first");
    Note* second = lockedNote("second");

    ASSERT_TRUE(session.admit(first->uuid()));
    clock.advance(minutes * minute * 3 / 5);
    ASSERT_TRUE(session.admit(second->uuid()));
    // The countdown runs from the second unlock: the first note outlives its own minutes.
    clock.advance(minutes * minute - 1);
    EXPECT_FALSE(session.isRedacted(*first));
    EXPECT_EQ(first->body(), "first");
    clock.advance(1);
    for (Note* note : {first, second}) EXPECT_TRUE(session.isRedacted(*note) && note->isSealed());
    EXPECT_EQ(clock.pendingCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Settings, RelockTimerTest,
                         ::testing::Values(std::nullopt, std::optional<qint64>(0), std::optional<qint64>(1),
                                           std::optional<qint64>(-3)));

// Minutes whose milliseconds pass the end of a 64-bit number (typed, or a plain 1e300 read as the
// largest number) mean a very long wait: never a wrapped delay that relocks at once.
TEST_F(UnlockSessionTest, AHugeRelockTimeWaitsRatherThanRelockingAtOnce)
{
    constexpr qint64 century = 100LL * 366 * 24 * 60 * minute;
    for (const QVariant& minutes : {QVariant::fromValue(std::numeric_limits<qint64>::max()),
                                    QVariant::fromValue<qint64>(153'722'867'280'913), QVariant(1e300)}) {
        SCOPED_TRACE(minutes.toString().toStdString());
        settings.setValue("privacy.relockMinutes", minutes);
        Note* note = lockedNote("kept open");
        ASSERT_TRUE(session.admit(note->uuid()));
        clock.advance(century);
        EXPECT_FALSE(session.isRedacted(*note));
        EXPECT_EQ(clock.pendingCount(), 1);
        EXPECT_TRUE(session.relockAll());
    }
    // The same bound holds on the real clock, where the deadline is boot time plus the delay.
    EXPECT_EQ(Clock::minutesAsDelay(std::numeric_limits<qint64>::max()), Clock::longestDelayMs);
    EXPECT_EQ(Clock::minutesAsDelay(7), 7 * minute);
    TimerHandle never = Clock::system().after(std::numeric_limits<qint64>::max(), nullptr, [] { FAIL(); });
    QCoreApplication::processEvents();
    EXPECT_TRUE(never.isActive());
    never.cancel();
}

TEST_F(UnlockSessionTest, HideAllRelocksEverythingAndClearsMessages)
{
    Note* first = lockedNote("one");
    Note* second = lockedNote("two");
    Note* damaged = lockedNote("three");
    damaged->setLockedCipher(QByteArray(40, 'z'));
    ASSERT_TRUE(session.admit(first->uuid()));
    ASSERT_TRUE(session.admit(second->uuid()));
    ASSERT_FALSE(session.admit(damaged->uuid()));
    ASSERT_EQ(session.unlockFailures().size(), 1);

    EXPECT_TRUE(session.relockAll());
    EXPECT_TRUE(session.unlockedNoteIDs().isEmpty());
    EXPECT_TRUE(session.unlockFailures().isEmpty());
    EXPECT_TRUE(first->isSealed() && second->isSealed());
    EXPECT_EQ(clock.pendingCount(), 0);
    EXPECT_FALSE(container->mainContext().hasChanges());
}

TEST_F(UnlockSessionTest, RelockOfAGoneNoteForgetsItAndRemoveLockAsksFirst)
{
    Note* gone = lockedNote("gone");
    ASSERT_TRUE(session.admit(gone->uuid()));
    store->purge(*gone);
    EXPECT_TRUE(session.relock(gone->uuid()));
    EXPECT_FALSE(session.isUnlocked(gone->uuid()));

    Note* note = lockedNote("private for now");
    std::optional<bool> removed;
    for (Outcome outcome : {Outcome::cancelled, Outcome::success}) {
        session.removeLock(note->uuid(), [&removed](bool ok) { removed = ok; });
        authenticator.complete(outcome);
        EXPECT_EQ(removed, outcome == Outcome::success);
        EXPECT_EQ(note->isLocked(), outcome != Outcome::success);
    }
    EXPECT_FALSE(session.isRedacted(*note));
    EXPECT_EQ(note->body(), "private for now");
    EXPECT_EQ(authenticator.reasons.last(), "Remove the lock from this note");
}

namespace {
// Counts how often the local lock keys are listed: each time, a locked keyring would prompt.
class CountingKeychain : public RefusingKeychain {
public:
    int localLists = 0;
    Result<QStringList, Failure> accounts(const QString& service, bool synchronizable) override
    {
        if (!synchronizable) ++localLists;
        return RefusingKeychain::accounts(service, synchronizable);
    }
};
}  // namespace

// The keyring refuses (a locked collection whose prompt is cancelled): the failed seal keeps its
// message and is tried again at every relock until one succeeds, asking the keyring once per try for
// the note and all its pictures. An unlocked note locks again without waiting on it.
TEST_F(UnlockSessionTest, AFailedSealIsTriedAgainAtEveryRelockUntilItSucceeds)
{
    auto keyring = std::make_shared<CountingKeychain>();
    KeychainStore::useBackend(keyring);
    Note* unlocked = lockedNote("shown for now");
    ASSERT_TRUE(session.admit(unlocked->uuid()));
    Note* note = addSavedNote("still in the clear", {Qt::red, Qt::green});
    // That save wrote the unlocked note sealed, and had the ring looked at for its key: done first.
    ASSERT_TRUE(finishBackgroundCalls());
    keyring->refuseLocal = true;
    keyring->localLists = 0;

    ASSERT_TRUE(session.relock(unlocked->uuid()));
    EXPECT_TRUE(unlocked->isSealed());
    // Only looked up afterwards, off the main thread, to see that the ring still holds its key.
    ASSERT_TRUE(finishBackgroundCalls());
    EXPECT_EQ(keyring->localLists, 1);

    ASSERT_FALSE(store->lock(*note).ok());
    EXPECT_EQ(keyring->localLists, 2);
    session.reportSealFailure(note->uuid(), UnlockSession::sealFailureText());
    for (int relock = 0; relock < 2; ++relock) {
        // The key is read off the main thread; the relock itself waits for nothing.
        EXPECT_TRUE(session.relockAll());
        EXPECT_EQ(session.unlockFailure(note->uuid()), UnlockSession::sealFailureText());
        ASSERT_TRUE(finishBackgroundCalls());
        EXPECT_EQ(session.unlockFailure(note->uuid()), UnlockSession::sealFailureText());
        EXPECT_FALSE(note->isSealed());
    }
    EXPECT_EQ(keyring->localLists, 4);

    keyring->refuseLocal = false;
    EXPECT_TRUE(session.relockAll());
    ASSERT_TRUE(finishBackgroundCalls());
    EXPECT_TRUE(note->isSealed());
    EXPECT_FALSE(store->images(note->uuid())[1]->data());
    EXPECT_FALSE(session.unlockFailure(note->uuid()));
    EXPECT_FALSE(container->mainContext().hasChanges());
}
