#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// Small questions to the X desktop that Qt does not answer. Each is false or none off X11.
namespace X11Desktop {
// A compositing manager runs (it owns _NET_WM_CM_S<screen>): translucent windows blend.
bool compositorActive();
// The integer XSETTINGS entry `name` of the settings manager ("Gtk/EnableAnimations"), when set.
std::optional<qint32> xsettingsInteger(const QString& name);
// Animations are off in the desktop's settings (Gtk/EnableAnimations = 0); read anew on each call.
bool reduceMotion();
// Parses an _XSETTINGS_SETTINGS property value; none for a malformed one or a missing entry.
std::optional<qint32> parseXSettingsInteger(const QByteArray& data, const QString& name);
// Asks the window manager to keep a mapped window on every workspace (_NET_WM_STATE_STICKY).
void setSticky(quint32 window);
}  // namespace X11Desktop
