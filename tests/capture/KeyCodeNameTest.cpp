#include <gtest/gtest.h>

#include "capture/HotkeyGlyphs.h"
#include "capture/KeyCodeName.h"

TEST(KeyCodeName, ChordsPrintModifiersInFixedOrderThenTheKey)
{
    EXPECT_EQ(HotkeyGlyphs::modifiers(0xA00).join(QString()) + KeyCodeName::string(49), "⌥⇧Space");
    EXPECT_EQ(HotkeyGlyphs::modifiers(0xA00).join(QString()) + KeyCodeName::string(45), "⌥⇧N");
    EXPECT_EQ(HotkeyGlyphs::modifiers(0x1B00), (QStringList{"⌃", "⌥", "⇧", "⌘"}));
    // Caps lock (0x400) and other bits are not modifiers of a chord.
    EXPECT_TRUE(HotkeyGlyphs::modifiers(0x400 | 0x1 | 0x10000).isEmpty());
}

TEST(KeyCodeName, NamedKeysWinAndUnknownCodesAreSpelledOut)
{
    EXPECT_EQ(KeyCodeName::string(50), "`");
    EXPECT_EQ(KeyCodeName::string(36), "↵");
    EXPECT_EQ(KeyCodeName::string(53), "⎋");
    EXPECT_EQ(KeyCodeName::string(0), "A");  // code 0 is a key, not "none"
    EXPECT_EQ(KeyCodeName::string(29), "0");
    EXPECT_EQ(KeyCodeName::string(24), "key24");
    EXPECT_EQ(KeyCodeName::string(122), "key122");
}

TEST(KeyCodeName, KeysymsNameTheUnshiftedKey)
{
    EXPECT_EQ(KeyCodeName::keysym(45), 0x6eu);  // n, not N
    EXPECT_EQ(KeyCodeName::keysym(0), 0x61u);
    EXPECT_EQ(KeyCodeName::keysym(29), 0x30u);
    EXPECT_EQ(KeyCodeName::keysym(49), 0x20u);
    EXPECT_EQ(KeyCodeName::keysym(122), 0xffbeu);  // F1
    EXPECT_EQ(KeyCodeName::keysym(127), std::nullopt);
}
