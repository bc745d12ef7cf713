#pragma once

#include <QPointer>
#include <QWidget>

// Gives the keyboard back to the window a transient window (a dialog, a preview, a popover) was opened
// from: without it the window manager hands the focus to whatever stacks next, often another
// application. Captured when the transient window opens, restored when it closes.
class FocusReturn {
public:
    // Remembers `from`'s window and the widget that has the focus inside it (if any).
    void capture(QWidget* from);
    // Activates the captured window again and puts the focus back; nothing when that window is gone or
    // hidden meanwhile (the note was closed), when another of our windows has become active since, when
    // none of ours is active any more (the user went to another application), or when nothing was
    // captured. With `activate` false only the focus inside the window is put back, and
    // only while that window is active (a popup never takes the activation; a click that closed it may
    // have given it to another application).
    // Called while the closing window is still on screen, before it hides: see handKeyboardTo.
    void restore(bool activate = true);
    QWidget* window() const { return m_window; }

    // Where the focus goes back inside `window`: the widget that had it, when it still lives inside that
    // window and can take the focus; otherwise null (the window's own choice).
    static QWidget* target(const QWidget* window, QWidget* previous);
    // Raises `window` and gives it the keyboard as the direct result of the user's own key or answer in
    // a window that is closing (asked as an application, openbox may not act on it).
    static void activateForUser(QWidget* window);
    // The way back every window of ours takes as it closes: `window` gets the keyboard from the window
    // of ours that holds it, before that one hides. The X focus moves to it at once (ours to hand on
    // while one of our windows holds it, or nothing does), then the window manager is asked as for a
    // user's activation, which raises it. Had the closing window hidden first, the window manager would
    // choose the next window itself: it passes over ours (on every workspace, out of the taskbar) to
    // another application's, and a browser it offers the focus to takes it even after ours has asked.
    static void handKeyboardTo(QWidget* window);

private:
    QPointer<QWidget> m_window;
    QPointer<QWidget> m_previous;
};
