#pragma once

#include <QString>
#include <optional>

// Launch at login, as an XDG autostart entry: $XDG_CONFIG_HOME/autostart/com.fennmoor.Tarnwick.desktop.
// From an installed tree it starts what the installed menu entry starts (its Exec line).
struct LoginItem {
    // Writes the entry when `enabled`, removes it otherwise. Returns nothing on success, else a message
    // for the user. Callers keep "general.launchAtLogin" themselves.
    static std::optional<QString> set(bool enabled);

    // True while the entry exists: what the session will start at the next login.
    static bool isEnabled();
    static QString entryPath();
    // The entry's text for the given executable.
    static QByteArray desktopEntry(const QString& executable);
};
