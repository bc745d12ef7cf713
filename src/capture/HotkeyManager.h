#pragma once

#include <QHash>
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
//
// X grabs match the exact modifier set, so the capture chord is grabbed a second time with Super
// added: holding Super files the capture as a new note. Each action reports the modifiers its press
// was made with. A held chord acts once: the key's auto-repeat is not a new press. When the keyboard's
// layout or mapping changes, every chord is registered again by its key's name and its status renewed.
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
    static Shortcut storedBinding(Action action, const Settings& settings);

    // Connects to the grabber, moves users off the old capture default once, and registers the given
    // actions: a chord is only taken from other applications for an action that does something.
    HotkeyManager(GlobalHotkeys& hotkeys, Settings& settings, QObject* parent = nullptr);
    // Grabs only the given actions: a chord whose action has no handler yet would only be taken from
    // other applications. The others have no status.
    HotkeyManager(GlobalHotkeys& hotkeys, Settings& settings, const QList<Action>& handled, QObject* parent = nullptr);

    // Called for every recognised press with the Carbon mask of the modifiers held; installed by the
    // application shell.
    std::function<void(Action, quint32 modifiers)> onAction;
    QMap<Action, Status> statuses() const { return m_statuses; }
    // Registers an action whose handler arrived later.
    void enable(Action action);
    // The grab id of the capture chord with Super added.
    static constexpr int kCaptureWithCommandID = 4;

    void setBinding(Shortcut shortcut, Action action);
    void restoreDefaults();

Q_SIGNALS:
    void statusesChanged();

private:
    void installHandler();
    void migrateLegacyDefaults();
    void registerAction(Action action);
    void registerCommandVariant(Shortcut binding);
    void handlePress(int id, quint32 modifiers, quint32 timeMs);
    void handleRelease(int id, quint32 timeMs);

    struct KeyState {
        bool held = false;
        quint32 lastPress = 0;
        std::optional<quint32> lastRelease;
    };

    GlobalHotkeys& m_hotkeys;
    Settings& m_settings;
    QMap<Action, Status> m_statuses;
    QList<Action> m_handled;
    QMap<Action, Shortcut> m_registered;  // actions that hold their grab, with the chord grabbed
    bool m_commandVariantGrabbed = false;
    QHash<int, KeyState> m_keys;
};
