#pragma once

#include <QString>
#include <Qt>
#include <array>
#include <optional>

// The text format commands shared by the note view and the editor. Their raw values (the case names) travel
// in notifications, so they never change.
enum class FormatCommand {
    bold,
    italic,
    underline,
    strikethrough,
    clear,
    pasteMatchStyle,
    toggleDone,
    toggleBullet,
    toggleNumbered,
    focusBody,
};

struct FormatCommands {
    // A key chord: Control (the desktop's stand-in for Command), Shift when `shift`, and the key's
    // characters ignoring modifiers, lower-cased.
    struct Shortcut {
        FormatCommand command;
        bool shift;
        char16_t key;
    };

    static constexpr std::array<FormatCommand, 10> all{
        FormatCommand::bold,          FormatCommand::italic,       FormatCommand::underline,
        FormatCommand::strikethrough, FormatCommand::clear,        FormatCommand::pasteMatchStyle,
        FormatCommand::toggleDone,    FormatCommand::toggleBullet, FormatCommand::toggleNumbered,
        FormatCommand::focusBody,
    };

    // The commands with a chord; the list commands and focusBody have none.
    static constexpr std::array<Shortcut, 7> shortcuts{{
        {FormatCommand::bold, false, u'b'},
        {FormatCommand::italic, false, u'i'},
        {FormatCommand::underline, false, u'u'},
        {FormatCommand::strikethrough, true, u'x'},
        {FormatCommand::clear, false, u'\\'},
        {FormatCommand::pasteMatchStyle, true, u'v'},
        {FormatCommand::toggleDone, true, u'd'},
    }};

    static QString rawValue(FormatCommand command);
    // Exactly the ten case names, case-sensitive; anything else gives none.
    static std::optional<FormatCommand> fromRawValue(const QString& rawValue);

    // The command of a chord: Control is required, Shift is optional, any other modifier (Alt, Meta,
    // keypad) means no command. `chars` must be the one key character, so a key producing several never
    // matches.
    static std::optional<FormatCommand> forChord(Qt::KeyboardModifiers modifiers, const QString& chars);
    // The command of a pressed key (a Qt::Key): the key is matched, not its text, so Caps Lock and the
    // layout's shifted text do not matter; the keypad flag is ignored.
    static std::optional<FormatCommand> forKey(int key, Qt::KeyboardModifiers modifiers);
};
