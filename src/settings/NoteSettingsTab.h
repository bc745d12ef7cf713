#pragma once

#include "platform/NotificationCenter.h"
#include "settings/SettingsPage.h"
#include "settings/SettingsServices.h"

class MiddleElidedLabel;
class QLabel;
class QPushButton;
class QSlider;
class TarnSwitch;
class ThemeGrid;

// Notes and their windows: the theme new notes get, the opacity every window starts with, floating,
// one window for all notes, and where captures came from.
class NoteSettingsTab : public SettingsPage {
    Q_OBJECT
public:
    explicit NoteSettingsTab(const SettingsServices& services, QWidget* parent = nullptr);

    // The theme window's entries. The one place "Edit…", "Custom" and "New Theme…" connect.
    void setThemeActions(const SettingsThemeActions& actions);
    // The id the grid marks: the stored one verbatim (even empty), else the default.
    QString defaultThemeID() const;

    ThemeGrid* grid() const { return m_grid; }
    MiddleElidedLabel* defaultThemeName() const { return m_defaultName; }
    QPushButton* newThemeButton() const { return m_newTheme; }
    QSlider* opacitySlider() const { return m_opacity; }
    QLabel* opacityText() const { return m_opacityText; }

private:
    void refreshThemes();
    void refreshOpacity();
    void storeOpacity();
    void newTheme();

    const SettingsServices& m_services;
    SettingsThemeActions m_themeActions;
    ObserverToken m_themeObserver;
    ThemeGrid* m_grid = nullptr;
    MiddleElidedLabel* m_defaultName = nullptr;
    QPushButton* m_newTheme = nullptr;
    QSlider* m_opacity = nullptr;
    QLabel* m_opacityText = nullptr;
    TarnSwitch* m_float = nullptr;
};
