#pragma once

#include <QUuid>
#include <memory>

class Clock;
class DesktopNotifications;
class FloatingNotesManager;
class MCPApprovalController;
class MCPNoteToolHost;
class MCPService;
class MCPTokenStore;
class NoteStore;
class PamAuthenticator;
class QNetworkAccessManager;
class ReminderScheduler;
class SearchEngine;
class UnlockSession;
class UpdateChecker;

// The services of the running application, made once at launch and kept for the life of the process,
// in the order they depend on each other: the store (opened, or in memory when the file cannot be
// used), the search engine, the local MCP endpoint with its approval controller, the reminder scheduler and the
// update checker. Once everything exists, the store's start-up housekeeping runs;
// the reminders are rescheduled and the daily update check made once the event loop runs. The
// remaining services join here as they arrive, between the store and the housekeeping. The global hot
// keys join once their actions have handlers: grabbing a chord that does nothing would only take it
// from other applications.
class AppServices {
public:
    AppServices();
    ~AppServices();
    AppServices(const AppServices&) = delete;
    AppServices& operator=(const AppServices&) = delete;

    NoteStore& noteStore() const { return *m_noteStore; }
    // Every note window. Made right after the store; its windows are wired in by the shell.
    FloatingNotesManager& floating() const { return *m_floating; }
    // Whether a note's window is open and shown (the capture service files into such a note).
    bool isNoteWindowOpen(const QUuid& noteID) const;
    SearchEngine& searchEngine() const { return *m_search; }
    UnlockSession& unlockSession() const { return *m_unlockSession; }
    MCPApprovalController& mcpApproval() const { return *m_mcpApproval; }
    MCPService& mcpService() const { return *m_mcp; }
    ReminderScheduler& reminders() const { return *m_reminders; }
    UpdateChecker& updateChecker() const { return *m_updateChecker; }

    // The store's upkeep at launch, in this order: expired bin entries, notes left in the clear,
    // legacy bodies, duplicate rows, orphaned pictures. Each step saves for itself.
    static void runStartupHousekeeping(NoteStore& store, const Clock& clock);

private:
    // Destroyed in reverse order: the endpoint goes before the store it reads.
    std::unique_ptr<NoteStore> m_noteStore;
    std::unique_ptr<FloatingNotesManager> m_floating;
    std::unique_ptr<SearchEngine> m_search;
    std::unique_ptr<PamAuthenticator> m_authenticator;
    std::unique_ptr<UnlockSession> m_unlockSession;
    std::unique_ptr<MCPApprovalController> m_mcpApproval;
    std::unique_ptr<MCPTokenStore> m_mcpTokens;
    std::unique_ptr<MCPNoteToolHost> m_mcpTools;
    std::unique_ptr<MCPService> m_mcp;
    std::unique_ptr<DesktopNotifications> m_notifications;
    std::unique_ptr<ReminderScheduler> m_reminders;
    std::unique_ptr<QNetworkAccessManager> m_network;
    std::unique_ptr<UpdateChecker> m_updateChecker;
};
