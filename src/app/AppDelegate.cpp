#include "app/AppDelegate.h"

#include <QApplication>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QStandardPaths>
#include <cmath>

#include "app/CaptureActions.h"
#include "app/PermissionPanel.h"
#include "app/ReminderScheduler.h"
#include "app/TarnwickApp.h"
#include "design/SharePrivacy.h"
#include "model/Note.h"
#include "model/NoteNotifications.h"
#include "onboarding/OnboardingController.h"
#include "onboarding/OnboardingWindow.h"
#include "platform/Clock.h"
#include "platform/EwmhWindowState.h"
#include "platform/Log.h"
#include "platform/ModelContext.h"
#include "platform/OwnWindows.h"
#include "platform/OwnedSelections.h"
#include "platform/Settings.h"
#include "platform/StartupActivation.h"
#include "platform/WindowStates.h"
#include "platform/X11Desktop.h"
#include "privacy/UnlockSession.h"
#include "settings/PermissionAudit.h"
#include "store/NoteStore.h"

namespace {
QPointer<AppDelegate> g_sharedInstance;

// The object of a note notification: a note's UUID, or nothing for anything else.
std::optional<QUuid> noteIDFrom(const Notification& notification)
{
    const QUuid id = QUuid::fromString(notification.object);
    if (id.isNull() || notification.object.size() != 36) return std::nullopt;
    return id;
}
}  // namespace

AppDelegate::AppDelegate(Parts parts, QObject* parent)
    : QObject(parent), m_parts(std::move(parts)), m_shelf(m_parts.shelf), m_windows(m_parts.windows)
{
}

AppDelegate::~AppDelegate() = default;

AppDelegate* AppDelegate::sharedInstance()
{
    return g_sharedInstance.data();
}

bool AppDelegate::applicationDidFinishLaunching()
{
    if (m_launched) return true;
    // Windows a user works in show in the taskbar only while "general.showDockIcon" is on.
    WindowStates::reapplyTaskbarPresence(m_parts.settings);
    SharePrivacy::applyToAllWindows(m_parts.settings);

    if (const std::optional<QString> failure = m_parts.storeFailure ? m_parts.storeFailure() : std::nullopt) {
        qCCritical(Log::store, "Running on a VOLATILE store this session; nothing written will survive quitting.");
        if (m_parts.warn(*failure) == StorageWarning::Choice::quit) return false;
    }

    // No chord is grabbed before this point: a key pressed during the warning reaches the application
    // it was meant for.
    if (m_parts.installHotkeys) m_parts.installHotkeys();

    connect(&m_parts.settings, &Settings::valueChanged, this, [this](const QString& key) {
        if (key == QLatin1String("general.showDockIcon")) WindowStates::reapplyTaskbarPresence(m_parts.settings);
    });
    addNoteObservers();
    g_sharedInstance = this;

    if (m_parts.bus) {
        m_parts.bus->setCaptureHandler(m_parts.serviceCapture);
        connect(m_parts.bus, &SingleInstance::activationRequested, this, &AppDelegate::reopen);
    }
    if (m_parts.tray) {
        connect(m_parts.tray, &TarnwickApp::statusItemClicked, this, &AppDelegate::statusItemClicked);
        connect(m_parts.tray, &TarnwickApp::openShelfRequested, this, &AppDelegate::openShelf);
        connect(m_parts.tray, &TarnwickApp::openSettingsRequested, this, &AppDelegate::openSettings);
        connect(m_parts.tray, &TarnwickApp::quitRequested, this, [this] { quit(m_parts.tray->menuOpenedFrom()); });
    }
    if (qGuiApp) {
        connect(qGuiApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
            if (state != Qt::ApplicationActive) applicationDeactivated();
        });
        connect(qGuiApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow* window) {
            if (window) m_lastActive = window;
        });
        // Each selection this process owns is traced to the note it came from, so a lock takes it back.
        OwnedSelections::track();
        // Whatever ends the run (the menu, a signal, the session), no private note stays in the clear, and
        // a lock still waiting for the keyring is kept for the next launch to seal.
        connect(qGuiApp, &QCoreApplication::aboutToQuit, this, [this] {
            m_parts.unlockSession.settleWaitingLocks();
            m_parts.unlockSession.relockAll();
        });
    }

    m_observers.push_back(m_parts.center.observe(
        tarnwickToggleSearchPalette, [this](const Notification&) { toggleShelf(); }, QString(), this));
    // The first-run check: the tour until it has been finished once.
    if (!onboardingCompleted()) presentOnboarding();
    m_observers.push_back(m_parts.center.observe(
        tarnwickShowWelcome, [this](const Notification&) { presentOnboarding(); }, QString(), this));

    connect(&m_parts.reminders, &ReminderScheduler::openNoteRequested, this, &AppDelegate::openReminder);
    // After the popover that set the reminder has closed: the panel runs a modal loop of its own.
    connect(
        &m_parts.reminders, &ReminderScheduler::explanationNeeded, this,
        [this] {
            if (m_parts.explainNotifications) {
                m_parts.explainNotifications();
                return;
            }
            PermissionAudit::Probes probes;
            probes.platformName = [] { return QGuiApplication::platformName(); };
            probes.notificationService = [reminders = &m_parts.reminders] { return reminders->hasAuthorization(); };
            probes.findProgram = [](const QString& name) { return QStandardPaths::findExecutable(name); };
            probes.currentDesktop = [] { return qEnvironmentVariable("XDG_CURRENT_DESKTOP"); };
            NotificationPermission::explainAndOpenSettings(probes);
        },
        Qt::QueuedConnection);
    MainQueue::nextTurn(&m_parts.reminders, [reminders = &m_parts.reminders] { reminders->rescheduleAll(); });

    if (m_parts.startLocalEndpoint) m_parts.startLocalEndpoint();
    m_launched = true;
    // With no tray to click, the shelf opens once so the user sees the application is there (the
    // tour, when it shows, does that already).
    if (m_parts.tray && m_parts.tray->trayMissingAtLaunch() && onboardingCompleted()) openShelf();
    return true;
}

void AppDelegate::observe(const QString& name, std::function<void(const QUuid&, const Notification&)> handler)
{
    m_observers.push_back(m_parts.center.observe(
        name,
        [handler = std::move(handler)](const Notification& notification) {
            if (const auto id = noteIDFrom(notification)) handler(*id, notification);
        },
        QString(), this));
}

void AppDelegate::addNoteObservers()
{
    observe(tarnwickDidCreateNote, [this](const QUuid& id, const Notification&) {
        if (m_windows.show) m_windows.show(id);
    });
    observe(tarnwickDidDeleteNote, [this](const QUuid& id, const Notification&) {
        if (m_windows.noteWasDeleted) m_windows.noteWasDeleted(id);
    });
    observe(tarnwickDismissNote, [this](const QUuid& id, const Notification&) {
        if (m_windows.closePanel) m_windows.closePanel(id);
    });
    observe(tarnwickOpacityChanged, [this](const QUuid& id, const Notification& notification) {
        const QVariant value = notification.userInfo.value(QStringLiteral("value"));
        bool isNumber = false;
        const double opacity = value.toDouble(&isNumber);
        const int type = value.typeId();
        const bool numeric = type == QMetaType::Double || type == QMetaType::Float || type == QMetaType::Int ||
                             type == QMetaType::LongLong || type == QMetaType::UInt || type == QMetaType::ULongLong;
        // A NaN would make the window invisible or opaque depending on who clamps it: not a value.
        if (!numeric || !isNumber || !std::isfinite(opacity)) return;
        if (m_windows.applyOpacity) m_windows.applyOpacity(id, opacity);
    });
}

bool AppDelegate::onboardingCompleted() const
{
    // Read leniently, as user defaults read a Boolean: "1", "true" or a non-zero number count.
    return m_parts.settings.boolValue(QStringLiteral("onboarding.completed"));
}

bool AppDelegate::quit(const FocusReturn& giveBackTo)
{
    NoteStore& store = m_parts.store;
    store.saveNow();
    // Taken before the question takes the keyboard (and the shelf, losing it, closes).
    FocusReturn giveBack = giveBackTo;
    if (!giveBack.window()) giveBack.capture(QApplication::activeWindow());
    // A notes file that could not be written back is lost with every note, changed or not.
    while (store.saveFailure() && (store.context().hasChanges() || store.notesFileLost())) {
        const QString failure = *store.saveFailure();
        const UnsavedQuit::Loss loss =
            store.notesFileLost() ? UnsavedQuit::Loss::everyNote : UnsavedQuit::Loss::latestChanges;
        const UnsavedQuit::Choice choice = m_parts.askUnsavedQuit(failure, loss, giveBack);
        if (choice == UnsavedQuit::Choice::keepRunning) return false;
        if (choice == UnsavedQuit::Choice::quitAnyway) {
            qCWarning(Log::store, "Quit without saving the latest changes, as the user chose: %s",
                      qUtf8Printable(failure));
            break;
        }
        store.saveNow();
    }
    if (m_parts.endRun)
        m_parts.endRun();
    else
        // exit() rather than quit(): quit() first asks every window to close and gives up when one
        // refuses, and ours refuse (a close only hides them), so Quit with the settings open could leave
        // the application running, depending on which window was asked first.
        QCoreApplication::exit(0);
    return true;
}

OnboardingController& AppDelegate::onboarding()
{
    if (!m_onboarding) {
        OnboardingController::Hooks hooks;
        hooks.shelfIsOpen = [this] { return m_shelf.isOpen && m_shelf.isOpen(); };
        hooks.presentShelf = [this] {
            if (m_shelf.present) m_shelf.present();
        };
        hooks.quit = m_parts.quit ? m_parts.quit : [this] { quit(); };
        m_onboarding = std::make_unique<OnboardingController>(
            m_parts.settings, m_parts.clock,
            [this](OnboardingController& controller) {
                return m_parts.onboardingPanel ? m_parts.onboardingPanel(controller) : makeOnboardingPanel(controller);
            },
            std::move(hooks));
        if (m_parts.captureActions) {
            m_parts.captureActions->hooks().practiceSelection = [tour = QPointer(m_onboarding.get())] {
                return tour ? tour->practiceSelection().value_or(QString()) : QString();
            };
        }
    }
    return *m_onboarding;
}

OnboardingPanel* AppDelegate::makeOnboardingPanel(OnboardingController& controller)
{
    OnboardingServices services;
    services.settings = &m_parts.settings;
    services.mcp = m_parts.mcp;
    services.unlockSession = &m_parts.unlockSession;
    services.explainCapture = [settings = &m_parts.settings] {
        PermissionAudit::Probes probes;
        probes.platformName = [] { return QGuiApplication::platformName(); };
        probes.captureBinding = [settings] {
            return HotkeyManager::storedBinding(HotkeyManager::Action::capture, *settings);
        };
        AccessibilityPermission::explainAndOpenSettings(probes);
    };
    services.openURL = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    services.keepClear = m_parts.tourKeepClear;
    OnboardingWindow::Options options;
    options.captureAvailable = m_parts.captureAvailable && m_parts.captureAvailable();
    // The desktop is asked only on X11: elsewhere (the launch tests run offscreen) there is nothing to ask.
    const bool x11 = QGuiApplication::platformName() == QLatin1String("xcb");
    options.reduceMotion = x11 && X11Desktop::reduceMotion();
    options.composited = x11 && EwmhWindowState::compositingManagerRunning();
    return new OnboardingWindow(controller, m_parts.center, m_parts.clock, std::move(services), options);
}

bool AppDelegate::presentOnboarding()
{
    return onboarding().present(OnboardingMode::firstRun);
}

void AppDelegate::applicationDeactivated()
{
    m_deactivatedAtMs = m_parts.clock.elapsedMs();
    m_shelfOpenWhenDeactivated = m_shelf.isOpen && m_shelf.isOpen();
}

void AppDelegate::statusItemClicked()
{
    if (!m_launched) return;
    if (!onboardingCompleted() && presentOnboarding()) return;
    // Clicking the tray can take the focus from the open shelf, which then closes itself just before
    // the click arrives: that click meant "close", so it must not open the shelf again.
    const bool closedByThisClick = m_shelfOpenWhenDeactivated && m_deactivatedAtMs &&
                                   m_parts.clock.elapsedMs() - *m_deactivatedAtMs < kClickFocusLossMs;
    m_shelfOpenWhenDeactivated = false;
    if (closedByThisClick && m_shelf.isOpen && !m_shelf.isOpen()) return;
    toggleShelf();
}

void AppDelegate::openShelf()
{
    if (!m_launched) return;
    // Until the tour has been finished, the tray menu's "Open Shelf" brings the tour back instead.
    if (!onboardingCompleted() && presentOnboarding()) return;
    if (m_shelf.present) m_shelf.present();
}

void AppDelegate::openSettings()
{
    if (m_launched && m_parts.showSettings) m_parts.showSettings();
}

void AppDelegate::toggleShelf()
{
    if (!m_launched || !m_shelf.isOpen) return;
    if (m_shelf.isOpen()) {
        if (m_shelf.dismiss) m_shelf.dismiss();
    } else if (m_shelf.present) {
        m_shelf.present();
    }
}

QWindow* AppDelegate::lastActiveVisibleWindow() const
{
    auto usable = [](QWindow* window) {
        return window && window->isVisible() && !SharePrivacy::isTrayIconWindow(window) &&
               window->type() != Qt::ToolTip && window->type() != Qt::Popup;
    };
    if (usable(m_lastActive)) return m_lastActive;
    if (!qGuiApp) return nullptr;
    for (QWindow* window : QGuiApplication::topLevelWindows())
        if (usable(window)) return window;
    return nullptr;
}

void AppDelegate::reopen(const QString& startupId)
{
    if (!m_launched) return;
    // A question that waits is what the user comes back to, as from the tray icon or a hot key: a
    // window shown behind it would take no keys.
    if (OwnWindows::bringQuestionForward()) return;
    if (QWindow* window = lastActiveVisibleWindow()) {
        StartupActivation::activate(window, startupId);
        return;
    }
    if (!m_shelf.present) return;
    m_shelf.present();
    if (m_shelf.window) StartupActivation::activate(m_shelf.window(), startupId);
}

void AppDelegate::openReminder(const QUuid& noteID)
{
    if (!m_launched) return;
    // A note binned or purged since the reminder was shown opens nothing.
    const Note* note = m_parts.store.note(noteID);
    if (!note || note->isTrashed()) return;
    if (OwnWindows::bringQuestionForward()) return;
    if (m_windows.show) m_windows.show(noteID);
}
