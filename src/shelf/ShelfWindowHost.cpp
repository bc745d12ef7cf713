#include "shelf/ShelfWindowHost.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QWindow>

#include "design/SharePrivacy.h"
#include "platform/Clock.h"
#include "platform/EwmhWindowState.h"
#include "platform/ScreenChanges.h"
#include "shelf/ShelfPlacement.h"

ShelfWindowHost::ShelfWindowHost(ShelfController& controller, const Clock& clock, const Settings& settings,
                                 ShelfPanel::Options options, QSystemTrayIcon* tray)
    : m_controller(controller), m_clock(clock), m_settings(settings), m_options(std::move(options)), m_tray(tray)
{
    m_controller.setPanelHost(this);
    ScreenChanges::watch(&m_screenWatch, [this] { placeAgain(); });
}

ShelfWindowHost::~ShelfWindowHost()
{
    if (m_controller.panelHost() == this) m_controller.setPanelHost(nullptr);
    delete m_panel.data();
    for (const QPointer<ShelfPanel>& panel : std::as_const(m_closing)) delete panel.data();
}

void ShelfWindowHost::noteTrayClick()
{
    m_trayClickAt = m_clock.elapsedMs();
}

std::optional<QRect> ShelfWindowHost::placement(bool fromTrayClick) const
{
    return placementFrom(fromTrayClick ? std::optional<QPoint>(QCursor::pos()) : std::nullopt);
}

std::optional<QRect> ShelfWindowHost::placementFrom(std::optional<QPoint> clickedAt) const
{
    ShelfPlacement::Input in;
    const QRect trayRect = m_tray ? m_tray->geometry() : QRect();
    if (!trayRect.isEmpty())
        in.anchor = trayRect;  // an XEmbed tray says where its icon is
    else if (clickedAt)
        in.anchor = QRect(*clickedAt, QSize(1, 1));
    const QPoint probe = in.anchor ? in.anchor->center() : QCursor::pos();
    QScreen* screen = QGuiApplication::screenAt(probe);
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return std::nullopt;
    in.screen = screen->geometry();
    in.available = screen->availableGeometry();
    in.fullScreenWindowActive = EwmhWindowState::activeWindowIsFullScreen();
    return QRect(ShelfPlacement::topLeft(in), in.panel);
}

void ShelfWindowHost::open(bool fromTrayClick)
{
    close();
    m_focusReturn.capture(QApplication::activeWindow());
    // The click's own signal comes just before the shelf opens for it.
    fromTrayClick = fromTrayClick || (m_trayClickAt >= 0 && m_clock.elapsedMs() - m_trayClickAt < 1000);
    m_trayClickAt = -1;
    auto* panel = new ShelfPanel(m_controller, m_options);
    m_panel = panel;
    m_clickedAt = fromTrayClick ? std::optional<QPoint>(QCursor::pos()) : std::nullopt;
    if (const std::optional<QRect> frame = placementFrom(m_clickedAt)) panel->move(frame->topLeft());
    SharePrivacy::apply(QList<QObject*>{panel}, m_settings);
    // On top and on every workspace, out of the taskbar and the pager.
    EwmhWindowState::apply(panel->winId(), {true, true, true, true});
    panel->showAndFocus();
    panel->searchField()->setFocus(Qt::ActiveWindowFocusReason);
}

void ShelfWindowHost::placeAgain()
{
    if (!m_panel) return;
    if (const std::optional<QRect> frame = placementFrom(m_clickedAt); frame && frame->topLeft() != m_panel->pos())
        m_panel->move(frame->topLeft());
}

void ShelfWindowHost::close()
{
    if (!m_panel) return;
    ShelfPanel* panel = m_panel;
    m_panel = nullptr;
    // Closed while it had the keyboard (Escape, Ctrl+W): handed back before the panel hides, or the
    // window manager would hand the focus to whatever stacks next, often another application. Closed
    // because something else took the keyboard (a note opened from it, a click elsewhere): that keeps it.
    const bool hadKeyboard = panel->isActiveWindow();
    panel->detach();
    if (hadKeyboard)
        m_focusReturn.restore();
    else
        m_focusReturn = {};
    panel->hide();
    // Later, not now: close() may run inside one of the panel's own handlers.
    panel->deleteLater();
    m_closing.removeIf([](const QPointer<ShelfPanel>& p) { return p.isNull(); });
    m_closing << panel;
}

void ShelfWindowHost::refocus()
{
    if (!m_panel) return;
    m_panel->raise();
    m_panel->activateWindow();
    m_panel->searchField()->setFocus(Qt::ActiveWindowFocusReason);
}

FocusReturn ShelfWindowHost::keyboardReturn() const
{
    QWidget* active = QApplication::activeWindow();
    if (m_panel && active == m_panel) return m_focusReturn;
    FocusReturn here;
    here.capture(active);
    return here;
}

bool ShelfWindowHost::openedOverWindowActive() const
{
    const QWidget* over = m_focusReturn.window();
    QWindow* focus = QGuiApplication::focusWindow();
    return m_panel && over && focus && focus == over->windowHandle();
}

bool ShelfWindowHost::otherWindowOfOursActive() const
{
    QWindow* focus = QGuiApplication::focusWindow();
    return focus && (!m_panel || focus != m_panel->windowHandle());
}
