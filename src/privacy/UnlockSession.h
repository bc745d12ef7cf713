#pragma once

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUuid>
#include <functional>
#include <optional>

#include "platform/Authenticator.h"
#include "platform/Clock.h"
#include "store/NoteSealing.h"

class Note;
class NoteStore;
class Settings;

// Who may see the content of private notes during this run. A locked note is shown only after the
// owner authenticated and the store revealed it; the session remembers which notes are unlocked,
// keeps the last failure text per note for its lock panel, and seals every unlocked note again when
// the relock timer runs out or all note windows are hidden. Nothing of this is stored: every locked
// note starts sealed at each launch. Main thread only.
class UnlockSession : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 defaultRelockMinutes = 5;

    UnlockSession(NoteStore& store, Authenticator& authenticator, Clock& clock, const Settings& settings,
                  QObject* parent = nullptr);
    ~UnlockSession() override;

    // What every view asks before it shows a note's text: locked and not unlocked in this run.
    bool isRedacted(const Note& note) const;
    bool isUnlocked(const QUuid& noteID) const { return m_unlocked.contains(noteID); }
    const QSet<QUuid>& unlockedNoteIDs() const { return m_unlocked; }
    const QHash<QUuid, QString>& unlockFailures() const { return m_failures; }
    // The text for the note's lock panel after a failed unlock or lock removal.
    std::optional<QString> unlockFailure(const QUuid& noteID) const;

    using Completion = std::function<void(bool)>;
    // Asks the owner to authenticate ("Unlock this note"), then admits the note. done(true) when
    // the note is now visible. done runs on the main thread, never before unlock returned, and not
    // at all when the session is gone by then.
    void unlock(const QUuid& noteID, Completion done);
    // Makes an authenticated note visible: the store reveals it when it is locked. A note that is
    // unlocked already is left as it is (its revealed content may have been edited since). Every
    // admission restarts the relock countdown. False when the note does not exist or does not open;
    // the failure text is then kept for the note.
    bool admit(const QUuid& noteID);
    // Locks a note that is not locked: seals its content, flags it locked and saves; it shows redacted.
    // When the key to seal with must first come from a keyring that may prompt (the first seal of a run),
    // it is read off the main thread and the note is locked once it has come: until then nothing of the
    // note changes, and a lock of it asked meanwhile waits for the same read. done(sealed) runs on the
    // main thread, before lock returns when nothing had to be read; false only when sealing failed: the
    // note is locked all the same, its text kept until a relock or the next launch seals it, and its
    // lock panel says so.
    void lock(const QUuid& noteID, Completion done = {});
    // Whether a lock of the note waits for the keyring.
    bool isLocking(const QUuid& noteID) const { return m_locking.contains(noteID); }
    // The run ends while locks still wait for the keyring: each note is locked without its key, so that
    // the next launch seals it rather than forget that it was locked.
    void settleWaitingLocks();
    // Seals one note again (the store reseals it when it holds plaintext) and forgets that it was
    // unlocked, also when the note is gone. False when sealing failed: the note is then hidden all the
    // same, its lock panel says so, and the store seals it again at the next relock or launch.
    bool relock(const QUuid& noteID);
    // Keeps `text` on the note's lock panel until a seal of the note succeeds; every relock tries again.
    void reportSealFailure(const QUuid& noteID, const QString& text);
    // Every locked note still in the clear (the launch could not read the keys to seal it) says so,
    // and is sealed at the next relock; nothing asks the keyring now.
    void sealAtNextRelock();
    // Seals every unlocked note again, and tries again every note whose seal failed (reading the key off
    // the main thread first); clears the failure texts except those of notes still not sealed, and stops
    // the relock timer. Called by the timer and when the hide-all hot key has hidden the note windows.
    // False when the seal of some unlocked note failed.
    bool relockAll();
    // Asks the owner to authenticate ("Remove the lock from this note"), then has the store take the
    // lock off for good. done(true) when the note is open now.
    void removeLock(const QUuid& noteID, Completion done);

    // The owner-facing text of an unlock or lock-removal failure.
    static QString explain(const NoteSealing::Error& error);
    // The lock panel's text while a note's content could not be sealed.
    static QString sealFailureText();
    // The lock panel's text when the owner cannot be asked at all (no usable PAM stack).
    static QString unavailableText();

    // Whether the owner can be asked to authenticate now. This may start an authentication
    // transaction: ask when a menu is built or a window turns active, never while painting.
    bool canAuthenticate() const;
    // Why not, as the last canAuthenticate() that answered no was told; empty after a yes.
    QString unavailableReason() const { return m_unavailableReason; }

    // Capability texts for settings, onboarding and the permissions audit.
    std::optional<QString> biometryName() const;
    bool hasBiometrics() const;
    QString capabilityDescription() const;
    QString authSymbol() const;

Q_SIGNALS:
    void unlockedNoteIDsChanged();
    void unlockFailuresChanged();

private:
    void evaluate(const QString& reason, std::function<void(Authenticator::Outcome)> done);
    void restartRelockTimer();
    // Reads the sealing key off the main thread, then seals the notes whose seal failed: a keyring that
    // prompts holds up nothing else meanwhile. One read at a time.
    void retryFailedSealsLater();
    // Locks the note with the key read (or without it, `problem` saying why) and answers those waiting.
    void finishLock(const QUuid& noteID, const QString& problem);
    // The note is locked again: no longer unlocked, and its failure shown until a seal succeeds.
    void closeNote(const QUuid& noteID, bool sealed);
    qint64 relockMinutes() const;
    void setFailure(const QUuid& noteID, const QString& text);
    void clearFailure(const QUuid& noteID);

    NoteStore& m_store;
    Authenticator& m_authenticator;
    Clock& m_clock;
    const Settings& m_settings;
    QSet<QUuid> m_unlocked;
    QHash<QUuid, QString> m_failures;
    // Locked notes whose last seal failed: every relock tries them again until one succeeds.
    QSet<QUuid> m_unsealed;
    bool m_retryingSeals = false;
    // Notes whose lock waits for the keyring, with who waits on each.
    QHash<QUuid, QList<Completion>> m_locking;
    TimerHandle m_relockTimer;
    mutable QString m_unavailableReason;
};
