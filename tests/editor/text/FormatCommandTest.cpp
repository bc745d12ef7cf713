#include <gtest/gtest.h>

#include "editor/text/FormatCommand.h"

TEST(FormatCommandTest, RawValuesAreTheExactCaseNames)
{
    for (FormatCommand command : FormatCommands::all)
        EXPECT_EQ(FormatCommands::fromRawValue(FormatCommands::rawValue(command)), command);
    EXPECT_EQ(FormatCommands::rawValue(FormatCommand::pasteMatchStyle), "pasteMatchStyle");
    EXPECT_EQ(FormatCommands::fromRawValue("focusBody"), FormatCommand::focusBody);
    for (const char* other : {"Bold", "bold ", "", "toggledone"})
        EXPECT_EQ(FormatCommands::fromRawValue(other), std::nullopt) << other;
}

TEST(FormatCommandTest, ChordsNeedControlAndAtMostShift)
{
    const Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
    const Qt::KeyboardModifiers ctrlShift = Qt::ControlModifier | Qt::ShiftModifier;
    const struct {
        Qt::KeyboardModifiers modifiers;
        const char* chars;
        std::optional<FormatCommand> expected;
    } cases[] = {
        {ctrl, "b", FormatCommand::bold},
        {ctrl, "\\", FormatCommand::clear},
        {ctrlShift, "x", FormatCommand::strikethrough},
        {ctrlShift, "v", FormatCommand::pasteMatchStyle},
        {ctrlShift, "b", std::nullopt},
        {ctrl, "x", std::nullopt},
        {ctrl, "bb", std::nullopt},
        {Qt::ShiftModifier, "x", std::nullopt},
        {ctrl | Qt::AltModifier, "b", std::nullopt},
        {ctrl | Qt::KeypadModifier, "b", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatCommands::forChord(c.modifiers, c.chars), c.expected) << c.chars << c.modifiers.toInt();
}

TEST(FormatCommandTest, KeysMatchByKeyNotText)
{
    const Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
    EXPECT_EQ(FormatCommands::forKey(Qt::Key_B, ctrl), FormatCommand::bold);
    EXPECT_EQ(FormatCommands::forKey(Qt::Key_Backslash, ctrl), FormatCommand::clear);
    // Shift changes the key's text, never the key: Ctrl+Shift+X stays strikethrough.
    EXPECT_EQ(FormatCommands::forKey(Qt::Key_X, ctrl | Qt::ShiftModifier), FormatCommand::strikethrough);
    EXPECT_EQ(FormatCommands::forKey(Qt::Key_B, ctrl | Qt::KeypadModifier), FormatCommand::bold);
    for (int key : {int(Qt::Key_1), int(Qt::Key_Return), int(Qt::Key_F1), int(Qt::Key_Bar)})
        EXPECT_EQ(FormatCommands::forKey(key, ctrl), std::nullopt) << key;
    EXPECT_EQ(FormatCommands::forKey(Qt::Key_B, ctrl | Qt::AltModifier), std::nullopt);
}
