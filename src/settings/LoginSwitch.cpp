#include "settings/LoginSwitch.h"

#include "platform/LoginItem.h"
#include "platform/Settings.h"

namespace {
const QString kKey = QStringLiteral("general.launchAtLogin");
}

LoginSwitch::System LoginSwitch::System::real()
{
    return {&LoginItem::set, &LoginItem::isEnabled};
}

LoginSwitch::LoginSwitch(Settings& settings, System system) : m_settings(settings), m_system(std::move(system)) {}

bool LoginSwitch::isOn() const
{
    return m_settings.boolIfStored(kKey).value_or(false);
}

void LoginSwitch::follow(bool on)
{
    if (m_settings.boolIfStored(kKey) != std::optional<bool>(on) && (on || m_settings.contains(kKey)))
        m_settings.setValue(kKey, on);
}

void LoginSwitch::sync()
{
    follow(m_system.isEnabled());
}

void LoginSwitch::userToggled(bool on)
{
    m_settings.setValue(kKey, on);
    m_error = m_system.set(on);
    if (m_error) follow(m_system.isEnabled());
}
