#include "design/SharePrivacy.h"

#include <QGuiApplication>
#include <QWindow>
#include <mutex>

#include "platform/Log.h"
#include "platform/Settings.h"

bool SharePrivacy::hideFromScreenShare(const Settings& settings)
{
    return settings.boolIfStored(QStringLiteral("privacy.hideFromScreenShare")).value_or(true);
}

bool SharePrivacy::isSupported()
{
    return false;
}

bool SharePrivacy::isTrayIconWindow(const QObject* window)
{
    if (!window) return false;
    // Qt's tray icon on X11 is a widget of this class; its native window carries the same name with
    // "Window" appended.
    const QLatin1String trayClass("QSystemTrayIconSys");
    return window->inherits("QSystemTrayIconSys") || window->objectName().startsWith(trayClass);
}

void SharePrivacy::apply(const QList<QObject*>& windows, const Settings& settings)
{
    const bool hide = hideFromScreenShare(settings);
    if (hide && !isSupported()) {
        static std::once_flag logged;
        std::call_once(logged, [] {
            qCInfo(Log::app,
                   "Hiding windows from screen sharing is not supported by this display system; the setting is "
                   "kept but windows stay capturable.");
        });
    }
    for (QObject* window : windows) {
        if (!window || isTrayIconWindow(window)) continue;
        window->setProperty(kWishedHiddenProperty, hide);
    }
}

void SharePrivacy::apply(const QList<QWindow*>& windows, const Settings& settings)
{
    QList<QObject*> objects;
    objects.reserve(windows.size());
    for (QWindow* w : windows) objects << w;
    apply(objects, settings);
}

void SharePrivacy::applyToAllWindows(const Settings& settings)
{
    apply(QGuiApplication::allWindows(), settings);
}

std::optional<bool> SharePrivacy::wishedHidden(const QObject* window)
{
    if (!window) return std::nullopt;
    const QVariant v = window->property(kWishedHiddenProperty);
    if (v.typeId() != QMetaType::Bool) return std::nullopt;
    return v.toBool();
}
