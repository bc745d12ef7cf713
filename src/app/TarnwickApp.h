#pragma once

#include <QObject>
#include <QSystemTrayIcon>
#include <functional>
#include <memory>

#include "platform/FocusReturn.h"

class QMenu;

// The status item: Tarnwick's icon in the system tray (StatusNotifierItem where the desktop has a
// watcher, else XEmbed). A left click, or the host's activation, is statusItemClicked; the right
// button opens the menu, which is all some hosts offer: "Open Shelf", "Settings…" and "Quit Tarnwick". Middle and
// double clicks do nothing. While a question waits for an answer (the quit question, a permission panel),
// nothing else of ours takes input: a click and every entry of the menu bring that question to the front
// instead, so the application never looks frozen and no second question is stacked.
class TarnwickApp : public QObject {
    Q_OBJECT
public:
    explicit TarnwickApp(QObject* parent = nullptr);
    ~TarnwickApp() override;

    QSystemTrayIcon* trayIcon() const { return m_tray; }
    QMenu* menu() const { return m_menu.get(); }
    // No tray was on the desktop when the icon was made: the launch then opens the shelf once.
    bool trayMissingAtLaunch() const { return m_trayMissingAtLaunch; }

    // The lit glyph while the shelf is open: a tray icon has no highlight of its own here.
    void setStatusItemLit(bool lit);
    bool statusItemLit() const { return m_lit; }

    // Where the keyboard goes back when what the menu started is called off (Cancel at the quit
    // question), asked as the menu opens: the window that has it then may close once the menu takes
    // it (the shelf). The active window when none is given.
    void setKeyboardReturn(std::function<FocusReturn()> keyboardReturn)
    {
        m_keyboardReturn = std::move(keyboardReturn);
    }
    // Taken as the menu last opened.
    const FocusReturn& menuOpenedFrom() const { return m_menuOpenedFrom; }

    // What a tray activation means (kept apart so the rule can be checked without a tray).
    static bool isClick(QSystemTrayIcon::ActivationReason reason) { return reason == QSystemTrayIcon::Trigger; }

Q_SIGNALS:
    void statusItemClicked();
    void openShelfRequested();
    void openSettingsRequested();
    // "Quit Tarnwick": the shell decides (a last save may need the user's word).
    void quitRequested();

private:
    std::unique_ptr<QMenu> m_menu;
    QSystemTrayIcon* m_tray = nullptr;
    bool m_trayMissingAtLaunch = false;
    bool m_lit = false;
    std::function<FocusReturn()> m_keyboardReturn;
    FocusReturn m_menuOpenedFrom;
};
