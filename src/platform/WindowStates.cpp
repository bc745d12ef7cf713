#include "platform/WindowStates.h"

#include <QGuiApplication>
#include <QWindow>

#include "platform/EwmhWindowState.h"
#include "platform/Settings.h"

namespace {
constexpr const char* kTaskbarWindowProperty = "tarnwickTaskbarWindow";
}

void WindowStates::setSkipTaskbar(QWindow* window, bool skip)
{
    if (!window) return;
    // The other states the window carries are kept as they are.
    EwmhWindowState::States states = EwmhWindowState::read(window->winId());
    states.skipTaskbar = skip;
    states.skipPager = skip;
    EwmhWindowState::apply(window->winId(), states);
}

bool WindowStates::showsInTaskbar(const Settings& settings)
{
    return settings.boolValue(QStringLiteral("general.showDockIcon"));
}

void WindowStates::applyTaskbarPresence(QWindow* window, const Settings& settings)
{
    if (!window) return;
    window->setProperty(kTaskbarWindowProperty, true);
    setSkipTaskbar(window, !showsInTaskbar(settings));
}

void WindowStates::reapplyTaskbarPresence(const Settings& settings)
{
    if (!qGuiApp) return;
    for (QWindow* window : QGuiApplication::allWindows())
        if (window->property(kTaskbarWindowProperty).toBool()) setSkipTaskbar(window, !showsInTaskbar(settings));
}
