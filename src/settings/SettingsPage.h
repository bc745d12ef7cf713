#pragma once

#include "settings/TarnSettingsScreen.h"

// A page of the settings window; told when the window gains or loses the focus.
class SettingsPage : public TarnSettingsScreen {
    Q_OBJECT
public:
    using TarnSettingsScreen::TarnSettingsScreen;
    virtual void windowActivationChanged(bool active) { (void)active; }
};
