#include <gtest/gtest.h>

#include "capture/HotkeyGlyphs.h"
#include "capture/KeyCodeName.h"

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
