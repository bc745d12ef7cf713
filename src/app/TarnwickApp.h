#pragma once

#include <QObject>
#include <memory>

class QMenu;
class QSystemTrayIcon;
class SingleInstance;

// The running application's shell: the tray icon and its menu. The services (store, windows, capture,
// shelf, ...) are wired here as they arrive.
class TarnwickApp : public QObject {
    Q_OBJECT
public:
    explicit TarnwickApp(SingleInstance& instance, QObject* parent = nullptr);
    ~TarnwickApp() override;

    QSystemTrayIcon* trayIcon() const { return m_tray; }

private:
    std::unique_ptr<QMenu> m_menu;
    QSystemTrayIcon* m_tray = nullptr;
};
