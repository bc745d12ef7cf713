#pragma once

#include <QByteArray>
#include <QString>

#include "platform/Result.h"

// Decides, before the application object exists, which display platform to start on: Qt aborts the
// process when its platform plugin cannot connect, so an unusable display is found here first and
// reported as a message instead.
struct DisplayProbe {
    // The Qt platform to force ("xcb", "wayland"), or empty to leave Qt's own choice (the user set a
    // platform Qt handles without a display, such as "offscreen"); or a message for the user.
    // X11 (XWayland included) is preferred: global hot keys and selection capture need it.
    static Result<QByteArray, QString> choosePlatform();
};
