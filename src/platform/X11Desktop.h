#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The desktop's settings (XSETTINGS) that Qt does not read for us. Each is false or none off X11. Window
// states and the compositor are EwmhWindowState's.
namespace X11Desktop {
// The integer XSETTINGS entry `name` of the settings manager ("Gtk/EnableAnimations"), when set.
std::optional<qint32> xsettingsInteger(const QString& name);
// Animations are off in the desktop's settings (Gtk/EnableAnimations = 0); read anew on each call.
bool reduceMotion();
// Parses an _XSETTINGS_SETTINGS property value; none for a malformed one or a missing entry.
std::optional<qint32> parseXSettingsInteger(const QByteArray& data, const QString& name);
}  // namespace X11Desktop
