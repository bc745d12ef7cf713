#include "shelf/ShelfKeys.h"

ShelfKeys::Command ShelfKeys::route(int key, Qt::KeyboardModifiers modifiers, bool actionsOpen)
{
    // The keypad flag says where a key sits, not how it was pressed.
    const Qt::KeyboardModifiers mods = modifiers & ~Qt::KeypadModifier;
    if (actionsOpen) {
        const bool plain = mods == Qt::NoModifier;
        switch (key) {
            case Qt::Key_Left:
                if (plain) return Command::previousAction;
                break;
            case Qt::Key_Backtab:
                if (mods == Qt::ShiftModifier || plain) return Command::previousAction;
                break;
            case Qt::Key_Right:
            case Qt::Key_Tab:
                if (plain) return Command::nextAction;
                break;
            case Qt::Key_Return:
            case Qt::Key_Enter:
            case Qt::Key_Space:
                if (plain) return Command::pressAction;
                break;
            default:
                break;
        }
    }
    const bool ctrl = mods.testFlag(Qt::ControlModifier);
    const bool onlyCtrl = mods == Qt::ControlModifier;
    switch (key) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (onlyCtrl) return Command::activate;
            return ctrl ? Command::none : Command::commit;
        case Qt::Key_Tab:
            return ctrl ? Command::none : Command::flipLens;
        case Qt::Key_Backtab:
            // Shift+Tab arrives as Backtab. Tab itself turns the lenses, so going back is the keyboard's
            // one way out of the field to the footer.
            return ctrl ? Command::none : Command::toFooter;
        case Qt::Key_Comma:
            return onlyCtrl ? Command::settings : Command::none;
        case Qt::Key_Down:
            return ctrl ? Command::none : Command::down;
        case Qt::Key_Up:
            return ctrl ? Command::none : Command::up;
        case Qt::Key_Escape:
            return mods == Qt::NoModifier ? Command::escape : Command::none;
        case Qt::Key_W:
            return onlyCtrl ? Command::close : Command::none;
        case Qt::Key_K:
            return onlyCtrl ? Command::toggleActions : Command::none;
        case Qt::Key_P:
            return onlyCtrl ? Command::pin : Command::none;
        case Qt::Key_Menu:
            return mods == Qt::NoModifier ? Command::contextMenu : Command::none;
        case Qt::Key_F10:
            return mods == Qt::ShiftModifier ? Command::contextMenu : Command::none;
        default:
            return Command::none;
    }
}
