#include "platform/KeyboardMap.h"

#include <QtCore/qnamespace.h>

#include "platform/XcbSupport.h"

namespace {

// Latin letters fold to lower case: X names a letter key by its unshifted symbol.
std::optional<quint32> latinLetterOrDigit(quint32 keysym)
{
    if (keysym >= 'a' && keysym <= 'z') return keysym;
    if (keysym >= 'A' && keysym <= 'Z') return keysym + ('a' - 'A');
    if (keysym >= '0' && keysym <= '9') return keysym;
    return std::nullopt;
}

}  // namespace

QList<quint32> KeyboardMap::Table::symbolsOf(quint32 keycode) const
{
    if (perKeycode <= 0 || keycode < minKeycode) return {};
    const qsizetype first = qsizetype(keycode - minKeycode) * perKeycode;
    if (first + perKeycode > keysyms.size()) return {};
    return keysyms.mid(first, perKeycode);
}

std::optional<KeyboardMap::Table> KeyboardMap::read(xcb_connection_t* connection)
{
    if (!connection) connection = XcbSupport::connection();
    if (!connection) return std::nullopt;
    const xcb_setup_t* setup = xcb_get_setup(connection);
    if (!setup || setup->max_keycode < setup->min_keycode) return std::nullopt;
    const quint8 count = quint8(setup->max_keycode - setup->min_keycode + 1);
    xcb_get_keyboard_mapping_reply_t* reply = xcb_get_keyboard_mapping_reply(
        connection, xcb_get_keyboard_mapping(connection, setup->min_keycode, count), nullptr);
    if (!reply) return std::nullopt;
    Table table;
    table.minKeycode = setup->min_keycode;
    table.perKeycode = reply->keysyms_per_keycode;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(reply);
    const int length = xcb_get_keyboard_mapping_keysyms_length(reply);
    table.keysyms.reserve(length);
    for (int i = 0; i < length; ++i) table.keysyms.push_back(syms[i]);
    std::free(reply);
    return table;
}

QList<quint8> KeyboardMap::keycodesOf(const Table& table, quint32 keysym)
{
    QList<quint8> result;
    if (table.perKeycode <= 0 || keysym == 0) return result;
    const quint32 wanted = latinLetterOrDigit(keysym).value_or(keysym);
    for (qsizetype i = 0; i < table.keysyms.size(); ++i) {
        const quint32 sym = table.keysyms[i];
        if (sym == 0 || latinLetterOrDigit(sym).value_or(sym) != wanted) continue;
        const quint32 keycode = table.minKeycode + quint32(i / table.perKeycode);
        if (keycode <= 255 && !result.contains(quint8(keycode))) result << quint8(keycode);
    }
    return result;
}

std::optional<quint32> KeyboardMap::hotkeyKeysym(const Table& table, quint32 keycode)
{
    const QList<quint32> symbols = table.symbolsOf(keycode);
    for (quint32 sym : symbols)
        if (const auto latin = latinLetterOrDigit(sym)) return latin;
    if (symbols.isEmpty() || symbols.first() == 0) return std::nullopt;
    return symbols.first();
}

std::optional<quint32> KeyboardMap::hotkeyKeysym(quint32 nativeScanCode)
{
    if (nativeScanCode == 0 || nativeScanCode > 255) return std::nullopt;
    const std::optional<Table> table = read();
    return table ? hotkeyKeysym(*table, nativeScanCode) : std::nullopt;
}

bool KeyboardMap::hasInputFocus(quint64 window)
{
    xcb_connection_t* connection = XcbSupport::connection();
    if (!connection) return true;
    xcb_get_input_focus_reply_t* reply =
        xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr);
    if (!reply) return true;
    const bool ours = reply->focus == xcb_window_t(window);
    free(reply);
    return ours;
}

bool KeyboardMap::isModifierKey(int key)
{
    switch (key) {
        case Qt::Key_Shift:
        case Qt::Key_Control:
        case Qt::Key_Alt:
        case Qt::Key_AltGr:
        case Qt::Key_Meta:
        case Qt::Key_Super_L:
        case Qt::Key_Super_R:
        case Qt::Key_Hyper_L:
        case Qt::Key_Hyper_R:
        case Qt::Key_CapsLock:
        case Qt::Key_NumLock:
        case Qt::Key_ScrollLock:
            return true;
        default:
            return false;
    }
}
