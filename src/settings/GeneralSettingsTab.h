#pragma once

#include <memory>

#include "settings/LoginSwitch.h"
#include "settings/SettingsPage.h"
#include "settings/SettingsServices.h"

class QLabel;
class QProgressBar;
class QPushButton;
class TarnSwitch;

// Startup and tray: launch at login, the taskbar entry, and the update check.
class GeneralSettingsTab : public SettingsPage {
    Q_OBJECT
public:
    explicit GeneralSettingsTab(const SettingsServices& services,
                                LoginSwitch::System login = LoginSwitch::System::real(), QWidget* parent = nullptr);

    TarnSwitch* loginSwitch() const { return m_login; }
    QLabel* loginError() const { return m_loginError; }
    QLabel* updateStatus() const { return m_updateStatus; }
    QPushButton* checkNowButton() const { return m_checkNow; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void refreshLogin();
    void refreshUpdates();

    const SettingsServices& m_services;
    LoginSwitch m_loginModel;
    TarnSwitch* m_login = nullptr;
    QLabel* m_loginError = nullptr;
    TarnSwitch* m_taskbar = nullptr;
    TarnSwitch* m_autoCheck = nullptr;
    QPushButton* m_checkNow = nullptr;
    QProgressBar* m_checking = nullptr;
    QPushButton* m_download = nullptr;
    QLabel* m_updateStatus = nullptr;
};
