#pragma once

class Note;
class NoteStore;

// The one way the interface deletes a note (the note's context menu, the shelf): the note goes to the
// bin, restorable for 30 days, and `tarnwickDidDeleteNote` tells the shell to let its window go.
// No question is asked; a failed save is handled inside the store.
namespace NoteDeletion {
void perform(Note& note, NoteStore& store);
}
