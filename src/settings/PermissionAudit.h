#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "capture/HotkeyManager.h"
#include "platform/Authenticator.h"

// What this desktop offers the application, for the Permissions tab: one row per thing Tarnwick
// depends on, its present state, what stops working without it, and the settings program that changes
// it where the desktop has one. On Linux nothing here is granted or refused by the user: each row
// reports whether the desktop has the thing. Rows are built afresh on every call.
class PermissionAudit {
public:
    PermissionAudit() = delete;

    struct State {
        enum Kind { unsupported, granted, denied, notDetermined };
        Kind kind = notDetermined;
        QString reason;  // for unsupported: why
        bool operator==(const State&) const = default;
        static State grantedState() { return {granted, {}}; }
        static State unsupportedBecause(const QString& why) { return {unsupported, why}; }
    };

    struct Item {
        QString id;
        QString title;
        QString consequence;
        State state;
        // A settings program and its arguments; empty when the desktop has none for this row.
        QStringList settingsCommand;
        bool canRequestInApp = false;
        bool isCapability = false;
    };

    // What the rows are built from. Injected so the rows can be checked without the desktop.
    struct Probes {
        std::function<QString()> platformName;      // the Qt platform plugin ("xcb", "wayland", ...)
        std::function<bool()> notificationService;  // a notification server answers on the bus
        std::function<bool()> secretService;        // a Secret Service answers on the bus
        std::function<Authenticator::Availability()> authentication;
        std::function<QString(const QString&)> findProgram;  // full path of a program on PATH, or empty
        std::function<QString()> currentDesktop;             // XDG_CURRENT_DESKTOP
        std::function<HotkeyManager::Shortcut()> captureBinding;

        // The running session's answers.
        static Probes system(Authenticator& authenticator, const Settings& settings);
    };

    static Item accessibility(const Probes& probes);
    static Item notifications(const Probes& probes);
    static Item keyring(const Probes& probes);
    static Item biometrics(const Probes& probes);
    // The four rows in display order.
    static QList<Item> all(const Probes& probes);

    // The desktop's notification settings: a program found on PATH, none elsewhere.
    static QStringList notificationSettingsCommand(const Probes& probes);
    // A chord as the desktop writes it: "Alt+Shift+Space".
    static QString chordText(HotkeyManager::Shortcut shortcut);
    // Starts the row's settings program on its own (no shell). False when there is none or it did not
    // start.
    static bool open(const Item& item);
};
