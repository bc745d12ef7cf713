#pragma once

#include "settings/SettingsPage.h"
#include "settings/SettingsServices.h"

class QComboBox;
class QLabel;
class TarnSwitch;

// Screen sharing (which this desktop cannot hide from, said plainly) and private notes: how they
// unlock here and when they lock again.
class PrivacySettingsTab : public SettingsPage {
    Q_OBJECT
public:
    explicit PrivacySettingsTab(const SettingsServices& services, QWidget* parent = nullptr);

    QLabel* footnote() const { return m_footnote; }
    void windowActivationChanged(bool active) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void refresh(bool askAuthentication);

    const SettingsServices& m_services;
    TarnSwitch* m_share = nullptr;
    QLabel* m_unlockName = nullptr;
    QLabel* m_capability = nullptr;
    QComboBox* m_relock = nullptr;
    QLabel* m_footnote = nullptr;
    bool m_canAuthenticate = false;
    QString m_capabilityText;
};
