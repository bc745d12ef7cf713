#include "app/TarnwickApp.h"

#include <QApplication>
#include <QMenu>
#include <QSystemTrayIcon>

#include "app/AppServices.h"
#include "app/SingleInstance.h"
#include "design/Symbols.h"
#include "design/TarnwickTheme.h"
#include "design/TrayGlyph.h"
#include "mcp/MCPApprovalCardPresenter.h"
#include "mcp/MCPApprovalController.h"
#include "mcp/MCPService.h"
#include "platform/Log.h"

TarnwickApp::TarnwickApp(SingleInstance& instance, AppServices& services, QObject* parent) : QObject(parent)
{
    m_menu = std::make_unique<QMenu>();
    QAction* quit = m_menu->addAction(QStringLiteral("Quit Tarnwick"));
    connect(quit, &QAction::triggered, qApp, &QCoreApplication::quit);

    m_tray = new QSystemTrayIcon(this);
    m_tray->setIcon(TrayGlyph::icon());
    m_tray->setToolTip(QStringLiteral("Tarnwick"));
    m_tray->setContextMenu(m_menu.get());
    // Without a tray on the desktop, the icon appears when one starts; the application runs either way.
    if (!QSystemTrayIcon::isSystemTrayAvailable()) qCInfo(Log::app, "No system tray is available yet");
    m_tray->show();

    // Placeholder until the launch sequence lands: a second launch is only logged by SingleInstance;
    // the shell's reopen handling will connect to activationRequested here.
    Q_UNUSED(instance);

    startLocalEndpoint(services);
}

// The endpoint's approval card is a window, so the shell gives it to the controller; the listener then
// starts when the user has switched the endpoint on.
void TarnwickApp::startLocalEndpoint(AppServices& services)
{
    services.mcpApproval().setPresenter(std::make_unique<MCPApprovalCardPresenter>());
    if (services.mcpService().enabled()) services.mcpService().start();
}

TarnwickApp::~TarnwickApp() = default;
