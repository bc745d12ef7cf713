#include "onboarding/LaunchAtLoginChoice.h"

#include "platform/LoginItem.h"
#include "platform/Settings.h"

LaunchAtLoginChoice::Backend LaunchAtLoginChoice::Backend::loginItem()
{
    return {[] { return LoginItem::isEnabled(); }, [](bool enabled) { return LoginItem::set(enabled); }};
}

LaunchAtLoginChoice::LaunchAtLoginChoice(Settings& settings, Backend backend)
    : m_settings(settings), m_backend(std::move(backend))
{
}

bool LaunchAtLoginChoice::appear()
{
    store(m_backend.isEnabled && m_backend.isEnabled());
    return m_value;
}

bool LaunchAtLoginChoice::change(bool wanted)
{
    if (wanted == m_value) return m_value;
    const std::optional<QString> failure = m_backend.set ? m_backend.set(wanted) : std::optional<QString>(QString());
    // A refused change is not retried: the toggle goes back to what the entry really is.
    store(failure ? (m_backend.isEnabled && m_backend.isEnabled()) : wanted);
    return m_value;
}

void LaunchAtLoginChoice::store(bool value)
{
    m_value = value;
    m_settings.setValue(QStringLiteral("general.launchAtLogin"), value);
}
