// The private-notes members of NoteStore: sealing, revealing, resealing and taking the lock off a
// note, and the start-up sweep.
#include "keys/CryptoBox.h"
#include "model/Note.h"
#include "model/NoteImage.h"
#include "platform/Log.h"
#include "platform/ModelContext.h"
#include "platform/OwnedSelections.h"
#include "store/NoteStore.h"

#include <QScopedValueRollback>
#include <algorithm>
#include <iterator>

bool NoteStore::hasPlaintextBody(const Note& note)
{
    return NoteSealing::hasPlaintextBody(note, images(note.uuid()));
}

Status<NoteSealing::Error> NoteStore::sealPlaintext(Note& note, const std::optional<QByteArray>& key)
{
    flushPendingEdits();
    if (!hasPlaintextBody(note)) return {};
    // Converted first, so the blocks are current; rich data that would not convert is sealed as well.
    ensureMigrated(note);
    // Text selected or copied from the note would stay readable by any X client after the lock.
    OwnedSelections::releaseTextFrom(note.body());
    // An unlocked note is sealed under the key it was revealed with: locking it again never waits on
    // the keyring. Any other note reads the key once, for its body and all its pictures.
    const auto held = m_revealedKeys.constFind(note.uuid());
    // A key from the ring read earlier in this run (not asked for now) is checked afterwards too.
    std::optional<QByteArray> unchecked;
    if (held != m_revealedKeys.constEnd())
        unchecked = *held;
    else if (!key && CryptoBox::answersFromHeldRing())
        if (auto read = CryptoBox::sealingKey()) unchecked = *read;
    auto sealed = unchecked ? NoteSealing::seal(note, images(note.uuid()), *unchecked)
                  : key     ? NoteSealing::seal(note, images(note.uuid()), *key)
                            : NoteSealing::seal(note, images(note.uuid()));
    if (sealed && unchecked) checkKeyKept(*unchecked);
    // Sealed in memory too: the note's saves need no stored form any more.
    if (sealed) m_revealedKeys.remove(note.uuid());
    return sealed;
}

void NoteStore::checkKeyKept(const QByteArray& key) const
{
    auto* self = const_cast<NoteStore*>(this);
    CryptoBox::keepInRingLater(self, key, [self, key](const QString&) { self->keyLost(key); });
}

void NoteStore::keyLost(const QByteArray& key)
{
    QList<QUuid> undone;
    for (Note* note : lockedNotes()) {
        const QUuid id = note->uuid();
        const auto held = m_revealedKeys.constFind(id);
        if (held != m_revealedKeys.constEnd()) {
            if (*held != key) continue;
            // Shown now: its saves go to the store as they are held from here on.
            m_revealedKeys.remove(id);
        } else if (note->lockedCipher() && !hasPlaintextBody(*note)) {
            if (!CryptoBox::opensWith(key, *note->lockedCipher())) continue;
            // Sealed under the key in this run: opened with it while it is still in memory.
            if (!NoteSealing::reveal(*note, images(id), key)) continue;
        } else {
            continue;
        }
        // No cipher made with the key is kept: a later seal would reuse a picture's. Rows written sealed
        // while the note was shown are written again as it reads.
        note->setLockedCipher(std::nullopt);
        m_context.rewrite(note);
        for (NoteImage* image : images(id)) {
            if (image->hasData()) image->setLockedCipher(std::nullopt);
            m_context.rewrite(image);
        }
        undone.append(id);
    }
    if (undone.isEmpty()) return;
    saveNow();
    qCWarning(Log::store, "Kept %d locked note(s) unsealed: their lock key is gone from the keyring.",
              int(undone.size()));
    Q_EMIT sealsUndone(undone);
}

Status<NoteSealing::Error> NoteStore::revealPlaintext(Note& note)
{
    auto revealed = NoteSealing::reveal(note, images(note.uuid()));
    if (!revealed) return revealed.error();
    if (!note.isLocked()) return {};
    // The key the note's saves are sealed with while it is shown. Read once it opened, so a missing
    // key is reported as such (and never made here for a note that does not open).
    auto key = CryptoBox::sealingKey();
    if (!key) {
        const QString description = CryptoBox::describe(key.error());
        qCWarning(Log::store, "Unlock decrypt failed: %s", qUtf8Printable(description));
        if (!revealed->changed) return {};  // it was in the clear already; nothing more is shown
        // Sealed again as it was (the ciphers were kept): nothing is shown that could not be saved sealed.
        note.setBody(QString());
        note.setBodyRichData(std::nullopt);
        note.setBodyBlocksData(std::nullopt);
        for (NoteImage* image : images(note.uuid()))
            if (image->hasLockedCipher()) image->setData(std::nullopt);
        NoteSealing::Error error{std::nullopt, description};
        if (const auto* crypto = std::get_if<CryptoBox::CryptoError>(&key.error())) error.crypto = *crypto;
        return error;
    }
    // A payload of an older release may hold a legacy body: it becomes blocks like any other.
    if (revealed->changed && revealed->fromOlderRelease) ensureMigrated(note);
    // From here on the note's content is held in memory only; the store keeps it sealed (a note an
    // earlier seal left in the clear is sealed in the store by its next save). Not for a note still
    // sealed: its sealed form would replace the payload with an empty body.
    if (!(note.hasLockedCipher() && !hasPlaintextBody(note))) m_revealedKeys.insert(note.uuid(), *key);
    return {};
}

quint64 NoteStore::storedForm(const ManagedObject& object, QVector<QVariant>& stored) const
{
    if (m_revealedKeys.isEmpty()) return 0;
    // Read through the objects, not from `stored`: a large value not read yet is read now, so the
    // payload is never made of a body that merely was not in memory.
    if (&object.entity() == &Note::entityDescription()) {
        const auto& note = static_cast<const Note&>(object);
        if (!note.isLocked()) return 0;
        const auto key = m_revealedKeys.constFind(note.uuid());
        if (key == m_revealedKeys.constEnd()) return 0;
        stored[Note::Body] = note.body();
        stored[Note::BodyRichData] = note.bodyRichData() ? QVariant(*note.bodyRichData()) : QVariant();
        stored[Note::BodyBlocksData] = note.bodyBlocksData() ? QVariant(*note.bodyBlocksData()) : QVariant();
        // The key may have been deleted from the keyring since the note opened: looked for once more.
        checkKeyKept(*key);
        return NoteSealing::sealedStoredForm(stored, *key);
    }
    if (&object.entity() == &NoteImage::entityDescription()) {
        const auto& image = static_cast<const NoteImage&>(object);
        if (!image.noteUUID()) return 0;
        const auto key = m_revealedKeys.constFind(*image.noteUUID());
        if (key == m_revealedKeys.constEnd()) return 0;
        const auto data = image.data();
        if (!data) return 0;
        quint64 replaced = quint64(1) << NoteImage::Data;
        // A picture sealed before keeps its cipher; one added since is sealed for the row alone (the
        // next seal of the note makes its cipher for good).
        if (!image.hasLockedCipher()) {
            if (auto cipher = CryptoBox::sealWith(*key, *data)) {
                stored[NoteImage::LockedCipher] = *cipher;
                replaced |= quint64(1) << NoteImage::LockedCipher;
            } else {
                qCWarning(Log::store, "Could not seal a picture of an unlocked note for saving: %s",
                          qUtf8Printable(CryptoBox::describe(cipher.error())));
            }
        }
        stored[NoteImage::Data] = QVariant();
        return replaced;
    }
    return 0;
}

void NoteStore::saveAndErase()
{
    saveNow();
    m_logToClear = true;
    // A failed save leaves the plaintext in the row: the log is cleared once a later save gets through.
    if (m_context.hasChanges()) return;
    clearLog();
}

void NoteStore::clearLog()
{
    // The checkpoint first waits for a write in the background, whose end is a save that calls here.
    if (!m_logToClear || m_clearingLog) return;
    m_clearRetry.cancel();
    const QScopedValueRollback clearing(m_clearingLog, true);
    const auto checkpointed = m_context.checkpoint();
    if (checkpointed) {
        if (!m_clearRetry.atFirst()) qCInfo(Log::store, "The store's log was cleared after sealing.");
        m_logToClear = false;
        m_clearRetry.reset();
        return;
    }
    // Said once a wait: a disk that stays full would otherwise be reported every few seconds.
    if (m_clearRetry.atFirst())
        qCWarning(Log::store, "Could not clear the store's log after sealing: %s",
                  qUtf8Printable(checkpointed.error().description()));
    // The sealed note's words stay readable in the log until it is cleared: space freed on the disk
    // (or a reader gone) tells nobody, so it is tried again on its own, spaced out like saves.
    m_clearRetry.schedule([this] { clearLog(); });
}

Status<NoteSealing::Error> NoteStore::lock(Note& note)
{
    // Whatever was selected or copied in the note goes, even text since edited away.
    OwnedSelections::releaseFromNote(note.uuid());
    auto sealed = sealPlaintext(note);
    note.setIsLocked(true);
    saveAndErase();
    return sealed;
}

Status<NoteSealing::Error> NoteStore::lockWithoutKey(Note& note, const QString& problem)
{
    OwnedSelections::releaseFromNote(note.uuid());
    flushPendingEdits();
    Status<NoteSealing::Error> result;
    if (hasPlaintextBody(note)) {
        OwnedSelections::releaseTextFrom(note.body());
        const auto error = CryptoBox::CryptoError::keyUnreadable(problem);
        qCWarning(Log::store, "Lock seal failed, keeping plaintext: %s", qUtf8Printable(error.description()));
        result = NoteSealing::Error{error, error.description()};
    }
    note.setIsLocked(true);
    saveAndErase();
    return result;
}

Status<NoteSealing::Error> NoteStore::reseal(Note& note, const std::optional<QByteArray>& key)
{
    if (note.isLocked()) OwnedSelections::releaseFromNote(note.uuid());
    if (!note.isLocked() || !hasPlaintextBody(note)) {
        // Nothing in the clear: nothing of it is left to keep sealed in the store either.
        m_revealedKeys.remove(note.uuid());
        return {};
    }
    // Taken before sealing, while the blocks can still be read.
    const std::optional<QSet<QUuid>> named = referencedImageIDs(note);
    auto sealed = sealPlaintext(note, key);
    if (named) {
        for (NoteImage* image : images(note.uuid()))
            if (!named->contains(image->uuid())) m_context.remove(image);
    }
    saveAndErase();
    return sealed;
}

Status<NoteSealing::Error> NoteStore::removeLock(Note& note)
{
    if (note.hasLockedCipher() && !hasPlaintextBody(note)) {
        if (auto revealed = revealPlaintext(note); !revealed) return revealed;
    }
    // An open note is stored as it is held.
    m_revealedKeys.remove(note.uuid());
    note.setIsLocked(false);
    note.setLockedCipher(std::nullopt);
    for (NoteImage* image : images(note.uuid()))
        if (image->hasData()) image->setLockedCipher(std::nullopt);
    saveNow();
    return {};
}

QList<Note*> NoteStore::lockedNotes()
{
    QList<Note*> locked;
    for (const QList<Note*>& notes : {allActive(), trashed()})
        std::copy_if(notes.begin(), notes.end(), std::back_inserter(locked), [](Note* n) { return n->isLocked(); });
    return locked;
}

bool NoteStore::lockedPlaintextLeft()
{
    const QList<Note*> notes = lockedNotes();
    return std::any_of(notes.begin(), notes.end(), [this](Note* note) {
        return (note->title().isEmpty() && note->lockedCipher()) || hasPlaintextBody(*note);
    });
}

void NoteStore::sweepLockedPlaintext()
{
    // Binned notes too: a locked note in the bin is still private, and its plaintext must not wait
    // there on disk for 30 days.
    const QList<Note*> notes = lockedNotes();
    bool changed = false;
    for (Note* note : notes) {
        if (note->title().isEmpty() && note->hasLockedCipher()) {
            if (const auto title = NoteSealing::sealedTitle(*note); title && !title->isEmpty()) {
                note->setTitle(*title);
                changed = true;
            }
        }
        if (hasPlaintextBody(*note)) {
            sealPlaintext(*note);
            changed = true;
        }
    }
    if (changed) saveAndErase();
}
