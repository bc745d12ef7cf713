#pragma once

#include <QList>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>
#include <functional>
#include <optional>

class GlobalHotkeys;
class Settings;

// The application's four system-wide hot keys. Bindings are stored per action as a macOS-style
// virtual key code and a Carbon modifier mask (command 0x100, shift 0x200, option 0x800, control
// 0x1000), the format settings files already hold. On Linux, option is Alt and command is Super.
class HotkeyManager : public QObject {
    Q_OBJECT
public:
    // The position in allCases() is the hot key's id.
    enum class Action { newNote, capture, hideAll, shelf };
    static QList<Action> allCases() { return {Action::newNote, Action::capture, Action::hideAll, Action::shelf}; }
    static QString rawValue(Action action);
    static std::optional<Action> actionFromRawValue(const QString& raw);

    struct Shortcut {
        quint32 keyCode = 0;
        quint32 modifiers = 0;
        bool operator==(const Shortcut&) const = default;
    };

    struct Status {
        // `unavailable`: the display offers no global grabs (Wayland without XWayland).
        enum Kind { failed, active, conflict, unavailable };
        Kind kind = failed;
        qint32 code = 0;  // for `failed`: the display server's error code
        bool operator==(const Status&) const = default;
        QString label() const;
    };

    static constexpr quint32 kCommand = 0x100, kShift = 0x200, kOption = 0x800, kControl = 0x1000;

    static QString keyCodeKey(Action action);
    static QString modifiersKey(Action action);
    static Shortcut defaultBinding(Action action);
    // The binding in force: the stored one when it is usable, else the default.
    static Shortcut storedBinding(Action action);
    static Shortcut storedBinding(Action action, const Settings& settings);

    // Connects to the grabber, moves users off the old capture default once, and registers all four.
    explicit HotkeyManager(GlobalHotkeys& hotkeys, QObject* parent = nullptr);
    HotkeyManager(GlobalHotkeys& hotkeys, Settings& settings, QObject* parent = nullptr);
    // Grabs only the given actions: a chord whose action has no handler yet would only be taken from
    // other applications. The others have no status.
    HotkeyManager(GlobalHotkeys& hotkeys, Settings& settings, const QList<Action>& handled, QObject* parent = nullptr);

    // Called for every recognised press; installed by the application shell.
    std::function<void(Action)> onAction;
    QMap<Action, Status> statuses() const { return m_statuses; }

    void setBinding(Shortcut shortcut, Action action);
    void restoreDefaults();

Q_SIGNALS:
    void statusesChanged();

private:
    void installHandler();
    void migrateLegacyDefaults();
    void registerAction(Action action);
    void handlePress(int id);

    GlobalHotkeys& m_hotkeys;
    Settings& m_settings;
    QMap<Action, Status> m_statuses;
    QList<Action> m_handled;
    QMap<Action, Shortcut> m_registered;  // actions that hold their grab, with the chord grabbed
};
