#include "editor/text/FormatCommand.h"

QString FormatCommands::rawValue(FormatCommand command)
{
    switch (command) {
        case FormatCommand::bold:
            return QStringLiteral("bold");
        case FormatCommand::italic:
            return QStringLiteral("italic");
        case FormatCommand::underline:
            return QStringLiteral("underline");
        case FormatCommand::strikethrough:
            return QStringLiteral("strikethrough");
        case FormatCommand::clear:
            return QStringLiteral("clear");
        case FormatCommand::pasteMatchStyle:
            return QStringLiteral("pasteMatchStyle");
        case FormatCommand::toggleDone:
            return QStringLiteral("toggleDone");
        case FormatCommand::toggleBullet:
            return QStringLiteral("toggleBullet");
        case FormatCommand::toggleNumbered:
            return QStringLiteral("toggleNumbered");
        case FormatCommand::focusBody:
            return QStringLiteral("focusBody");
    }
    return {};
}

std::optional<FormatCommand> FormatCommands::fromRawValue(const QString& rawValue)
{
    for (FormatCommand command : all)
        if (FormatCommands::rawValue(command) == rawValue) return command;
    return std::nullopt;
}

std::optional<FormatCommand> FormatCommands::forKey(int key, Qt::KeyboardModifiers modifiers)
{
    QString chars;
    if (key == Qt::Key_Backslash)
        chars = QStringLiteral("\\");
    else if (key >= Qt::Key_A && key <= Qt::Key_Z)
        chars = QChar(u'a' + (key - Qt::Key_A));
    return forChord(modifiers & ~Qt::KeypadModifier, chars);
}

std::optional<FormatCommand> FormatCommands::forChord(Qt::KeyboardModifiers modifiers, const QString& chars)
{
    if (!modifiers.testFlag(Qt::ControlModifier)) return std::nullopt;
    if (modifiers & ~(Qt::ControlModifier | Qt::ShiftModifier)) return std::nullopt;
    if (chars.size() != 1) return std::nullopt;
    const bool shift = modifiers.testFlag(Qt::ShiftModifier);
    for (const Shortcut& shortcut : shortcuts)
        if (shortcut.shift == shift && shortcut.key == chars.front().unicode()) return shortcut.command;
    return std::nullopt;
}
