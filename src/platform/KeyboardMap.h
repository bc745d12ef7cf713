#pragma once

#include <QList>
#include <QtGlobal>
#include <optional>

struct xcb_connection_t;

// The keyboard's mapping from key codes to symbols, as the display server holds it.
namespace KeyboardMap {
// Every key's symbols as the core protocol lists them: per key code, its groups and levels in the
// server's order (levels 1 and 2 of groups 1 and 2 first, then the higher levels and groups).
struct Table {
    quint32 minKeycode = 8;
    int perKeycode = 0;
    QList<quint32> keysyms;  // (keycode - minKeycode) * perKeycode + column; 0 where a column is empty

    QList<quint32> symbolsOf(quint32 keycode) const;
};

// The display's table now (Qt's connection when none is given); none off X11.
std::optional<Table> read(xcb_connection_t* connection = nullptr);

// The keys that carry `keysym` in any group or level (a Latin letter in either case). A grab by a
// key's name takes all of them, so the chord fires whichever group is active.
QList<quint8> keycodesOf(const Table& table, quint32 keysym);
// The symbol a hot key is named by: the key's Latin letter (lower case) or digit from any of its groups
// and levels, so the "&/1" key of a French keyboard is 1 and the key of Cyrillic "т" beside a US group
// is n; else its level-1 symbol (Space, Escape, punctuation). None for a key the map leaves empty.
std::optional<quint32> hotkeyKeysym(const Table& table, quint32 keycode);
// The same, read from the display's map now; none off X11.
std::optional<quint32> hotkeyKeysym(quint32 nativeScanCode);

// Whether the display's input focus is on `window` (true off X11, where there is nothing to ask). While
// we hold the keyboard, a click elsewhere moves the focus but our windows may not be told.
bool hasInputFocus(quint64 window);
// Whether a Qt key code names a key that only changes others (Shift, Control, Alt, the Super keys, the
// locks): pressed alone it types nothing and makes no chord.
bool isModifierKey(int key);
}  // namespace KeyboardMap
