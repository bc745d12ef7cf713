#pragma once

#include <QKeyEvent>

// How a key moves over a row of buttons reached by the keyboard (a note's head row, the shelf's
// footer): Tab and Right go forward, Shift+Tab and Left back, Return, Enter and Space press. Keys with
// other modifiers belong to whoever else wants them.
namespace ButtonRowKeys {

enum class Step { none, back, forward, press };

inline Step step(const QKeyEvent& key)
{
    const Qt::KeyboardModifiers mods = key.modifiers() & ~Qt::KeypadModifier;
    switch (key.key()) {
        case Qt::Key_Tab:
            if (mods == Qt::ShiftModifier) return Step::back;
            return mods == Qt::NoModifier ? Step::forward : Step::none;
        case Qt::Key_Backtab:
            return mods & ~Qt::ShiftModifier ? Step::none : Step::back;
        case Qt::Key_Left:
        case Qt::Key_Right:
            if (mods != Qt::NoModifier) return Step::none;
            return key.key() == Qt::Key_Left ? Step::back : Step::forward;
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Space:
            return mods == Qt::NoModifier ? Step::press : Step::none;
        default:
            return Step::none;
    }
}

}  // namespace ButtonRowKeys
