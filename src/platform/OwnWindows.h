#pragma once

#include <QWidget>

#include "platform/FocusReturn.h"

class Settings;

// The one rule for the top-level windows Tarnwick shows when the user asks (settings, themes, the tour).
//
// - Before every map the window's taskbar and pager states follow "general.showDockIcon" (or, for a
//   window the keyboard must always be able to switch to, are always off): a window manager drops a
//   window's states when it unmaps it, so a hidden window would come back without them.
// - A close (its button, Alt+F4) only hides the window, so its X window and everything in it are kept.
// - With `aboveWhileActive` it stays above other applications' windows while Tarnwick is the active
//   application; among our own windows the one the user asked for last is on top.
// - A fixed-size window tells the window manager it cannot be resized or maximised.
// - Its frame lies wholly on the work area of its screen, when shown and again when the screens change
//   under it: moved in when it would stand off an edge, and made smaller when it is larger than the
//   area (the window's content then scrolls); a control that takes the focus inside a scroll area is
//   scrolled into view.
// Nothing of the window-manager part happens off X11.
namespace OwnWindows {

struct Options {
    bool aboveWhileActive = false;
    bool fixedSize = false;
    bool hideOnClose = true;
    enum class Taskbar {
        followsSetting,
        // In the taskbar and the pager whatever the setting, so the window manager's keyboard switch
        // (Alt+Tab), which leaves out windows that skip the taskbar, reaches it.
        always,
    };
    Taskbar taskbar = Taskbar::followsSetting;
    // The window of ours that had the keyboard when this one was presented gets it back when this one
    // goes, by the user's close or by dismiss(): the window manager would hand it to whatever stacks
    // next, often another application (it passes over windows that skip the taskbar, as ours do).
    bool givesKeyboardBack = false;
};

// Makes `window` follow the rule from now on. The settings are read at every show, so they must
// outlive the window.
void adopt(QWidget* window, const Settings& settings, Options options);

// Where a frame goes on `area` (a screen's work area): where it is, moved the least needed to lie
// wholly inside; a frame wider or taller than the area is cut to it.
QRect fitFrame(QRect frame, const QRect& area);

// Puts an adopted window's frame wholly on the work area of its screen now, as happens before every
// show (the title bar's height is taken from our last decorated window until the window manager
// tells it).
void placeOnScreen(QWidget* window);

// Shows an adopted window the user asked for: restored when minimised, raised above our other
// windows and activated. A window adopted with givesKeyboardBack gives it back, as it goes, to
// `giveBackTo` when that names a window (the one a shelf closing now was opened over), else to the
// window of ours that has the keyboard now.
void present(QWidget* window, const FocusReturn& giveBackTo = {});

// Hides an adopted window the app is done with (a form saved), giving the keyboard back first when it
// was adopted with givesKeyboardBack.
void dismiss(QWidget* window);

// Makes `dialog`, a modal question (a message box, a panel run with exec()), come up above every window
// of ours with the keyboard, whichever window asked for it: the window manager would leave a dialog with
// no parent under our windows that stay on top (the settings, the notes, the shelf). Like the settings,
// it stays above other applications' windows only while Tarnwick is active, and comes over ours again
// when Tarnwick is active again. Closed by its window (the title bar's close, Alt+F4), a message box
// answers with its escape button, as Escape would, and a dialog rejects. While it is up, a press on the
// tray icon (which it blocks like every other window of ours) brings it back (bringQuestionForward).
void adoptQuestion(QWidget* dialog);

// Brings the question that is up (the one asked last when there are several) to the front with the
// keyboard, restored when minimised; false when none is up.
bool bringQuestionForward();

// Whether `window` was adopted, and its place in the order of requests (higher is later; 0 never).
bool isAdopted(const QWidget* window);
quint64 requestOrder(const QWidget* window);

}  // namespace OwnWindows
