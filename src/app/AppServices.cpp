#include "app/AppServices.h"

#include <QNetworkAccessManager>

#include "app/ReminderScheduler.h"
#include "app/UpdateChecker.h"
#include "mcp/MCPApprovalController.h"
#include "mcp/MCPKeychainTokenStore.h"
#include "mcp/MCPNoteToolHost.h"
#include "mcp/MCPService.h"
#include "platform/Clock.h"
#include "platform/DBusDesktopNotifications.h"
#include "platform/PamAuthenticator.h"
#include "platform/PasswordDialog.h"
#include "platform/Settings.h"
#include "privacy/UnlockSession.h"
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
    m_authenticator = std::make_unique<PamAuthenticator>([] { return std::make_unique<PasswordDialog>(); });
    m_unlockSession = std::make_unique<UnlockSession>(store, *m_authenticator);
    m_mcpApproval = std::make_unique<MCPApprovalController>();
    m_mcpTokens = std::make_unique<MCPKeychainTokenStore>();
    m_mcpTools = std::make_unique<MCPNoteToolHost>(store, *m_search, Settings::shared());
    // Making the service starts nothing: the launch starts it when "mcp.enabled" is on.
    m_mcp = std::make_unique<MCPService>(*m_mcpTools, *m_mcpApproval, *m_mcpTokens, Settings::shared());
    m_notifications = std::make_unique<DBusDesktopNotifications>();
    m_reminders = std::make_unique<ReminderScheduler>(store, *m_notifications, Clock::system());
    m_network = std::make_unique<QNetworkAccessManager>();
    m_updateChecker = std::make_unique<UpdateChecker>(*m_network, Settings::shared(), Clock::system());

    runStartupHousekeeping(store, Clock::system());

    // Both run once the application is up, after the housekeeping above; launch does not wait.
    MainQueue::nextTurn(m_reminders.get(), [this] { m_reminders->rescheduleAll(); });
    MainQueue::nextTurn(m_updateChecker.get(), [this] { m_updateChecker->checkIfDue(); });
}

AppServices::~AppServices() = default;

bool AppServices::isNoteWindowOpen(const QUuid& noteID) const
{
    return m_floating->isNoteOpen(noteID);
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
}
