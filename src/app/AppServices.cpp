#include "app/AppServices.h"

#include "mcp/MCPApprovalController.h"
#include "mcp/MCPKeychainTokenStore.h"
#include "mcp/MCPNoteToolHost.h"
#include "mcp/MCPService.h"
#include "platform/Clock.h"
#include "platform/Settings.h"
#include "shelf/SearchEngine.h"
#include "store/NoteStore.h"
#include "store/PersistenceController.h"

AppServices::AppServices()
{
    m_noteStore = std::make_unique<NoteStore>(PersistenceController::shared().mainContext());
    NoteStore& store = *m_noteStore;
    m_search = std::make_unique<SearchEngine>(
        SearchEngine::Source{[&store] { return store.allActive(); }, [&store] { return store.captures(); }});
    m_mcpApproval = std::make_unique<MCPApprovalController>();
    m_mcpTokens = std::make_unique<MCPKeychainTokenStore>();
    m_mcpTools = std::make_unique<MCPNoteToolHost>(store, *m_search, Settings::shared());
    // Making the service starts nothing: the launch starts it when "mcp.enabled" is on.
    m_mcp = std::make_unique<MCPService>(*m_mcpTools, *m_mcpApproval, *m_mcpTokens, Settings::shared());

    runStartupHousekeeping(store, Clock::system());
}

AppServices::~AppServices() = default;

void AppServices::runStartupHousekeeping(NoteStore& store, const Clock& clock)
{
    store.purgeExpired(clock.now());
    store.sweepLockedPlaintext();
    store.migrateLegacyBodies();
    store.reconcileForSync();
    // Read again: the steps before may have taken a while on a large store.
    store.sweepOrphanImages(clock.now());
}
