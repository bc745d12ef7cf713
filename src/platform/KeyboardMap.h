#pragma once

#include <QtGlobal>
#include <optional>

// The keyboard's mapping from key codes to symbols, as the display server holds it.
namespace KeyboardMap {
// The symbol of a key with no modifier held (level 0): Shift+1 still names the "1" key. None off X11
// or for a key code the map leaves empty.
std::optional<quint32> baseKeysym(quint32 nativeScanCode);
// Whether the display's input focus is on `window` (true off X11, where there is nothing to ask). While
// we hold the keyboard, a click elsewhere moves the focus but our windows may not be told.
bool hasInputFocus(quint64 window);
// Whether a Qt key code names a key that only changes others (Shift, Control, Alt, the Super keys, the
// locks): pressed alone it types nothing and makes no chord.
bool isModifierKey(int key);
}  // namespace KeyboardMap
