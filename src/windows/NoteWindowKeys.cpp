#include "windows/NoteWindowKeys.h"

namespace NoteWindowKeys {

Command commandFor(int key, Qt::KeyboardModifiers modifiers)
{
    const Qt::KeyboardModifiers mods = modifiers & ~Qt::KeypadModifier;
    const bool controlOnly = mods == Qt::ControlModifier;
    if (mods == (Qt::ControlModifier | Qt::AltModifier)) {
        if (key == Qt::Key_Left) return Command::previousNote;
        if (key == Qt::Key_Right) return Command::nextNote;
    }
    if (controlOnly) {
        switch (key) {
            case Qt::Key_PageUp:
                return Command::previousNote;
            case Qt::Key_PageDown:
                return Command::nextNote;
            case Qt::Key_W:
                return Command::closeNote;
            case Qt::Key_F:
                return Command::find;
            default:
                break;
        }
    }
    if (mods == (Qt::ControlModifier | Qt::ShiftModifier) && key == Qt::Key_F) return Command::toggleSearchPalette;
    return Command::none;
}

}  // namespace NoteWindowKeys
