#pragma once

#include <QObject>
#include <memory>

class MCPApprovalController;
class MCPNoteToolHost;
class MCPService;
class MCPTokenStore;
class NoteStore;
class QMenu;
class QSystemTrayIcon;
class SearchEngine;
class SingleInstance;

// The running application's shell: the tray icon and its menu. The services (store, windows, capture,
// shelf, ...) are wired here as they arrive.
class TarnwickApp : public QObject {
    Q_OBJECT
public:
    explicit TarnwickApp(SingleInstance& instance, QObject* parent = nullptr);
    ~TarnwickApp() override;

    QSystemTrayIcon* trayIcon() const { return m_tray; }
    MCPService* mcp() const { return m_mcp.get(); }

private:
    void wireLocalEndpoint();

    std::unique_ptr<QMenu> m_menu;
    QSystemTrayIcon* m_tray = nullptr;

    // The local MCP endpoint and what it needs; destroyed in reverse order.
    std::unique_ptr<NoteStore> m_store;
    std::unique_ptr<SearchEngine> m_search;
    std::unique_ptr<MCPNoteToolHost> m_mcpTools;
    std::unique_ptr<MCPTokenStore> m_mcpTokens;
    std::unique_ptr<MCPApprovalController> m_approval;
    std::unique_ptr<MCPService> m_mcp;
};
