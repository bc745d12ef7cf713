#include "capture/HotkeyGlyphs.h"

QStringList HotkeyGlyphs::modifiers(quint32 mask)
{
    QStringList glyphs;
    if (mask & 0x1000) glyphs << QStringLiteral("\u2303");
    if (mask & 0x800) glyphs << QStringLiteral("\u2325");
    if (mask & 0x200) glyphs << QStringLiteral("\u21E7");
    if (mask & 0x100) glyphs << QStringLiteral("\u2318");
    return glyphs;
}
