#pragma once

#include "settings/SettingsPage.h"
#include "settings/SettingsServices.h"

class QLabel;

// The application's icon, name and version, and the terms and privacy pages.
class AboutSettingsTab : public SettingsPage {
    Q_OBJECT
public:
    explicit AboutSettingsTab(const SettingsServices& services, QWidget* parent = nullptr);
    // The running version, "1.0" when the build carries none.
    static QString appVersion();

private:
    QLabel* m_version = nullptr;
};
