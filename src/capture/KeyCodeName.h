#pragma once

#include <QString>
#include <optional>

// Names and X keysyms of the virtual key codes stored in hot-key bindings (ANSI layout codes).
namespace KeyCodeName {
// The label shown for a key: named keys, then letters, then digits, else "key" and the code.
QString string(quint32 keyCode);
// The X keysym a grab uses for the key; nothing for a code with no key on a PC keyboard here.
std::optional<quint32> keysym(quint32 keyCode);
}  // namespace KeyCodeName
