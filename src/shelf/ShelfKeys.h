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
        flipLens,  // Tab
        toFooter,  // Shift+Tab: the focus goes back round to the footer's buttons
        down,
        up,
        escape,         // close the actions row, else the shelf
        close,          // Ctrl+W
        toggleActions,  // Ctrl+K
        pin,            // Ctrl+P
        contextMenu,    // the Menu key, Shift+F10
        settings,       // Ctrl+, as preferences open on Linux
        // While the actions row is open:
        previousAction,  // Left, Shift+Tab
        nextAction,      // Right, Tab
        pressAction,     // Return, Enter, Space
    };

    // `actionsOpen`: the selected row shows its actions row (ShelfSearchState::actionsRowShown()), whose
    // chips take the keys that move over and press them. Escape keeps its own rule either way.
    static Command route(int key, Qt::KeyboardModifiers modifiers, bool actionsOpen = false);
};
