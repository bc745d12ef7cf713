#include "settings/SettingsWindowController.h"

#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>

#include "design/LightPalette.h"
#include "design/SharePrivacy.h"
#include "platform/OwnWindows.h"
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

void SettingsWindowController::show(const FocusReturn& giveBackTo)
{
    if (!m_window) build();
    m_tabs->selectStoredTab();
    OwnWindows::present(m_window, giveBackTo);
    m_tabs->focusPage();
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
    m_tabs = new PreferenceTabsController(*m_services, window);
    column->addWidget(m_tabs);
    m_tabs->load();
    if (m_themeActions.edit || m_themeActions.createFrom) m_tabs->setThemeActions(m_themeActions);
    window->adjustSize();
    // Not resizable; on a screen too short for it the window is made shorter and its page scrolls.
    window->setFixedSize(window->size());
    m_tabs->letPagesShrink();

    QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (screen) {
        QRect frame = window->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }
    window->winId();
    SharePrivacy::apply(QList<QWidget*>{window}, m_services->settings);
    // Above other windows while Tarnwick is the active application; among them otherwise.
    OwnWindows::adopt(window, m_services->settings,
                      {.aboveWhileActive = true, .fixedSize = true, .givesKeyboardBack = true});
}

void SettingsWindowController::setThemeActions(SettingsThemeActions actions)
{
    m_themeActions = std::move(actions);
    if (m_tabs) m_tabs->setThemeActions(m_themeActions);
}
