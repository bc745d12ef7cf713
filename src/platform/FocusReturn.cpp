#include "platform/FocusReturn.h"

#include <QApplication>

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
        window->raise();
        window->activateWindow();
    }
    if (QWidget* focus = target(window, previous)) focus->setFocus(Qt::ActiveWindowFocusReason);
}
