#include "platform/KeyboardMap.h"

#include <QtCore/qnamespace.h>
#include <algorithm>
#include <limits>
// xkb.h names a field "explicit", which C++ reserves.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

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

const QList<quint32>* KeyboardMap::Groups::levels(const Key& key, int group)
{
    if (key.groups.isEmpty() || group < 0) return nullptr;
    return &key.groups.at(group % key.groups.size());
}

KeyboardMap::Groups KeyboardMap::Groups::oneGroup(const Table& table)
{
    Groups groups;
    if (table.perKeycode <= 0) return groups;
    for (qsizetype first = 0; first + table.perKeycode <= table.keysyms.size(); first += table.perKeycode) {
        const quint32 keycode = table.minKeycode + quint32(first / table.perKeycode);
        if (keycode > 255) break;
        groups.keys.push_back({quint8(keycode), {table.keysyms.mid(first, table.perKeycode)}});
    }
    return groups;
}

std::optional<KeyboardMap::Groups> KeyboardMap::readGroups(xcb_connection_t* connection)
{
    if (!connection) connection = XcbSupport::connection();
    if (!connection) return std::nullopt;
    const xcb_query_extension_reply_t* xkb = xcb_get_extension_data(connection, &xcb_xkb_id);
    const xcb_setup_t* setup = xcb_get_setup(connection);
    if (xkb && xkb->present && setup && setup->max_keycode >= setup->min_keycode) {
        const quint8 count = quint8(setup->max_keycode - setup->min_keycode + 1);
        xcb_xkb_get_map_reply_t* reply =
            xcb_xkb_get_map_reply(connection,
                                  xcb_xkb_get_map(connection, XCB_XKB_ID_USE_CORE_KBD, XCB_XKB_MAP_PART_KEY_SYMS, 0, 0,
                                                  0, setup->min_keycode, count, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0),
                                  nullptr);
        if (reply) {
            xcb_xkb_get_map_map_t map{};
            xcb_xkb_get_map_map_unpack(xcb_xkb_get_map_map(reply), reply->nTypes, reply->nKeySyms, reply->nKeyActions,
                                       reply->totalActions, reply->totalKeyBehaviors, reply->virtualMods,
                                       reply->totalKeyExplicit, reply->totalModMapKeys, reply->totalVModMapKeys,
                                       reply->present, &map);
            Groups groups;
            xcb_xkb_key_sym_map_iterator_t it = xcb_xkb_get_map_map_syms_rtrn_iterator(reply, &map);
            for (int i = 0; it.rem > 0; ++i, xcb_xkb_key_sym_map_next(&it)) {
                const int keycode = reply->firstKeySym + i;
                const int groupCount = it.data->groupInfo & 0x0f;
                const int width = it.data->width;
                const xcb_keysym_t* syms = xcb_xkb_key_sym_map_syms(it.data);
                const int length = xcb_xkb_key_sym_map_syms_length(it.data);
                if (keycode > 255 || groupCount == 0 || width == 0 || length < groupCount * width) continue;
                Groups::Key key{quint8(keycode), {}};
                for (int g = 0; g < groupCount; ++g)
                    key.groups.push_back(QList<quint32>(syms + g * width, syms + (g + 1) * width));
                groups.keys.push_back(key);
            }
            std::free(reply);
            return groups;
        }
    }
    const std::optional<Table> table = read(connection);
    return table ? std::optional(Groups::oneGroup(*table)) : std::nullopt;
}

int KeyboardMap::currentGroup(xcb_connection_t* connection)
{
    if (!connection) connection = XcbSupport::connection();
    if (!connection) return 0;
    const xcb_query_extension_reply_t* xkb = xcb_get_extension_data(connection, &xcb_xkb_id);
    if (!xkb || !xkb->present) return 0;
    xcb_xkb_get_state_reply_t* reply =
        xcb_xkb_get_state_reply(connection, xcb_xkb_get_state(connection, XCB_XKB_ID_USE_CORE_KBD), nullptr);
    const int group = reply ? reply->lockedGroup : 0;
    std::free(reply);
    return group;
}

namespace {

// The keys of one group that carry `wanted`, at the lowest level any of them has it.
QList<quint8> keysInGroup(const KeyboardMap::Groups& groups, quint32 wanted, int group)
{
    QList<quint8> result;
    int best = std::numeric_limits<int>::max();
    for (const KeyboardMap::Groups::Key& key : groups.keys) {
        const QList<quint32>* levels = KeyboardMap::Groups::levels(key, group);
        if (!levels) continue;
        for (int level = 0; level < levels->size() && level <= best; ++level) {
            const quint32 sym = levels->at(level);
            if (sym == 0 || latinLetterOrDigit(sym).value_or(sym) != wanted) continue;
            if (level < best) result.clear();
            best = level;
            result << key.keycode;
            break;
        }
    }
    return result;
}

int groupCount(const KeyboardMap::Groups& groups)
{
    int count = 0;
    for (const KeyboardMap::Groups::Key& key : groups.keys) count = std::max(count, int(key.groups.size()));
    return count;
}

}  // namespace

QList<quint8> KeyboardMap::keycodesOf(const Groups& groups, quint32 keysym, int group)
{
    if (keysym == 0) return {};
    const quint32 wanted = latinLetterOrDigit(keysym).value_or(keysym);
    QList<quint8> result = keysInGroup(groups, wanted, group);
    for (int other = 0; result.isEmpty() && other < groupCount(groups); ++other)
        if (other != group) result = keysInGroup(groups, wanted, other);
    return result;
}

std::optional<quint32> KeyboardMap::hotkeyKeysym(const Groups& groups, quint32 keycode, int group)
{
    const auto key = std::find_if(groups.keys.cbegin(), groups.keys.cend(),
                                  [&](const Groups::Key& k) { return k.keycode == keycode; });
    if (key == groups.keys.cend()) return std::nullopt;
    const QList<quint32>* inUse = Groups::levels(*key, group);
    QList<quint32> symbols = inUse ? *inUse : QList<quint32>{};
    for (const QList<quint32>& levels : key->groups) symbols += levels;
    for (quint32 sym : symbols)
        if (const auto latin = latinLetterOrDigit(sym)) return latin;
    if (symbols.isEmpty() || symbols.first() == 0) return std::nullopt;
    return symbols.first();
}

std::optional<quint32> KeyboardMap::hotkeyKeysym(quint32 nativeScanCode)
{
    if (nativeScanCode == 0 || nativeScanCode > 255) return std::nullopt;
    const std::optional<Groups> groups = readGroups();
    return groups ? hotkeyKeysym(*groups, nativeScanCode, currentGroup()) : std::nullopt;
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
        case Qt::Key_Mode_switch:
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

bool KeyboardMap::typesCharacter(const QString& text)
{
    const QList<uint> characters = text.toUcs4();
    return !characters.isEmpty() && QChar::isPrint(char32_t(characters.front()));
}
