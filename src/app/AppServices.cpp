#include "app/AppServices.h"

#include <QNetworkAccessManager>
#include <algorithm>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "app/ReminderScheduler.h"
#include "app/UpdateChecker.h"
#include "capture/CaptureService.h"
#include "mcp/MCPApprovalCardPresenter.h"
#include "mcp/MCPApprovalController.h"
#include "mcp/MCPKeychainTokenStore.h"
#include "mcp/MCPNoteToolHost.h"
#include "mcp/MCPService.h"
#include "model/Note.h"
#include "note/NoteNotifications.h"
#include "platform/Clock.h"
#include "platform/DBusDesktopNotifications.h"
#include "platform/GlobalHotkeys.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/PamAuthenticator.h"
#include "platform/PasswordDialog.h"
#include "platform/Settings.h"
#include "privacy/CryptoBox.h"
#include "privacy/UnlockSession.h"
#include "shelf/SearchEngine.h"
#include "store/NoteStore.h"
#include "store/PersistenceController.h"
#include "windows/FloatingNoteWindowController.h"

AppServices::AppServices() : AppServices(PersistenceController::shared()) {}

AppServices::AppServices(ModelContainer& container)
{
    m_noteStore = std::make_unique<NoteStore>(container.mainContext());
    NoteStore& store = *m_noteStore;
    m_floating = std::make_unique<FloatingNotesManager>(store, Settings::shared(), [&store](Note& note) {
        return std::unique_ptr<NoteWindow>(
            std::make_unique<FloatingNoteWindowController>(note, store, Settings::shared(), Clock::system()));
    });
    m_capture = std::make_unique<CaptureService>(store, isNoteOpenAnswer(m_floating.get()));
    m_search = std::make_unique<SearchEngine>(
        SearchEngine::Source{[&store] { return store.allActive(); }, [&store] { return store.captures(); }});
    m_authenticator = std::make_unique<PamAuthenticator>([] { return std::make_unique<PasswordDialog>(); });
    m_unlockSession = std::make_unique<UnlockSession>(store, *m_authenticator);
    m_mcpApproval = std::make_unique<MCPApprovalController>();
    m_mcpTokens = std::make_unique<MCPKeychainTokenStore>();
    m_mcpTools = std::make_unique<MCPNoteToolHost>(store, *m_search, Settings::shared());
    // Making the service starts nothing: the launch starts it when "mcp.enabled" is on.
    m_mcp = std::make_unique<MCPService>(*m_mcpTools, *m_mcpApproval, *m_mcpTokens, Settings::shared());
    m_notifications = std::make_unique<DBusDesktopNotifications>();
    m_reminders = std::make_unique<ReminderScheduler>(store, *m_notifications, Clock::system(), Settings::shared());
    m_network = std::make_unique<QNetworkAccessManager>();
    m_updateChecker = std::make_unique<UpdateChecker>(*m_network, Settings::shared(), Clock::system());

    runStartupHousekeeping(store, Clock::system());

    // With private notes in the store, their keys are read off the main thread now, so a keyring that
    // is locked asks to be unlocked before the first seal or reveal, and launch does not wait for it.
    const QList<Note*> notes = store.allActive() + store.trashed();
    if (std::any_of(notes.begin(), notes.end(), [](const Note* n) { return n->isLocked(); }))
        CryptoBox::readRingLater(m_noteStore.get(), [](const QString& problem) {
            if (!problem.isEmpty()) qCInfo(Log::privacy, "Lock keys not read yet: %s", qUtf8Printable(problem));
        });

    // Once the application is up, after the housekeeping above; launch does not wait.
    MainQueue::nextTurn(m_updateChecker.get(), [this] { m_updateChecker->checkIfDue(); });
}

AppServices::~AppServices() = default;

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
                                           std::function<void(HotkeyManager::Action)> onAction)
{
    if (!m_hotkeys) {
        m_globalHotkeys = GlobalHotkeys::forCurrentPlatform();
        m_hotkeys = std::make_unique<HotkeyManager>(*m_globalHotkeys, Settings::shared(), actions);
    }
    m_hotkeys->onAction = std::move(onAction);
    return *m_hotkeys;
}

void AppServices::installNoteHotkeys()
{
    using Action = HotkeyManager::Action;
    QPointer<FloatingNotesManager> floating = m_floating.get();
    NoteStore& store = *m_noteStore;
    UnlockSession& unlockSession = *m_unlockSession;
    installHotkeys({Action::newNote, Action::hideAll}, [floating, &store, &unlockSession](Action action) {
        if (!floating) return;
        NotificationCenter::shared().post(tarnwickHotkeyFired, HotkeyManager::rawValue(action));
        if (action == Action::newNote) {
            Note* note = FloatingNotesManager::insertBlankNote(store, Settings::shared());
            store.setActiveNoteID(note->uuid());
            floating->show(note->uuid());
        } else if (action == Action::hideAll) {
            if (floating->isHidden())
                floating->restoreAll();
            else
                floating->hideAll();
            // Put away, private notes are sealed again; brought back, they stay as they were.
            if (floating->isHidden()) unlockSession.relockAll();
        }
    });
}

AppDelegate::Parts AppServices::delegateParts(SingleInstance& bus, TarnwickApp& tray)
{
    AppDelegate::Parts parts{*m_noteStore,       *m_reminders,    *m_unlockSession,
                             Settings::shared(), Clock::system(), NotificationCenter::shared()};
    parts.windows = noteWindows(m_floating.get());
    parts.installHotkeys = [this] { installNoteHotkeys(); };
    // parts.shelf and parts.serviceCapture are given here by the shelf's controller and the capture
    // service's Services-menu road when they join.
    parts.bus = &bus;
    parts.tray = &tray;
    parts.storeFailure = [] { return PersistenceController::storeFailure(); };
    // The endpoint's approval card is a window, so the shell gives it to the controller; the listener
    // then starts when the user has switched the endpoint on.
    parts.startLocalEndpoint = [this] {
        m_mcpApproval->setPresenter(std::make_unique<MCPApprovalCardPresenter>());
        if (m_mcp->enabled()) m_mcp->start();
    };
    return parts;
}

void AppServices::runStartupHousekeeping(NoteStore& store, const Clock& clock)
{
    store.purgeExpired(clock.now());
    store.sweepLockedPlaintext();
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
