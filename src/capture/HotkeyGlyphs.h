#pragma once

#include <QStringList>

// The modifier glyphs of a Carbon modifier mask, in the order control, option, shift, command.
namespace HotkeyGlyphs {
QStringList modifiers(quint32 mask);
}
