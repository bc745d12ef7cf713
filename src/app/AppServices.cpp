#include "app/AppServices.h"

#include "app/AppDelegate.h"

#include <QGuiApplication>
#include <QNetworkAccessManager>
#include <algorithm>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "app/CaptureActions.h"
#include "app/PermissionPanel.h"
#include "app/ReminderScheduler.h"
#include "app/TarnwickApp.h"
#include "capture/CaptureCapsuleController.h"
#include "capture/CaptureCapsuleView.h"
#include "capture/CapturePeekController.h"
#include "capture/CaptureService.h"
#include "editor/blocks/PreviewFiles.h"
#include "keys/CryptoBox.h"
#include "mcp/MCPApprovalCardPresenter.h"
#include "mcp/MCPApprovalController.h"
#include "mcp/MCPKeychainTokenStore.h"
#include "mcp/MCPNoteToolHost.h"
#include "mcp/MCPService.h"
#include "model/Note.h"
#include "model/NoteNotifications.h"
#include "note/BlockNoteBody.h"
#include "note/NoteView.h"
#include "platform/Clock.h"
#include "platform/DBusDesktopNotifications.h"
#include "platform/EwmhWindowState.h"
#include "platform/GlobalHotkeys.h"
#include "platform/LaunchHeapGrowth.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/OwnWindows.h"
#include "platform/PamAuthenticator.h"
#include "platform/PasswordDialog.h"
#include "platform/SelectionReader.h"
#include "platform/Settings.h"
#include "platform/SpellChecker.h"
#include "platform/X11Desktop.h"
#include "privacy/UnlockSession.h"
#include "settings/PermissionAudit.h"
#include "settings/SettingsWindowController.h"
#include "settings/UpdateChecker.h"
#include "shelf/AppIconCache.h"
#include "shelf/SearchEngine.h"
#include "shelf/ShelfController.h"
#include "shelf/ShelfWindowHost.h"
#include "store/NoteStore.h"
#include "store/PersistenceController.h"
#include "themes/NotePalettePopover.h"
#include "themes/ThemeWindowController.h"
#include "windows/FloatingNoteWindowController.h"

AppServices::AppServices() : AppServices(PersistenceController::shared(Clock::system())) {}

AppServices::AppServices(ModelContainer& container)
    : m_settings(Settings::shared()),
      m_clock(Clock::system()),
      m_center(NotificationCenter::shared()),
      m_spelling(SpellChecker::desktop())
{
    m_noteStore = std::make_unique<NoteStore>(container.mainContext(), m_clock, m_settings, m_center);
    NoteStore& store = *m_noteStore;
    // Until the housekeeping below has loaded the rest.
    std::optional<LaunchHeapGrowth> heapGrowth(std::in_place);
    // Looks through the stored bodies while the notes load below; the housekeeping waits for it.
    store.startBodyCheck();
    m_search = std::make_unique<SearchEngine>(SearchEngine::Source{
        [&store] { return store.allActive(); }, [&store] { return store.captures(); },
        [&store] { return store.context().storePath(); }, [&store] { return store.context().changeCount(); }});
    // The first search is as quick as the next: the stored texts are lowered on a worker while the
    // launch goes on (a store in memory lowers its objects once the launch is done).
    if (!store.context().storePath().isEmpty()) m_search->prewarm();
    m_previews = std::make_unique<PreviewFiles>();
    m_previews->sweepLeftovers();
    // Each window's cards are note views over the services made below; a card is made only once a
    // window opens, after all of them exist.
    m_floating = std::make_unique<FloatingNotesManager>(store, m_settings, [this, &store](Note& note) {
        return std::unique_ptr<NoteWindow>(
            std::make_unique<FloatingNoteWindowController>(note, store, m_settings, m_clock, noteCardFactory()));
    });
    // The one reader of the desktop's selection: the capture reads through it and the shelf asks it
    // whether capture can work in this session.
    m_selectionReader = SelectionReader::createDefault();
    m_capture = std::make_unique<CaptureService>(store, isNoteOpenAnswer(m_floating.get()), m_settings, m_clock,
                                                 *m_selectionReader);
    m_capsule = std::make_unique<CaptureCapsuleController>(
        m_clock, [](CaptureCapsuleController& c) { return std::make_unique<CaptureCapsuleView>(c); },
        [] { return X11Desktop::reduceMotion(); });
    m_peek = std::make_unique<CapturePeekController>(store, m_clock);
    // The peek's source chip shows the same application icons as the shelf's rows.
    m_peek->setIconProvider([](const QString& desktopID) {
        const QImage icon = AppIconCache::shared().icon(desktopID);
        return icon.isNull() ? QIcon() : QIcon(QPixmap::fromImage(icon));
    });
    {
        // The shelf: its lists, keys and row commands; its panel is built at each showing.
        QPointer<FloatingNotesManager> floating = m_floating.get();
        ShelfController::Hooks hooks;
        hooks.openNote = [floating](const QUuid& id) {
            if (floating) floating->show(id);
        };
        // The shelf hides as the card takes the keyboard: the card gives it back where the shelf took it.
        hooks.peekCapture = [this, peek = QPointer<CapturePeekController>(m_peek.get())](const QUuid& id) {
            if (!peek) return;
            if (m_shelfWindows && m_shelfWindows->panel())
                peek->present(id, m_shelfWindows->openedFrom());
            else
                peek->present(id);
        };
        // Read when a row is drawn, by then the unlock session exists.
        hooks.isRedacted = [this](const Note& note) { return !m_unlockSession || m_unlockSession->isRedacted(note); };
        m_shelf = std::make_unique<ShelfController>(store, *m_search, m_settings, m_clock, hooks);
        ShelfPanel::Options options;
        options.storeFailed = PersistenceController::storeFailure().has_value();
        // The shelf's power button quits as the tray menu does: through the shell's last save. The
        // shelf closes as the question takes the keyboard: a Cancel gives it where the shelf took it.
        options.quit = [this] {
            if (AppDelegate* shell = AppDelegate::sharedInstance())
                shell->quit(m_shelfWindows ? m_shelfWindows->openedFrom() : FocusReturn());
            else
                QCoreApplication::exit(0);
        };
        options.captureBroken = [probe = m_selectionReader.get()] { return !probe->isAvailable(); };
        // The gear and the capture banner; the window exists by the time the shelf is shown. The shelf
        // closes as the settings take the keyboard: closed, they give it where the shelf took it.
        options.showSettings = [this] {
            if (m_settingsWindow)
                m_settingsWindow->show(m_shelfWindows ? m_shelfWindows->keyboardReturn() : FocusReturn());
        };
        m_shelfWindows = std::make_unique<ShelfWindowHost>(*m_shelf, m_clock, m_settings, options);
    }
    m_authenticator = std::make_unique<PamAuthenticator>([] { return std::make_unique<PasswordDialog>(); });
    m_unlockSession = std::make_unique<UnlockSession>(store, *m_authenticator, m_clock, m_settings);
    QObject::connect(m_unlockSession.get(), &UnlockSession::unlockedNoteIDsChanged, m_shelf.get(),
                     &ShelfController::invalidateRowTexts);
    m_captureActions = std::make_unique<CaptureActions>(
        store, *m_capture, *m_capsule, m_settings,
        captureHooks(m_floating.get(), m_peek.get(), m_shelf.get(), *m_unlockSession, m_settings));
    // The one-note-at-a-time deck confirms an empty note it removed with the same capsule.
    m_floating->setEmptyNoteToast([capsule = m_capsule.get()](const QString& name, std::function<void()> undo) {
        capsule->show(CaptureCapsuleController::Kind::deletedItem(name), std::move(undo));
    });
    // The settings window first; its pages are built at the first show(), when every service exists.
    m_settingsWindow = std::make_unique<SettingsWindowController>([this] {
        return SettingsServices{m_settings,
                                *m_noteStore,
                                *m_mcp,
                                *m_unlockSession,
                                *m_authenticator,
                                m_center,
                                m_clock,
                                [this] { return m_hotkeys.get(); },
                                UpdateChecker::builtWithUpdateCheck() ? m_updateChecker.get() : nullptr};
    });
    // Then the theme window, made on its first request; the Note settings tab opens it for a theme or a
    // new one, with no note to apply it to.
    m_themeWindow = std::make_unique<ThemeWindowController>(store, m_settings);
    m_settingsWindow->setThemeActions(
        {[themes = m_themeWindow.get()](const QString& id) { themes->show(id, nullptr); },
         [themes = m_themeWindow.get()](const ResolvedNoteTheme& base) { themes->showNew(base, nullptr); }});
    m_mcpApproval = std::make_unique<MCPApprovalController>(m_clock);
    m_mcpTokens = std::make_unique<MCPKeychainTokenStore>();
    m_mcpTools = std::make_unique<MCPNoteToolHost>(store, *m_search);
    if (PersistenceController::storeFailure())
        m_mcpTools->setVolatile(
            QStringLiteral("notes are kept in memory only until Tarnwick quits (the store "
                           "could not be opened)"));
    // Making the service starts nothing: the launch starts it when "mcp.enabled" is on.
    m_mcp = std::make_unique<MCPService>(*m_mcpTools, *m_mcpApproval, *m_mcpTokens, m_settings);
    m_notifications = std::make_unique<DBusDesktopNotifications>();
    m_reminders = std::make_unique<ReminderScheduler>(store, *m_notifications, m_clock, m_settings);
    m_network = std::make_unique<QNetworkAccessManager>();
    m_updateChecker = std::make_unique<UpdateChecker>(*m_network, m_settings, m_clock);

    // With private notes in the store, their keys are read off the main thread, so a keyring that is
    // locked asks to be unlocked before the first seal or reveal and launch does not wait for it. Sealing
    // what a crash left in the clear needs those keys: that one step of the upkeep waits for them.
    const bool anyLocked = !store.lockedNotes().isEmpty();
    const bool sealLater = anyLocked && store.lockedPlaintextLeft();
    runStartupHousekeeping(store, m_clock, !sealLater);
    heapGrowth.reset();
    if (anyLocked)
        CryptoBox::readRingLater(
            m_noteStore.get(),
            [this, sealLater](const QString& problem) {
                if (!problem.isEmpty()) {
                    qCInfo(Log::privacy, "Lock keys not read yet: %s", qUtf8Printable(problem));
                    // What a crash left in the clear says so, and is sealed at the next relock.
                    if (sealLater) m_unlockSession->sealAtNextRelock();
                    return;
                }
                if (sealLater) m_noteStore->sweepLockedPlaintext();
            },
            sealLater);

    // Once the application is up, after the housekeeping above; launch does not wait.
    MainQueue::nextTurn(m_updateChecker.get(), [this] { m_updateChecker->checkIfDue(); });
    if (store.context().storePath().isEmpty()) MainQueue::nextTurn(m_search.get(), [this] { m_search->prewarm(); });
}

AppServices::~AppServices() = default;

DeckRootView::CardFactory AppServices::noteCardFactory()
{
    return [this](QWidget* parent) -> DeckCard* {
        ReminderScheduler& scheduler = reminders();
        NoteViewModel::Reminders noteReminders{[&scheduler] { return scheduler.requestAuthorizationIfNeeded(); },
                                               [&scheduler](const Note& note) { scheduler.performSchedule(note); },
                                               [&scheduler](const Note& note) { scheduler.cancel(note); },
                                               [&scheduler] { scheduler.explainUnavailable(); }};
        UnlockSession& unlock = unlockSession();
        auto* view = new NoteView(
            noteStore(), unlock, std::move(noteReminders), [&unlock] { return unlock.canAuthenticate(); }, m_clock,
            [this](QWidget* p) -> NoteBody* {
                return new BlockNoteBody({noteStore(), previewFiles(), m_clock, m_center, m_spelling}, NoteView::gutter,
                                         p);
            },
            EwmhWindowState::compositingManagerRunning(), parent);
        view->setPaletteFactory([this](Note& note, QWidget* anchor) -> NotePopover* {
            return new NotePalettePopover(noteStore(), note, &themeWindow(), anchor);
        });
        return view;
    };
}

std::function<bool(const QUuid&)> AppServices::isNoteOpenAnswer(QPointer<FloatingNotesManager> floating)
{
    return [floating](const QUuid& noteID) { return floating && floating->isNoteOpen(noteID); };
}

AppDelegate::NoteWindows AppServices::noteWindows(QPointer<FloatingNotesManager> floating)
{
    return {[floating](const QUuid& id) {
                if (floating) floating->show(id);
            },
            [floating](const QUuid& id) {
                if (floating) floating->noteWasDeleted(id);
            },
            [floating](const QUuid& id) {
                if (floating) floating->closePanel(id);
            },
            [floating](const QUuid& id, double value) {
                NoteWindow* window = floating ? floating->controller(id) : nullptr;
                if (window) window->applyOpacity(value);
                return window != nullptr;
            }};
}

HotkeyManager& AppServices::installHotkeys(const QList<HotkeyManager::Action>& actions,
                                           std::function<void(HotkeyManager::Action, quint32)> onAction)
{
    if (!m_hotkeys) {
        m_globalHotkeys = GlobalHotkeys::forCurrentPlatform();
        m_hotkeys = std::make_unique<HotkeyManager>(*m_globalHotkeys, m_settings, actions);
    }
    m_hotkeys->onAction = std::move(onAction);
    return *m_hotkeys;
}

CaptureActions::Hooks AppServices::captureHooks(QPointer<FloatingNotesManager> floating,
                                                QPointer<CapturePeekController> peek, QPointer<ShelfController> shelf,
                                                UnlockSession& unlockSession, const Settings& settings)
{
    CaptureActions::Hooks hooks;
    hooks.showNote = [floating](const QUuid& id) {
        if (floating) floating->show(id);
    };
    hooks.toggleHideAll = [floating, &unlockSession] {
        if (!floating) return;
        if (floating->isHidden())
            floating->restoreAll();
        else
            floating->hideAll();
        // Put away, private notes are sealed again; brought back, they stay as they were.
        if (floating->isHidden()) unlockSession.relockAll();
    };
    hooks.toggleShelf = [shelf] {
        if (shelf) shelf->toggle();
    };
    hooks.openPeek = [peek](const QUuid& id) {
        if (peek) peek->present(id);
    };
    hooks.bringQuestionForward = [] { return OwnWindows::bringQuestionForward(); };
    hooks.explainCapture = [&settings] {
        PermissionAudit::Probes probes;
        probes.platformName = [] { return QGuiApplication::platformName(); };
        probes.captureBinding = [&settings] {
            return HotkeyManager::storedBinding(HotkeyManager::Action::capture, settings);
        };
        AccessibilityPermission::explainAndOpenSettings(probes);
    };
    return hooks;
}

void AppServices::installActionHotkeys()
{
    const QSet<HotkeyManager::Action> working = m_captureActions->workingActions();
    QList<HotkeyManager::Action> actions;
    for (HotkeyManager::Action a : HotkeyManager::allCases())
        if (working.contains(a)) actions << a;
    QPointer<CaptureActions> dispatcher(m_captureActions.get());
    installHotkeys(actions, [dispatcher](HotkeyManager::Action action, quint32 modifiers) {
        if (dispatcher) dispatcher->dispatch(action, modifiers);
    });
}

SingleInstance::CaptureReply AppServices::serviceCaptureReply(const std::optional<CaptureService::Result>& result)
{
    using Reply = SingleInstance::CaptureReply;
    if (!result || std::holds_alternative<CaptureService::EmptySelection>(*result)) return Reply::empty;
    if (const auto* captured = std::get_if<CaptureService::Captured>(&*result))
        return captured->saved ? Reply::captured : Reply::notSaved;
    if (const auto* appended = std::get_if<CaptureService::Appended>(&*result))
        return appended->saved ? Reply::appended : Reply::notSaved;
    if (const auto* created = std::get_if<CaptureService::Created>(&*result))
        return created->saved ? Reply::appended : Reply::notSaved;
    return Reply::empty;
}

AppDelegate::Parts AppServices::delegateParts(SingleInstance& bus, TarnwickApp& tray)
{
    AppDelegate::Parts parts{*m_noteStore, *m_reminders, *m_unlockSession, m_settings, m_clock, m_center};
    parts.windows = noteWindows(m_floating.get());
    parts.installHotkeys = [this] { installActionHotkeys(); };
    QPointer<CaptureActions> actions(m_captureActions.get());
    parts.serviceCapture = [actions](const QString& text, std::function<void(SingleInstance::CaptureReply)> done) {
        if (!actions) return done(serviceCaptureReply(std::nullopt));
        actions->handleServiceCapture(text,
                                      [done = std::move(done)](const std::optional<CaptureService::Result>& result) {
                                          done(serviceCaptureReply(result));
                                      });
    };
    QPointer<ShelfController> shelf = m_shelf.get();
    parts.shelf.isOpen = [shelf] { return shelf && shelf->isOpen(); };
    parts.shelf.present = [shelf] {
        if (shelf) shelf->present();
    };
    parts.shelf.dismiss = [shelf] {
        if (shelf) shelf->dismiss();
    };
    parts.shelf.window = [windows = m_shelfWindows.get()]() -> QWindow* {
        return windows->panel() ? windows->panel()->windowHandle() : nullptr;
    };
    m_shelfWindows->setTray(tray.trayIcon());
    tray.setKeyboardReturn([windows = m_shelfWindows.get()] { return windows->keyboardReturn(); });
    QObject::connect(m_shelf.get(), &ShelfController::statusItemLitChanged, &tray, &TarnwickApp::setStatusItemLit);
    QObject::connect(&tray, &TarnwickApp::statusItemClicked, m_shelf.get(),
                     [windows = m_shelfWindows.get()] { windows->noteTrayClick(); });
    parts.tourKeepClear = [this, windows = m_shelfWindows.get()] {
        QList<QRect> frames{FloatingNoteWindowController::newNoteFrame(m_settings).toAlignedRect()};
        if (const std::optional<QRect> shelfFrame = windows->placement(false)) frames << *shelfFrame;
        return frames;
    };
    parts.bus = &bus;
    parts.tray = &tray;
    parts.showSettings = [this, windows = m_shelfWindows.get()] { m_settingsWindow->show(windows->keyboardReturn()); };
    parts.mcp = m_mcp.get();
    parts.captureActions = m_captureActions.get();
    // Asked once: whether this session lets capture read other applications' selections. Only an X11
    // display does; the launch tests run offscreen and must not reach for one.
    parts.captureAvailable = [probe = m_selectionReader.get()] {
        static const bool available =
            QGuiApplication::platformName() == QLatin1String("xcb") && probe && probe->isAvailable();
        return available;
    };
    parts.storeFailure = [] { return PersistenceController::storeFailureMessage(); };
    // The endpoint's approval card is a window, so the shell gives it to the controller; the listener
    // then starts when the user has switched the endpoint on.
    parts.startLocalEndpoint = [this] {
        m_mcpApproval->setPresenter(std::make_unique<MCPApprovalCardPresenter>(m_settings));
        if (m_mcp->enabled()) m_mcp->start();
    };
    return parts;
}

void AppServices::runStartupHousekeeping(NoteStore& store, const Clock& clock, bool sealLockedPlaintext)
{
    store.purgeExpired(clock.now());
    if (sealLockedPlaintext) store.sweepLockedPlaintext();
    store.migrateLegacyBodies();
    store.reconcileForSync();
    // Read again: the steps before may have taken a while on a large store.
    store.sweepOrphanImages(clock.now());
    // The upkeep read some bodies and pictures; they are read again when a view asks.
    store.context().releaseLargeValues();
#ifdef __GLIBC__
    // The upkeep's temporary values were spread over the heap; give the freed pages back.
    malloc_trim(0);
#endif
}
