#pragma once

#include <QList>
#include <QWidget>

#include "settings/AppSettingsTab.h"
#include "settings/SettingsServices.h"

class QButtonGroup;
class QLabel;
class QStackedWidget;
class SettingsPage;
class QToolButton;

// The window's content: a strip of eight tab buttons over the page stack. The selected tab is
// written to "settings.selectedTab" when the user picks one, never while the window is first built
// or the stored tab is being restored.
class PreferenceTabsController : public QWidget {
    Q_OBJECT
public:
    PreferenceTabsController(const SettingsServices& services, QWidget* parent = nullptr);

    // Builds the eight pages (once).
    void load();
    bool isLoaded() const { return !m_pages.isEmpty(); }
    // Selects the tab the key names, if any; ends the restoring phase.
    void selectStoredTab();
    void select(AppSettingsTab tab);
    // One tab on or back, wrapping around (Ctrl+Tab, Ctrl+Shift+Tab).
    void step(int delta);
    AppSettingsTab currentTab() const;
    SettingsPage* page(AppSettingsTab tab) const;
    QToolButton* tabButton(AppSettingsTab tab) const;
    QLabel* writeFailureLine() const { return m_writeFailure; }
    void windowActivationChanged(bool active);
    void setThemeActions(const SettingsThemeActions& actions);
    // Lets the page stack be shorter than a page, which then scrolls (on a short screen).
    void letPagesShrink();
    // Gives the focus to the shown page's first control (the page itself, named by its tab, when it
    // has none), so the focus never rests on an unnamed pane.
    void focusPage();

private:
    void addTab(AppSettingsTab tab);
    void spreadTabs();
    SettingsPage* content(AppSettingsTab tab);
    void currentChanged(int index);
    void refreshWriteFailure();

    const SettingsServices& m_services;
    bool m_isRestoring = true;
    QButtonGroup* m_strip = nullptr;
    QWidget* m_stripRow = nullptr;
    QStackedWidget* m_stack = nullptr;
    QLabel* m_writeFailure = nullptr;
    QList<SettingsPage*> m_pages;
    QList<QToolButton*> m_buttons;
};
