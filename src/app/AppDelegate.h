#pragma once

#include <QObject>
#include <QPointer>
#include <QUuid>
#include <QWindow>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/SingleInstance.h"
#include "app/StorageWarning.h"
#include "app/UnsavedQuit.h"
#include "platform/NotificationCenter.h"

class CaptureActions;
class Clock;
class MCPService;
class NoteStore;
class OnboardingController;
class OnboardingPanel;
class ReminderScheduler;
class Settings;
class TarnwickApp;
class UnlockSession;

// Finishes what AppServices began, once, before the event loop runs: warns when the notes file could
// not be opened, connects what other parts of the application post (a note created, deleted,
// dismissed, its opacity changed; the shelf toggle), the tray, the D-Bus calls of other programs and
// the reminders' clicks, reschedules the reminders and starts the local MCP endpoint. It is the only
// observer of the application-wide note notifications. Until the launch has finished, nothing of this
// acts: a D-Bus capture is told NotReady, and a second launch or a tray click does nothing.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    // The shelf, as the shell drives it (filled in by the shelf's controller).
    struct Shelf {
        std::function<bool()> isOpen;
        std::function<void()> present;
        std::function<void()> dismiss;
        // The shelf's window while it is open, to hand a launch's focus to; may be left empty.
        std::function<QWindow*()> window;
    };

    // The note windows, as the shell drives them (filled in by the window manager).
    struct NoteWindows {
        std::function<void(const QUuid&)> show;
        std::function<void(const QUuid&)> noteWasDeleted;
        std::function<void(const QUuid&)> closePanel;
        // False when the note has no open window.
        std::function<bool(const QUuid&, double)> applyOpacity;
    };

    // What the launch works with. The references outlive the delegate.
    struct Parts {
        NoteStore& store;
        ReminderScheduler& reminders;
        UnlockSession& unlockSession;
        Settings& settings;
        Clock& clock;
        NotificationCenter& center;
        NoteWindows windows;
        // The shelf's controller fills these in; until then the tray and a second launch open nothing.
        Shelf shelf;
        // What other programs' text becomes (the capture service's Services-menu road); until it is
        // given, CaptureText answers NotReady.
        SingleInstance::CaptureHandler serviceCapture;
        SingleInstance* bus = nullptr;
        TarnwickApp* tray = nullptr;
        // Why the store runs in memory, if it does.
        std::function<std::optional<QString>()> storeFailure;
        // Shows the storage warning; the real one by default.
        std::function<StorageWarning::Choice(const QString&)> warn = StorageWarning::run;
        // Starts the local MCP endpoint when the user has switched it on.
        std::function<void()> startLocalEndpoint;
        // Grabs the global hot keys together with their actions.
        std::function<void()> installHotkeys;
        // Brings up the settings window (the tray menu's "Settings…"; offered before the tour is done).
        std::function<void()> showSettings;

        // What the first-run tour's pages use beyond the settings, the clock and the unlock session.
        // The local MCP endpoint the tour's switch turns on; without it the switch is off and disabled.
        MCPService* mcp = nullptr;
        // Whether capture can read other applications' selections in this session (asked once).
        std::function<bool()> captureAvailable;
        // Where the tour's practice words go to the capture hot key.
        CaptureActions* captureActions = nullptr;
        // Where a new note and the shelf open now, for the tour to stand clear of.
        std::function<QList<QRect>()> tourKeepClear;
        // Makes the tour's window; the real one when left empty.
        std::function<OnboardingPanel*(OnboardingController&)> onboardingPanel;
        // The application's normal quit (Ctrl+Q in the tour).
        std::function<void()> quit;
        // Asks whether to quit while the latest changes (or every note) could not be saved; the real
        // question by default. Cancelled, it gives the keyboard back to the window handed in.
        std::function<UnsavedQuit::Choice(const QString&, UnsavedQuit::Loss, FocusReturn)> askUnsavedQuit =
            UnsavedQuit::ask;
        // Ends the event loop once quitting is settled; QCoreApplication::exit when left empty.
        std::function<void()> endRun;
        // Explains why a reminder just set cannot appear (no notification service); the real panel when
        // left empty. Asked at most once per session, by the reminder scheduler.
        std::function<void()> explainNotifications;
    };

    // A focus loss this soon before a tray click is taken to be that click's.
    static constexpr qint64 kClickFocusLossMs = 500;

    explicit AppDelegate(Parts parts, QObject* parent = nullptr);
    ~AppDelegate() override;

    // The delegate while its launch has run; none before and after.
    static AppDelegate* sharedInstance();

    // The launch sequence. False when the user chose to quit at the storage warning: the caller then
    // leaves without running the event loop.
    bool applicationDidFinishLaunching();
    bool hasFinishedLaunching() const { return m_launched; }

    // The first-run tour: shown, or brought to the front with its progress kept. True when it is up.
    bool presentOnboarding();
    // The tour's controller, made on first need.
    OnboardingController& onboarding();

    // The tray icon was clicked (left button, or the host's activation).
    void statusItemClicked();
    // The tray menu's "Open Shelf".
    void openShelf();
    // The tray menu's "Settings…".
    void openSettings();
    void toggleShelf();
    // Another launch asked us to come forward: the window last in use when one is still shown, else
    // the shelf; with the launch's startup id so the window manager lets it take the focus.
    void reopen(const QString& startupId);
    // A reminder's notification was clicked.
    void openReminder(const QUuid& noteID);
    // The application lost the focus (kept apart so it can be played without a display).
    void applicationDeactivated();
    // The application's own ways out (the tray menu, the shelf, the tour) end here: a last save, and
    // when the disk refuses it the user decides (Save Again, Quit Anyway, or stay) rather than losing
    // the changes without a word. False when the application stays; the keyboard then goes back to
    // `giveBackTo` (the note under the shelf whose Quit was pressed), else to the window that had it.
    bool quit(const FocusReturn& giveBackTo = {});

private:
    void addNoteObservers();
    void observe(const QString& name, std::function<void(const QUuid&, const Notification&)> handler);
    QWindow* lastActiveVisibleWindow() const;
    bool onboardingCompleted() const;
    OnboardingPanel* makeOnboardingPanel(OnboardingController& controller);

    Parts m_parts;
    Shelf& m_shelf;
    NoteWindows& m_windows;
    std::vector<ObserverToken> m_observers;
    QPointer<QWindow> m_lastActive;
    bool m_launched = false;
    std::unique_ptr<OnboardingController> m_onboarding;
    // When the application last lost the focus, and whether the shelf was open then.
    std::optional<qint64> m_deactivatedAtMs;
    bool m_shelfOpenWhenDeactivated = false;
};
