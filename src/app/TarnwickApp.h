#pragma once

#include <QObject>
#include <memory>
#include <vector>

#include "platform/NotificationCenter.h"

class AppServices;
class GlobalHotkeys;
class HotkeyManager;
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
    // Note windows: the window factory, the note notifications the shell answers, reminders that open
    // a note, and the new-note and hide-all hot keys. The application delegate takes this over.
    void wireNoteWindows(AppServices& services);

    std::unique_ptr<QMenu> m_menu;
    QSystemTrayIcon* m_tray = nullptr;
    std::vector<ObserverToken> m_noteObservers;
    std::unique_ptr<GlobalHotkeys> m_globalHotkeys;
    std::unique_ptr<HotkeyManager> m_hotkeys;
};
