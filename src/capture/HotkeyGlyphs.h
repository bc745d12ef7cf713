#pragma once

#include <QStringList>

// How a chord reads on this desktop: each modifier of a Carbon modifier mask as its key's name
// followed by "+", in the order Ctrl, Alt, Shift, Super, then the key's name ("Alt+Shift+Space").
namespace HotkeyGlyphs {
QStringList modifiers(quint32 mask);
// The modifiers joined with the key's name.
QString chord(quint32 keyCode, quint32 mask);
}  // namespace HotkeyGlyphs
