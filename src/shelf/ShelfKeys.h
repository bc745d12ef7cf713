#pragma once

#include <Qt>

// Which shelf command a key press in the search field is. Everything not named here is the field's
// (typing, Ctrl+A/C/X/V and the other editing keys) or passes on. Keys are matched by key(), never by
// the text they type, so a layout or a dead key cannot turn a letter into a command.
struct ShelfKeys {
    enum class Command {
        none,      // the field handles it, or it passes on
        commit,    // Return, Enter
        activate,  // Ctrl+Return: open a capture's note instead of peeking it
        flipLens,  // Tab, Shift+Tab
        down,
        up,
        escape,         // close the actions row, else the shelf
        close,          // Ctrl+W
        toggleActions,  // Ctrl+K
        pin,            // Ctrl+P
        contextMenu,    // the Menu key, Shift+F10
    };

    static Command route(int key, Qt::KeyboardModifiers modifiers);
};
