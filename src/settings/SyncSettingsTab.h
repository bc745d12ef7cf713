#pragma once

#include "settings/SettingsPage.h"
#include "settings/SettingsServices.h"

class QLabel;
class TarnSwitch;

// Cloud sync, which this version does not offer: the switch fixed, the store's sync state, and the
// promise that notes are kept locally.
class SyncSettingsTab : public SettingsPage {
    Q_OBJECT
public:
    explicit SyncSettingsTab(const SettingsServices& services, QWidget* parent = nullptr);
    QLabel* status() const { return m_status; }
    TarnSwitch* syncSwitch() const { return m_switch; }

private:
    void refresh();

    const SettingsServices& m_services;
    TarnSwitch* m_switch = nullptr;
    QLabel* m_status = nullptr;
};
