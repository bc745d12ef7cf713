#pragma once

#include <QObject>
#include <memory>

class AppServices;
class QMenu;
class QSystemTrayIcon;
class SingleInstance;

// The running application's shell: the tray icon and its menu, and the windows the services need
// (the MCP approval card). The services themselves live in AppServices.
class TarnwickApp : public QObject {
    Q_OBJECT
public:
    TarnwickApp(SingleInstance& instance, AppServices& services, QObject* parent = nullptr);
    ~TarnwickApp() override;

    QSystemTrayIcon* trayIcon() const { return m_tray; }

private:
    void startLocalEndpoint(AppServices& services);

    std::unique_ptr<QMenu> m_menu;
    QSystemTrayIcon* m_tray = nullptr;
};
