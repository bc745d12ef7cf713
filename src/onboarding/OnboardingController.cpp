#include "onboarding/OnboardingController.h"

#include "platform/Clock.h"
#include "platform/Settings.h"

OnboardingController::OnboardingController(Settings& settings, Clock& clock, PanelFactory makePanel, Hooks hooks,
                                           QObject* parent)
    : QObject(parent),
      m_settings(settings),
      m_clock(clock),
      m_makePanel(std::move(makePanel)),
      m_hooks(std::move(hooks))
{
}

OnboardingController::~OnboardingController()
{
    tearDown();
}

bool OnboardingController::present(OnboardingMode mode)
{
    if (m_panel) {
        m_panel->bringToFront();
        return true;
    }
    m_mode = mode;
    m_practice.clear();
    m_panel = m_makePanel ? m_makePanel(*this) : nullptr;
    if (!m_panel) return false;
    m_panel->present();
    return true;
}

std::optional<QString> OnboardingController::practiceSelection() const
{
    if (!m_panel || m_practice.selectedText().isEmpty()) return std::nullopt;
    return m_practice.selectedText();
}

void OnboardingController::finish()
{
    if (!m_panel) return;
    m_settings.setValue(QStringLiteral("onboarding.completed"), true);
    tearDown();
    m_clock.after(kShelfDelayMs, this, [this] {
        if (m_hooks.shelfIsOpen && m_hooks.shelfIsOpen()) return;
        if (m_hooks.presentShelf) m_hooks.presentShelf();
    });
}

void OnboardingController::panelClosed()
{
    tearDown();
}

void OnboardingController::quit()
{
    if (m_hooks.quit) m_hooks.quit();
}

bool OnboardingController::isQuitChord(int key, Qt::KeyboardModifiers modifiers)
{
    return key == Qt::Key_Q && (modifiers & ~Qt::KeypadModifier) == Qt::ControlModifier;
}

void OnboardingController::tearDown()
{
    // Words selected in this showing never reach a capture after it.
    m_practice.clear();
    if (OnboardingPanel* panel = std::exchange(m_panel, nullptr)) panel->discard();
}
