#include "app/AppServices.h"

#include <QNetworkAccessManager>
#include <algorithm>

#include "app/ReminderScheduler.h"
#include "app/UpdateChecker.h"
#include "mcp/MCPApprovalController.h"
#include "mcp/MCPKeychainTokenStore.h"
#include "mcp/MCPNoteToolHost.h"
#include "mcp/MCPService.h"
#include "model/Note.h"
#include "platform/Clock.h"
#include "platform/DBusDesktopNotifications.h"
#include "platform/Log.h"
#include "platform/Settings.h"
#include "privacy/CryptoBox.h"
#include "shelf/SearchEngine.h"
#include "store/NoteStore.h"
#include "store/PersistenceController.h"
#include "windows/FloatingNotesManager.h"

AppServices::AppServices()
{
    m_noteStore = std::make_unique<NoteStore>(PersistenceController::shared().mainContext());
    NoteStore& store = *m_noteStore;
    m_floating =
        std::make_unique<FloatingNotesManager>(store, Settings::shared(), FloatingNotesManager::WindowFactory());
    m_search = std::make_unique<SearchEngine>(
        SearchEngine::Source{[&store] { return store.allActive(); }, [&store] { return store.captures(); }});
    m_mcpApproval = std::make_unique<MCPApprovalController>();
    m_mcpTokens = std::make_unique<MCPKeychainTokenStore>();
    m_mcpTools = std::make_unique<MCPNoteToolHost>(store, *m_search, Settings::shared());
    // Making the service starts nothing: the launch starts it when "mcp.enabled" is on.
    m_mcp = std::make_unique<MCPService>(*m_mcpTools, *m_mcpApproval, *m_mcpTokens, Settings::shared());
    m_notifications = std::make_unique<DBusDesktopNotifications>();
    m_reminders = std::make_unique<ReminderScheduler>(store, *m_notifications, Clock::system());
    m_network = std::make_unique<QNetworkAccessManager>();
    m_updateChecker = std::make_unique<UpdateChecker>(*m_network, Settings::shared(), Clock::system());

    // With private notes in the store, their keys are read off the main thread, so a keyring that is
    // locked asks to be unlocked before the first seal or reveal and launch does not wait for it. Sealing
    // what a crash left in the clear needs those keys: that one step of the upkeep waits for them.
    const QList<Note*> notes = store.allActive() + store.trashed();
    const bool anyLocked = std::any_of(notes.begin(), notes.end(), [](const Note* n) { return n->isLocked(); });
    const bool sealLater = anyLocked && store.lockedPlaintextLeft();
    runStartupHousekeeping(store, Clock::system(), !sealLater);
    if (anyLocked)
        CryptoBox::readRingLater(m_noteStore.get(), [this, sealLater](const QString& problem) {
            if (!problem.isEmpty()) {
                qCInfo(Log::privacy, "Lock keys not read yet: %s", qUtf8Printable(problem));
                return;
            }
            if (sealLater) m_noteStore->sweepLockedPlaintext();
        });

    // Both run once the application is up, after the housekeeping above; launch does not wait.
    MainQueue::nextTurn(m_reminders.get(), [this] { m_reminders->rescheduleAll(); });
    MainQueue::nextTurn(m_updateChecker.get(), [this] { m_updateChecker->checkIfDue(); });
}

AppServices::~AppServices() = default;

bool AppServices::isNoteWindowOpen(const QUuid& noteID) const
{
    return m_floating->isNoteOpen(noteID);
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
}
