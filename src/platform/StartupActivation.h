#pragma once

#include <QString>

class QWindow;

// Brings a window forward on behalf of a launch the user just made. A second launch hands over its
// startup notification id (DESKTOP_STARTUP_ID); on X11 it carries the time of the user's action, which
// is what lets the window manager give the window the focus instead of only flagging it. The launch's
// busy feedback is ended as well. Elsewhere, or without an id, the window asks for the focus as usual.
namespace StartupActivation {
void activate(QWindow* window, const QString& startupId);
// The id as handed over, or empty when it is not one a launcher makes: longer than 1,024 bytes or
// holding control characters. Each 20 bytes of an id become an X message, so a huge id could flood
// the X connection until the server drops it.
QString acceptedId(const QString& startupId);
// The user time in a startup id ("..._TIME<n>"), 0 when it has none.
quint32 timestamp(const QString& startupId);
}  // namespace StartupActivation
