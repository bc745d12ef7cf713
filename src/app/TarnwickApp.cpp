#include "app/TarnwickApp.h"

#include <QApplication>
#include <QMenu>
#include <QSystemTrayIcon>

#include "app/SingleInstance.h"
#include "design/Symbols.h"
#include "design/TarnwickTheme.h"
#include "mcp/MCPApprovalCardPresenter.h"
#include "mcp/MCPApprovalController.h"
#include "mcp/MCPKeychainTokenStore.h"
#include "mcp/MCPNoteToolHost.h"
#include "mcp/MCPService.h"
#include "platform/Log.h"
#include "platform/Settings.h"
#include "shelf/SearchEngine.h"
#include "store/NoteStore.h"
#include "store/PersistenceController.h"

TarnwickApp::TarnwickApp(SingleInstance& instance, QObject* parent) : QObject(parent)
{
    m_menu = std::make_unique<QMenu>();
    QAction* quit = m_menu->addAction(QStringLiteral("Quit Tarnwick"));
    connect(quit, &QAction::triggered, qApp, &QCoreApplication::quit);

    m_tray = new QSystemTrayIcon(this);
    // The glyph is a monochrome mask; a warm mid grey reads on both light and dark panels.
    m_tray->setIcon(Symbols::tinted(QStringLiteral("MenubarGlyph"), TarnwickTheme::textTertiary(), 22));
    m_tray->setToolTip(QStringLiteral("Tarnwick"));
    m_tray->setContextMenu(m_menu.get());
    // Without a tray on the desktop, the icon appears when one starts; the application runs either way.
    if (!QSystemTrayIcon::isSystemTrayAvailable()) qCInfo(Log::app, "No system tray is available yet");
    m_tray->show();

    // Placeholder until the launch sequence lands: a second launch is only logged by SingleInstance;
    // the shell's reopen handling will connect to activationRequested here.
    Q_UNUSED(instance);

    wireLocalEndpoint();
}

// PLACEHOLDER for the shell's service wiring, which does not exist yet: this makes only what the local
// endpoint needs (the note store, the search engine, the approval card and the service) and starts the
// listener when the user has switched it on. Creating the service starts nothing.
void TarnwickApp::wireLocalEndpoint()
{
    m_store = std::make_unique<NoteStore>(PersistenceController::shared().mainContext());
    NoteStore& store = *m_store;
    m_search = std::make_unique<SearchEngine>(
        SearchEngine::Source{[&store] { return store.allActive(); }, [&store] { return store.captures(); }});
    m_mcpTools = std::make_unique<MCPNoteToolHost>(store, *m_search, Settings::shared());
    m_mcpTokens = std::make_unique<MCPKeychainTokenStore>();
    m_approval = std::make_unique<MCPApprovalController>();
    m_approval->setPresenter(std::make_unique<MCPApprovalCardPresenter>());
    m_mcp = std::make_unique<MCPService>(*m_mcpTools, *m_approval, *m_mcpTokens, Settings::shared());

    if (m_mcp->enabled()) m_mcp->start();
}

TarnwickApp::~TarnwickApp() = default;
