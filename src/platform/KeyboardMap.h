#pragma once

#include <QList>
#include <QString>
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

// Every key's symbols by group (one layout of a "de,us" keyboard each) and level, as XKB holds them.
// The core table cannot say where one group ends and the next begins beyond the first two levels.
struct Groups {
    struct Key {
        quint8 keycode = 0;
        QList<QList<quint32>> groups;  // levels of each group; a key may have fewer groups than others
    };
    QList<Key> keys;
    // A key with fewer groups than asked for wraps round, as XKB does by default.
    static const QList<quint32>* levels(const Key& key, int group);
    // The core table as one group of every column: all a display without XKB tells.
    static Groups oneGroup(const Table& table);
};

// The display's groups now (Qt's connection when none is given), read through XKB; without XKB the
// core table as one group. None off X11.
std::optional<Groups> readGroups(xcb_connection_t* connection = nullptr);
// The group the keyboard types in (XKB's locked group, what a layout indicator shows); 0 without XKB.
int currentGroup(xcb_connection_t* connection = nullptr);

// The keys that carry `keysym` (a Latin letter in either case) in the group in use, at the lowest
// level any of them has it. Another group is searched, in order, only when that group has no key for
// it, so a chord on a Latin letter still fires while a Cyrillic group types.
QList<quint8> keycodesOf(const Groups& groups, quint32 keysym, int group);
// The symbol a hot key is named by: the key's Latin letter (lower case) or digit, from the group in use
// first and then from its other groups and levels, so the "&/1" key of a French keyboard is 1, the key
// of Cyrillic "т" beside a US group is n, and the key typing "z" is Z in whichever group of "de,us"
// types; else its level-1 symbol (Space, Escape, punctuation). None for a key the map leaves empty.
std::optional<quint32> hotkeyKeysym(const Groups& groups, quint32 keycode, int group);
// The same, read from the display's map and group now; none off X11.
std::optional<quint32> hotkeyKeysym(quint32 nativeScanCode);

// Whether the display's input focus is on `window` (true off X11, where there is nothing to ask). While
// we hold the keyboard, a click elsewhere moves the focus but our windows may not be told.
bool hasInputFocus(quint64 window);
// Whether a Qt key code names a key that only changes others (Shift, Control, Alt, the Super keys, the
// locks): pressed alone it types nothing and makes no chord.
bool isModifierKey(int key);
// Whether a key's text types a visible character or a space (an emoji's two halves included), not
// a control such as Backspace, Tab or Return.
bool typesCharacter(const QString& text);
}  // namespace KeyboardMap
