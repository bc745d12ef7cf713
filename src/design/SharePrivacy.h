#pragma once

#include <QList>
#include <QObject>
#include <optional>

class QWindow;
class Settings;

// Keeping the application's windows out of screen sharing, screenshots and recordings.
//
// Neither X11 nor Wayland lets a client keep a window out of capture: any client (or the compositor's
// screencast portal) can read every window. So the setting is kept and each window records the state
// it should have, but the layer reports that it cannot give the protection, and nothing claims it.
struct SharePrivacy {
    // The dynamic property holding a window's wished state (bool).
    static constexpr const char* kWishedHiddenProperty = "tarnwickHideFromScreenShare";

    // "privacy.hideFromScreenShare", read afresh: the stored Boolean, else true (also when something
    // other than a Boolean is stored there).
    static bool hideFromScreenShare(const Settings& settings);

    // False on this platform: no window is actually kept out of capture.
    static bool isSupported();

    // Records the setting on each window (QWindow or QWidget), leaving the tray icon's own window alone.
    static void apply(const QList<QObject*>& windows, const Settings& settings);
    static void apply(const QList<QWindow*>& windows, const Settings& settings);
    template <typename W>
    static void apply(const QList<W*>& windows, const Settings& settings)
    {
        QList<QObject*> objects;
        objects.reserve(windows.size());
        for (W* w : windows) objects << w;
        apply(objects, settings);
    }
    // Every window the application has at this moment.
    static void applyToAllWindows(const Settings& settings);

    // The state recorded on a window by apply(), if any.
    static std::optional<bool> wishedHidden(const QObject* window);

    // True for the window that shows the tray icon (left alone, as the status item is).
    static bool isTrayIconWindow(const QObject* window);
};
