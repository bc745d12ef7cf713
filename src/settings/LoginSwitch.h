#pragma once

#include <QString>
#include <functional>
#include <optional>

class Settings;

// The "launch at login" switch against the autostart entry. Only a user's toggle changes the entry;
// showing the page only reads it, so a failure is never repeated behind the user's back.
class LoginSwitch {
public:
    struct System {
        std::function<std::optional<QString>(bool)> set;  // LoginItem::set
        std::function<bool()> isEnabled;                  // LoginItem::isEnabled
        static System real();
    };

    LoginSwitch(Settings& settings, System system);

    // The page is shown: the key follows what the session will really start (written only when it
    // differs).
    void sync();
    // The user toggled the switch. On failure the message is kept and the key goes back to what the
    // system holds.
    void userToggled(bool on);

    bool isOn() const;
    const std::optional<QString>& error() const { return m_error; }

private:
    void follow(bool on);

    Settings& m_settings;
    System m_system;
    std::optional<QString> m_error;
};
