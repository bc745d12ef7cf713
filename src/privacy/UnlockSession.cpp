#include "privacy/UnlockSession.h"

#include <QPointer>

#include "keys/CryptoBox.h"
#include "model/Note.h"
#include "platform/Authenticator.h"
#include "platform/Log.h"
#include "platform/Settings.h"
#include "store/NoteStore.h"

namespace {
const QString kUnlockReason = QStringLiteral("Unlock this note");
const QString kRemoveLockReason = QStringLiteral("Remove the lock from this note");
const QString kRelockMinutesKey = QStringLiteral("privacy.relockMinutes");
}  // namespace

UnlockSession::UnlockSession(NoteStore& store, Authenticator& authenticator, Clock& clock, const Settings& settings,
                             QObject* parent)
    : QObject(parent), m_store(store), m_authenticator(authenticator), m_clock(clock), m_settings(settings)
{
    // A key gone from the keyring left these notes unsealed: they say so and are sealed at the relock.
    connect(&m_store, &NoteStore::sealsUndone, this, [this](const QList<QUuid>& noteIDs) {
        for (const QUuid& id : noteIDs) {
            m_unsealed.insert(id);
            if (!m_unlocked.contains(id)) setFailure(id, sealFailureText());
        }
    });
}

UnlockSession::~UnlockSession()
{
    m_relockTimer.cancel();
}

bool UnlockSession::isRedacted(const Note& note) const
{
    return note.isLocked() && !m_unlocked.contains(note.uuid());
}

std::optional<QString> UnlockSession::unlockFailure(const QUuid& noteID) const
{
    const auto it = m_failures.constFind(noteID);
    if (it == m_failures.constEnd()) return std::nullopt;
    return *it;
}

void UnlockSession::evaluate(const QString& reason, std::function<void(Authenticator::Outcome)> done)
{
    const Authenticator::Availability availability = m_authenticator.availability();
    if (!availability.available) {
        qCWarning(Log::privacy, "Authentication unavailable: %s",
                  qUtf8Printable(availability.reason.isEmpty() ? QStringLiteral("unknown") : availability.reason));
        MainQueue::nextTurn(this, [done = std::move(done)] { done(Authenticator::Outcome::unavailable); });
        return;
    }
    QPointer<UnlockSession> self(this);
    m_authenticator.evaluate(reason,
                             [self, done = std::move(done)](Authenticator::Outcome outcome, const QString& detail) {
                                 if (!self) return;
                                 if (outcome == Authenticator::Outcome::unavailable)
                                     qCWarning(Log::privacy, "Authentication unavailable: %s",
                                               qUtf8Printable(detail.isEmpty() ? QStringLiteral("unknown") : detail));
                                 // A cancelled or failed prompt is the owner's answer, not a fault: nothing is logged.
                                 done(outcome);
                             });
}

void UnlockSession::unlock(const QUuid& noteID, Completion done)
{
    evaluate(kUnlockReason, [this, noteID, done = std::move(done)](Authenticator::Outcome outcome) {
        // Nothing to answer at all is not the owner's doing: the lock panel says so rather than
        // leave the button seemingly dead.
        if (outcome == Authenticator::Outcome::unavailable) setFailure(noteID, unavailableText());
        if (outcome != Authenticator::Outcome::success) return done(false);
        if (!CryptoBox::answersFromHeldRing()) return done(admit(noteID));
        // The ring is read afresh off the main thread (a key may have arrived or gone since), then the
        // note opens with it; a keyring that prompts holds up nothing else meanwhile.
        CryptoBox::readRingLater(this, [this, noteID, done](const QString& problem) {
            if (!problem.isEmpty()) {
                const auto error = CryptoBox::CryptoError::keyUnreadable(problem);
                qCWarning(Log::store, "Unlock decrypt failed: %s", qUtf8Printable(error.description()));
                setFailure(noteID, explain({error, error.description()}));
                return done(false);
            }
            done(admit(noteID));
        });
    });
}

bool UnlockSession::admit(const QUuid& noteID)
{
    Note* note = m_store.note(noteID);
    if (!note) return false;
    // Revealing again would put the payload back over whatever was typed since the first reveal; the
    // admission still counts as the latest unlock for the relock countdown.
    if (note->isLocked() && !m_unlocked.contains(noteID)) {
        if (auto revealed = m_store.revealPlaintext(*note); !revealed) {
            setFailure(noteID, explain(revealed.error()));
            return false;
        }
    }
    clearFailure(noteID);
    if (!m_unlocked.contains(noteID)) {
        m_unlocked.insert(noteID);
        Q_EMIT unlockedNoteIDsChanged();
    }
    restartRelockTimer();
    return true;
}

void UnlockSession::lock(const QUuid& noteID, Completion done)
{
    if (const auto waiting = m_locking.find(noteID); waiting != m_locking.end()) {
        waiting->append(std::move(done));
        return;
    }
    m_locking.insert(noteID, {std::move(done)});
    if (CryptoBox::sealsWithoutAsking()) return finishLock(noteID, {});
    // A read still under way is no failure: the note is locked when the key has come (made first when
    // the ring has none), and a keyring that prompts holds up nothing else meanwhile.
    CryptoBox::readRingLater(
        this, [this, noteID](const QString& problem) { finishLock(noteID, problem); }, true);
}

void UnlockSession::finishLock(const QUuid& noteID, const QString& problem)
{
    const QList<Completion> waiting = m_locking.take(noteID);
    bool sealed = true;
    // Gone, or locked by another road meanwhile: nothing is left to lock.
    Note* note = m_store.note(noteID);
    if (note && !note->isLocked()) {
        sealed = (problem.isEmpty() ? m_store.lock(*note) : m_store.lockWithoutKey(*note, problem)).ok();
        // Unsealed, it is tried again at the relock, not now: a keyring whose prompt was cancelled is not
        // asked again.
        closeNote(noteID, sealed);
    }
    for (const Completion& done : waiting)
        if (done) done(sealed);
}

void UnlockSession::settleWaitingLocks()
{
    for (const QUuid& id : m_locking.keys())
        finishLock(id, QStringLiteral("Tarnwick quit before the keyring answered"));
}

bool UnlockSession::relock(const QUuid& noteID)
{
    bool sealed = true;
    if (Note* note = m_store.note(noteID)) sealed = m_store.reseal(*note).ok();
    closeNote(noteID, sealed);
    return sealed;
}

void UnlockSession::closeNote(const QUuid& noteID, bool sealed)
{
    if (m_unlocked.remove(noteID)) Q_EMIT unlockedNoteIDsChanged();
    if (sealed) {
        m_unsealed.remove(noteID);
        clearFailure(noteID);
    } else {
        m_unsealed.insert(noteID);
        setFailure(noteID, sealFailureText());
    }
}

void UnlockSession::reportSealFailure(const QUuid& noteID, const QString& text)
{
    m_unsealed.insert(noteID);
    setFailure(noteID, text);
    // With a keyring that may prompt, the main thread never asked it: the key is read now, off it.
    if (CryptoBox::answersFromHeldRing()) retryFailedSealsLater();
}

void UnlockSession::sealAtNextRelock()
{
    for (Note* note : m_store.lockedNotes()) {
        if (m_unlocked.contains(note->uuid()) || !m_store.hasPlaintextBody(*note)) continue;
        m_unsealed.insert(note->uuid());
        setFailure(note->uuid(), sealFailureText());
    }
}

bool UnlockSession::relockAll()
{
    // Unlocked notes seal under the key they were opened with; notes whose last seal failed are tried
    // again once the key has been read.
    QSet<QUuid> unsealed;
    for (const QUuid& id : std::as_const(m_unlocked)) {
        if (Note* note = m_store.note(id); note && !m_store.reseal(*note).ok()) unsealed.insert(id);
    }
    const bool sealed = unsealed.isEmpty();
    const QSet<QUuid> retry = m_unsealed - m_unlocked;
    const bool hadUnlocked = !m_unlocked.isEmpty();
    const bool hadFailures = !m_failures.isEmpty();
    m_unlocked.clear();
    m_failures.clear();
    m_unsealed = unsealed | retry;
    // A note that could not be sealed says so on its lock panel until a seal succeeds.
    for (const QUuid& id : std::as_const(m_unsealed)) m_failures.insert(id, sealFailureText());
    if (!retry.isEmpty()) retryFailedSealsLater();
    if (hadUnlocked) Q_EMIT unlockedNoteIDsChanged();
    if (hadFailures || !sealed) Q_EMIT unlockFailuresChanged();
    m_relockTimer.cancel();
    m_relockTimer = TimerHandle();
    return sealed;
}

void UnlockSession::retryFailedSealsLater()
{
    if (m_retryingSeals) return;
    m_retryingSeals = true;
    CryptoBox::readRingLater(
        this,
        [this](const QString& problem) {
            m_retryingSeals = false;
            const auto key = problem.isEmpty() ? CryptoBox::heldSealingKey() : std::nullopt;
            if (!key) {
                qCWarning(Log::privacy, "A note is still not sealed: %s",
                          qUtf8Printable(problem.isEmpty() ? QStringLiteral("no lock key") : problem));
                return;
            }
            // Unlocked since, a note is sealed at its own relock.
            for (const QUuid& id : m_unsealed - m_unlocked) {
                Note* note = m_store.note(id);
                if (note && !m_store.reseal(*note, *key).ok()) continue;
                m_unsealed.remove(id);
                clearFailure(id);
            }
        },
        true);
}

void UnlockSession::removeLock(const QUuid& noteID, Completion done)
{
    evaluate(kRemoveLockReason, [this, noteID, done = std::move(done)](Authenticator::Outcome outcome) {
        if (outcome == Authenticator::Outcome::unavailable) setFailure(noteID, unavailableText());
        if (outcome != Authenticator::Outcome::success) return done(false);
        Note* note = m_store.note(noteID);
        if (!note) return done(false);
        if (auto removed = m_store.removeLock(*note); !removed) {
            setFailure(noteID, explain(removed.error()));
            return done(false);
        }
        clearFailure(noteID);
        m_unsealed.remove(noteID);
        if (m_unlocked.remove(noteID)) Q_EMIT unlockedNoteIDsChanged();
        done(true);
    });
}

qint64 UnlockSession::relockMinutes() const
{
    const qint64 minutes = m_settings.intValue(kRelockMinutesKey);
    // 0 is also what a missing key reads as. A negative value would relock at once, leaving the note
    // unreadable: it means the default as well.
    return minutes > 0 ? minutes : defaultRelockMinutes;
}

void UnlockSession::restartRelockTimer()
{
    m_relockTimer.cancel();
    // On the boot-time clock, so a suspend of the machine counts towards the relock. A huge number of
    // minutes means practically never, not a wrapped (negative, so immediate) delay.
    m_relockTimer = m_clock.after(Clock::minutesAsDelay(relockMinutes()), this, [this] { relockAll(); });
}

void UnlockSession::setFailure(const QUuid& noteID, const QString& text)
{
    m_failures.insert(noteID, text);
    Q_EMIT unlockFailuresChanged();
}

void UnlockSession::clearFailure(const QUuid& noteID)
{
    if (m_failures.remove(noteID)) Q_EMIT unlockFailuresChanged();
}

QString UnlockSession::sealFailureText()
{
    return tr(
        "This note couldn't be sealed: its text is still stored unsealed. Tarnwick tries again when it "
        "relocks and at the next launch.");
}

QString UnlockSession::unavailableText()
{
    return tr("Unlocking is not available on this computer.");
}

QString UnlockSession::explain(const NoteSealing::Error& error)
{
    using Kind = CryptoBox::CryptoError::Kind;
    if (error.crypto) {
        switch (error.crypto->kind) {
            case Kind::keyUnreadable:
                return QStringLiteral("The Keychain wouldn't hand over the lock key (") + error.crypto->detail +
                       QStringLiteral(").");
            case Kind::noKeyOpensThis:
                // No key of the ring opens it: the payload was altered or damaged, or sealed under a
                // key that is gone. Nothing here would bring a key later, so promise none.
                return QStringLiteral("This note's sealed contents could not be opened.");
            case Kind::keyMissing:
                return QStringLiteral("No lock key on this computer yet.");
            case Kind::sealProducedNoData:
                break;
        }
    }
    return QStringLiteral("Couldn't decrypt this note.");
}

bool UnlockSession::canAuthenticate() const
{
    const Authenticator::Availability availability = m_authenticator.availability();
    m_unavailableReason = availability.available ? QString() : availability.reason;
    return availability.available;
}

std::optional<QString> UnlockSession::biometryName() const
{
    return m_authenticator.biometryName();
}
bool UnlockSession::hasBiometrics() const
{
    return m_authenticator.hasBiometrics();
}
QString UnlockSession::capabilityDescription() const
{
    return m_authenticator.capabilityDescription();
}
QString UnlockSession::authSymbol() const
{
    return m_authenticator.authSymbol();
}
