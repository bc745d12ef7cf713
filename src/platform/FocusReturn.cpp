#include "platform/FocusReturn.h"

#include <QApplication>
#include <QWindow>

#include "platform/XcbSupport.h"

void FocusReturn::capture(QWidget* from)
{
    m_window = from ? from->window() : nullptr;
    m_previous = nullptr;
    if (!m_window) return;
    QWidget* focus = QApplication::focusWidget();
    if (!focus || focus->window() != m_window) focus = m_window->focusWidget();
    m_previous = focus;
}

QWidget* FocusReturn::target(const QWidget* window, QWidget* previous)
{
    if (!window || !previous || previous->window() != window) return nullptr;
    if (!previous->isVisibleTo(const_cast<QWidget*>(window)) || !previous->isEnabled()) return nullptr;
    if (previous->focusPolicy() == Qt::NoFocus) return nullptr;
    return previous;
}

void FocusReturn::restore(bool activate)
{
    QWidget* window = m_window;
    QWidget* previous = m_previous;
    m_window = nullptr;
    m_previous = nullptr;
    if (!window || !window->isVisible()) return;
    QWidget* active = QApplication::activeWindow();
    const bool ownerActive = active == window;
    if (!ownerActive) {
        // Another of our windows took over meanwhile (not the one closing, which may still be active).
        const QWidget* closing = QApplication::focusWidget() ? QApplication::focusWidget()->window() : nullptr;
        if (active && active != closing && active->isVisible() && !(active->windowFlags() & Qt::Popup)) return;
        if (!activate) return;
        // None of our windows has the keyboard (the closing one gave up its activation already while
        // it hid, but still holds the keyboard): the user went to another application meanwhile (while
        // a password was checked, say), and it is not taken back from there.
        if (!QGuiApplication::focusWindow()) return;
        activateForUser(window);
    }
    if (QWidget* focus = target(window, previous)) focus->setFocus(Qt::ActiveWindowFocusReason);
}

// _NET_ACTIVE_WINDOW with source 2 (a user action). Asked as an application (source 1, what
// QWindow::requestActivate sends), openbox does not act on it; its own fallback for the unmapped window
// finds no target (the note is not one) and parks the focus on its support window, so whether the note
// had the keyboard again was down to the order in which the X server saw the two.
void FocusReturn::activateForUser(QWidget* window)
{
    window->raise();
    xcb_connection_t* c = XcbSupport::connection();
    QWindow* handle = window->windowHandle();
    if (!c || !handle) {
        window->activateWindow();
        return;
    }
    const auto id = static_cast<xcb_window_t>(handle->winId());
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    if (!screen) {
        window->activateWindow();
        return;
    }
    XcbSupport::sendToWindowManager(c, screen->root, id, XcbSupport::atom(c, "_NET_ACTIVE_WINDOW"), 2,
                                    XCB_CURRENT_TIME);
    xcb_flush(c);
}
