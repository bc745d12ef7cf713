#pragma once

#include <QString>
#include <functional>
#include <optional>

class Settings;

// The tour's "Launch Tarnwick at login" toggle, kept true to the autostart entry: showing the page
// reads the entry and only a change by the user writes or removes it. Both the toggle and
// "general.launchAtLogin" end at the entry's real state, also when the change is refused.
class LaunchAtLoginChoice {
public:
    struct Backend {
        std::function<bool()> isEnabled;                  // the entry exists
        std::function<std::optional<QString>(bool)> set;  // a message when the change failed
        static Backend loginItem();
    };

    LaunchAtLoginChoice(Settings& settings, Backend backend);

    // The page appeared: the real state, stored under the key; the entry is left alone.
    bool appear();
    // The user turned the toggle to `wanted`: the state it ends at.
    bool change(bool wanted);
    bool value() const { return m_value; }

private:
    void store(bool value);

    Settings& m_settings;
    Backend m_backend;
    bool m_value = false;
};
