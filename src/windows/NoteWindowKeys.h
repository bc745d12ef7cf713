#pragma once

#include <Qt>

// The keyboard commands a note window takes while it is active. Keys are matched by Qt key code, never
// by text; Control stands where the other desktop's Command key would be.
namespace NoteWindowKeys {

enum class Command {
    none,                 // the event passes on (the focused editor owns undo, redo, select all, copy, cut, paste)
    previousNote,         // one step back through the deck
    nextNote,             // one step forward
    closeNote,            // the note leaves the open stack; the window moves on or closes
    find,                 // taken, so the editor sees no stray Ctrl+F; there is no find bar to show yet
    toggleSearchPalette,  // open or close the shelf
};

// Ctrl+Alt+Left/Right step through the deck, as do Ctrl+PageUp/PageDown (most window managers keep
// Ctrl+Alt+arrows for switching desktops). The keypad flag is ignored, so keypad arrows count.
Command commandFor(int key, Qt::KeyboardModifiers modifiers);

}  // namespace NoteWindowKeys
