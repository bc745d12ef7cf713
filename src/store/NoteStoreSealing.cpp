// The private-notes members of NoteStore: sealing, revealing, resealing and taking the lock off a
// note, and the start-up sweep.
#include "model/Note.h"
#include "model/NoteImage.h"
#include "platform/Log.h"
#include "platform/ModelContext.h"
#include "platform/OwnedSelections.h"
#include "store/NoteStore.h"

#include <algorithm>
#include <iterator>

bool NoteStore::hasPlaintextBody(const Note& note)
{
    return NoteSealing::hasPlaintextBody(note, images(note.uuid()));
}

Status<NoteSealing::Error> NoteStore::sealPlaintext(Note& note)
{
    flushPendingEdits();
    if (!hasPlaintextBody(note)) return {};
    // Converted first, so the blocks are current; rich data that would not convert is sealed as well.
    ensureMigrated(note);
    // Text selected or copied from the note would stay readable by any X client after the lock.
    OwnedSelections::releaseTextFrom(note.body());
    return NoteSealing::seal(note, images(note.uuid()));
}

Status<NoteSealing::Error> NoteStore::revealPlaintext(Note& note)
{
    auto revealed = NoteSealing::reveal(note, images(note.uuid()));
    if (!revealed) return revealed.error();
    // A payload of an older release may hold a legacy body: it becomes blocks like any other.
    if (revealed->changed && revealed->fromOlderRelease) ensureMigrated(note);
    return {};
}

void NoteStore::saveAndErase()
{
    saveNow();
    if (m_context.hasChanges()) return;  // the save failed: the plaintext is still in the row
    if (auto checkpointed = m_context.checkpoint(); !checkpointed)
        qCWarning(Log::store, "Could not clear the store's log after sealing: %s",
                  qUtf8Printable(checkpointed.error().description()));
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

Status<NoteSealing::Error> NoteStore::reseal(Note& note)
{
    if (note.isLocked()) OwnedSelections::releaseFromNote(note.uuid());
    if (!note.isLocked() || !hasPlaintextBody(note)) return {};
    // Taken before sealing, while the blocks can still be read.
    const std::optional<QSet<QUuid>> named = referencedImageIDs(note);
    auto sealed = sealPlaintext(note);
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
