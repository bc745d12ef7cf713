#include "platform/FocusReturn.h"

#include <QApplication>
#include <QWindow>

#include "platform/XcbSupport.h"

#include <cstdlib>

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
        // Another of our windows took over meanwhile (not the one closing, which is still active when
        // it gives the keyboard back before it hides, whether a control in it has the focus or none).
        const QWidget* closing = QApplication::focusWidget() ? QApplication::focusWidget()->window() : nullptr;
        if (!closing)
            for (const QWidget* top : QApplication::topLevelWidgets())
                if (top->windowHandle() && top->windowHandle() == QGuiApplication::focusWindow()) closing = top;
        if (active && active != closing && active->isVisible() && !(active->windowFlags() & Qt::Popup)) return;
        if (!activate) return;
        // None of our windows has the keyboard (the closing one gave up its activation already while
        // it hid, but still holds the keyboard): the user went to another application meanwhile (while
        // a password was checked, say), and it is not taken back from there.
        if (!QGuiApplication::focusWindow()) return;
        handKeyboardTo(window);
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

namespace {

// Whether the X focus is on a window of ours, or on none (it fell back to the root as ours hid): then it
// is ours to hand on. Another application's is left to it.
bool focusOursToGive(xcb_connection_t* c)
{
    xcb_get_input_focus_reply_t* reply = xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr);
    if (!reply) return false;
    const xcb_window_t focus = reply->focus;
    std::free(reply);
    if (focus == XCB_NONE || focus == XCB_INPUT_FOCUS_POINTER_ROOT) return true;
    for (xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c)); it.rem; xcb_screen_next(&it))
        if (it.data->root == focus) return true;
    for (QWindow* window : QGuiApplication::allWindows())
        if (window->handle() && static_cast<xcb_window_t>(window->winId()) == focus) return true;
    return false;
}

// The X focus can only go to a window that is on screen (a minimised one, or one on another workspace,
// is unmapped): BadMatch otherwise.
bool viewable(xcb_connection_t* c, xcb_window_t id)
{
    xcb_get_window_attributes_reply_t* reply =
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, id), nullptr);
    const bool result = reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
    std::free(reply);
    return result;
}

}  // namespace

void FocusReturn::handKeyboardTo(QWidget* window)
{
    xcb_connection_t* c = XcbSupport::connection();
    QWindow* handle = window->windowHandle();
    if (c && handle) {
        const auto id = static_cast<xcb_window_t>(handle->winId());
        if (focusOursToGive(c) && viewable(c, id)) {
            // Checked, so a window unmapped meanwhile costs nothing but this request.
            std::free(
                xcb_request_check(c, xcb_set_input_focus_checked(c, XCB_INPUT_FOCUS_PARENT, id, XCB_CURRENT_TIME)));
        }
    }
    activateForUser(window);
}
