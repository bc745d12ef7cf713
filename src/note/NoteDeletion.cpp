#include "note/NoteDeletion.h"

#include "model/Note.h"
#include "model/NoteNotifications.h"
#include "platform/NotificationCenter.h"
#include "store/NoteStore.h"

namespace NoteDeletion {
void perform(Note& note, NoteStore& store)
{
    // Read first: observers must get the id of the note that was deleted.
    const QString id = note.uuid().toString(QUuid::WithoutBraces).toUpper();
    store.softDelete(note);
    store.notifications().post(tarnwickDidDeleteNote, id);
}
}  // namespace NoteDeletion
