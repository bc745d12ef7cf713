#pragma once

#include <QString>
#include <optional>

#include "capture/HotkeyManager.h"

class Settings;

// What one key press does to a hot key being recorded. Recording takes the symbol that names the key
// (KeyboardMap::hotkeyKeysym: its Latin letter or digit, from the group in use first and then from any
// group or level, so Shift+1 is still the "1" key on any layout) and the Ctrl, Alt, Shift and Super
// held with it.
struct HotkeyRecording {
    struct Press {
        std::optional<quint32> keysym;  // none: the key has no symbol on this keyboard
        bool ctrl = false, alt = false, shift = false, super = false;
        bool isModifierKey = false;  // the press of a modifier itself
        bool autoRepeat = false;
    };
    enum class Kind {
        keepWaiting,  // a modifier alone or a repeat: the user is still forming the chord
        cancel,       // Escape: recording ends, nothing stored
        refuse,       // recording ends, nothing stored, `message` says why
        store,        // recording ends with `shortcut` for the action
    };
    struct Outcome {
        Kind kind = Kind::keepWaiting;
        HotkeyManager::Shortcut shortcut;
        QString message;
    };

    static Outcome evaluate(const Press& press, HotkeyManager::Action action, const Settings& settings);
    // The stored key code of a keysym: the reverse of KeyCodeName::keysym (letters case-folded).
    static std::optional<quint32> keyCodeForKeysym(quint32 keysym);
    static quint32 carbonMask(const Press& press);
    // The action whose chord (the capture's also with Super added) is `shortcut`, other than `action`.
    static std::optional<HotkeyManager::Action> takenBy(HotkeyManager::Shortcut shortcut, HotkeyManager::Action action,
                                                        const Settings& settings);
    static QString title(HotkeyManager::Action action);
};
