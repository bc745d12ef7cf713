#include <gtest/gtest.h>

#include "capture/HotkeyGlyphs.h"
#include "capture/KeyCodeName.h"
#include "platform/KeyboardMap.h"

#include <xkbcommon/xkbcommon.h>

TEST(KeyCodeName, ChordsPrintModifiersInFixedOrderThenTheKey)
{
    EXPECT_EQ(HotkeyGlyphs::chord(49, 0xA00), "Alt+Shift+Space");
    EXPECT_EQ(HotkeyGlyphs::chord(40, 0x1B00), "Ctrl+Alt+Shift+Super+K");
    EXPECT_EQ(HotkeyGlyphs::modifiers(0x1B00), (QStringList{"Ctrl+", "Alt+", "Shift+", "Super+"}));
    // Caps lock (0x400) and other bits are not modifiers of a chord.
    EXPECT_TRUE(HotkeyGlyphs::modifiers(0x400 | 0x1 | 0x10000).isEmpty());
}

TEST(KeyCodeName, NamedKeysWinAndUnknownCodesAreSpelledOut)
{
    // Code 0 is a key, not "none".
    for (const auto& [code, name] :
         {std::pair{50, "`"}, {36, "Return"}, {53, "Escape"}, {0, "A"}, {29, "0"}, {24, "key24"}, {122, "key122"}})
        EXPECT_EQ(KeyCodeName::string(code), name) << code;
}

TEST(KeyCodeName, KeysymsNameTheUnshiftedKey)
{
    // n, not N, for 45; 122 is F1.
    for (const auto& [code, keysym] : {std::pair{45, 0x6eu}, {0, 0x61u}, {29, 0x30u}, {49, 0x20u}, {122, 0xffbeu}})
        EXPECT_EQ(KeyCodeName::keysym(code), keysym) << code;
    EXPECT_EQ(KeyCodeName::keysym(127), std::nullopt);
}

namespace {

// A keyboard as the server holds it for these layouts, built from the system's XKB rules: each key's
// symbols by group and level.
KeyboardMap::Groups keyboard(const char* layout, const char* variant = "")
{
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
    const xkb_rule_names names{"evdev", "pc105", layout, variant, nullptr};
    xkb_keymap* keymap = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
    KeyboardMap::Groups groups;
    for (xkb_keycode_t code = keymap ? xkb_keymap_min_keycode(keymap) : 1; keymap && code <= 255; ++code) {
        KeyboardMap::Groups::Key key{quint8(code), {}};
        for (xkb_layout_index_t g = 0; g < xkb_keymap_num_layouts_for_key(keymap, code); ++g) {
            QList<quint32> levels;
            for (xkb_level_index_t l = 0; l < xkb_keymap_num_levels_for_key(keymap, code, g); ++l) {
                const xkb_keysym_t* syms = nullptr;
                levels << (xkb_keymap_key_get_syms_by_level(keymap, code, g, l, &syms) > 0 ? syms[0] : 0);
            }
            key.groups << levels;
        }
        if (!key.groups.isEmpty()) groups.keys << key;
    }
    xkb_keymap_unref(keymap);
    xkb_context_unref(context);
    return groups;
}

QList<quint8> keysOf(const KeyboardMap::Groups& groups, quint32 keyCode, int group)
{
    return KeyboardMap::keycodesOf(groups, KeyCodeName::keysym(keyCode).value_or(0), group);
}

}  // namespace

// A chord is on the one key that types its letter in the group in use; another group is looked at only
// when that one has no key for it. Key codes are the server's (evdev): 29 is labelled Y on a US
// keyboard, 52 Z, 57 N, 46 L, 44 J, 47 the semicolon.
TEST(KeyCodeName, AChordIsOnTheKeyOfItsLetterInTheGroupInUse)
{
    const KeyboardMap::Groups deUs = keyboard("de,us");
    ASSERT_FALSE(deUs.keys.isEmpty()) << "no XKB rules on this system";
    const quint32 z = 6, y = 16, n = 45, s = 1, h = 4, space = 49, one = 18;
    EXPECT_EQ(keysOf(deUs, z, 0), QList<quint8>{29});
    EXPECT_EQ(keysOf(deUs, y, 0), QList<quint8>{52});
    EXPECT_EQ(keysOf(deUs, z, 1), QList<quint8>{52});
    EXPECT_EQ(keysOf(deUs, y, 1), QList<quint8>{29});
    for (int group : {0, 1}) {
        EXPECT_EQ(keysOf(deUs, n, group), QList<quint8>{57}) << group;
        EXPECT_EQ(keysOf(deUs, space, group), QList<quint8>{65}) << group;
        EXPECT_EQ(keysOf(deUs, one, group), QList<quint8>{10}) << group;
    }

    const KeyboardMap::Groups usDvorak = keyboard("us,us", ",dvorak");
    EXPECT_EQ(keysOf(usDvorak, n, 0), QList<quint8>{57});
    EXPECT_EQ(keysOf(usDvorak, n, 1), QList<quint8>{46});
    EXPECT_EQ(keysOf(usDvorak, h, 1), QList<quint8>{44});
    EXPECT_EQ(keysOf(usDvorak, s, 0), QList<quint8>{39});
    EXPECT_EQ(keysOf(usDvorak, s, 1), QList<quint8>{47});

    // The Russian group has no Latin N: the US group's key, in either group.
    const KeyboardMap::Groups ruUs = keyboard("ru,us");
    for (int group : {0, 1}) EXPECT_EQ(keysOf(ruUs, n, group), QList<quint8>{57}) << group;
    EXPECT_TRUE(keysOf(keyboard("ru"), n, 0).isEmpty());

    // The recorder names the key pressed by the letter it types in the group in use, so the chord it
    // stores is grabbed on that same key.
    EXPECT_EQ(KeyboardMap::hotkeyKeysym(deUs, 52, 0), quint32('y'));
    EXPECT_EQ(KeyboardMap::hotkeyKeysym(deUs, 52, 1), quint32('z'));
    EXPECT_EQ(KeyboardMap::hotkeyKeysym(usDvorak, 46, 1), quint32('n'));
    EXPECT_EQ(KeyboardMap::hotkeyKeysym(ruUs, 57, 0), quint32('n'));
}
