#include "settings/SettingsWindowController.h"

#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>

#include "design/LightPalette.h"
#include "design/SharePrivacy.h"
#include "platform/EwmhWindowState.h"
#include "platform/WindowStates.h"
#include "settings/PreferenceTabsController.h"

namespace {

// The top-level window: tells the tabs when it gains or loses the focus.
class SettingsWindow : public QWidget {
public:
    explicit SettingsWindow(std::function<void(bool)> activation) : m_activation(std::move(activation)) {}

protected:
    void changeEvent(QEvent* event) override
    {
        if (event->type() == QEvent::ActivationChange && m_activation) m_activation(isActiveWindow());
        QWidget::changeEvent(event);
    }

private:
    std::function<void(bool)> m_activation;
};

}  // namespace

SettingsWindowController::SettingsWindowController(ServicesFactory services, QObject* parent)
    : QObject(parent), m_factory(std::move(services))
{
}

SettingsWindowController::~SettingsWindowController()
{
    delete m_window.data();
}

void SettingsWindowController::show()
{
    if (!m_window) build();
    m_tabs->selectStoredTab();
    m_window->show();
    applyLevel();
    m_window->raise();
    m_window->activateWindow();
    if (QWindow* handle = m_window->windowHandle()) handle->requestActivate();
}

void SettingsWindowController::build()
{
    m_services.emplace(m_factory());
    auto* window = new SettingsWindow([this](bool active) {
        if (m_tabs) m_tabs->windowActivationChanged(active);
    });
    m_window = window;
    window->setWindowTitle(QStringLiteral("Tarnwick Settings"));
    window->setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint);
    window->setPalette(LightPalette::make());
    window->setAutoFillBackground(true);
    auto* column = new QVBoxLayout(window);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSizeConstraint(QLayout::SetFixedSize);  // not resizable
    m_tabs = new PreferenceTabsController(*m_services, window);
    column->addWidget(m_tabs);
    m_tabs->load();
    if (m_themeActions.edit || m_themeActions.createFrom) m_tabs->setThemeActions(m_themeActions);
    window->adjustSize();

    QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (screen) {
        QRect frame = window->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }
    window->winId();  // the native window, so its states can be set before it maps
    WindowStates::applyTaskbarPresence(window->windowHandle(), m_services->settings);
    SharePrivacy::apply(QList<QWidget*>{window}, m_services->settings);
    observeActivation();
}

void SettingsWindowController::observeActivation()
{
    connect(qGuiApp, &QGuiApplication::applicationStateChanged, m_window, [this] { applyLevel(); });
}

void SettingsWindowController::applyLevel()
{
    if (!m_window || !m_window->windowHandle()) return;
    // Above other windows while Tarnwick is the active application; among them otherwise.
    EwmhWindowState::States states = EwmhWindowState::read(m_window->winId());
    const bool active = QGuiApplication::applicationState() == Qt::ApplicationActive;
    if (states.above == active) return;
    states.above = active;
    EwmhWindowState::apply(m_window->winId(), states);
}

void SettingsWindowController::setThemeActions(SettingsThemeActions actions)
{
    m_themeActions = std::move(actions);
    if (m_tabs) m_tabs->setThemeActions(m_themeActions);
}
