#include "capture/HotkeyGlyphs.h"

#include "capture/KeyCodeName.h"

QStringList HotkeyGlyphs::modifiers(quint32 mask)
{
    QStringList names;
    if (mask & 0x1000) names << QStringLiteral("Ctrl+");
    if (mask & 0x800) names << QStringLiteral("Alt+");
    if (mask & 0x200) names << QStringLiteral("Shift+");
    if (mask & 0x100) names << QStringLiteral("Super+");
    return names;
}

QString HotkeyGlyphs::chord(quint32 keyCode, quint32 mask)
{
    return modifiers(mask).join(QString()) + KeyCodeName::string(keyCode);
}
