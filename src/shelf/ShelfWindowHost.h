#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>
#include <functional>
#include <optional>

#include "platform/FocusReturn.h"
#include "shelf/ShelfController.h"
#include "shelf/ShelfPanel.h"

#include <QSystemTrayIcon>

class Clock;
class Settings;

// Builds the shelf's panel at every showing, places it under the tray icon (or the pointer that
// clicked it), and tells the controller when it loses the keyboard.
class ShelfWindowHost : public ShelfPanelHost {
public:
    // `clock` times the tray click that opens the shelf; `settings` say whether panels stay out of screen
    // sharing.
    ShelfWindowHost(ShelfController& controller, const Clock& clock, const Settings& settings,
                    ShelfPanel::Options options, QSystemTrayIcon* tray = nullptr);
    ~ShelfWindowHost() override;

    void setTray(QSystemTrayIcon* tray) { m_tray = tray; }
    // A tray click is about to open the shelf: without the tray's own geometry, it hangs from the
    // pointer.
    void noteTrayClick();
    ShelfPanel* panel() const { return m_panel; }
    // The window of ours the open shelf was opened over, and the field that had the keyboard there.
    const FocusReturn& openedFrom() const { return m_focusReturn; }
    // Where the keyboard goes back when a window that takes it now closes: the window of ours that has
    // it, or, when that is the shelf (which closes as it loses it), the one the shelf was opened over.
    FocusReturn keyboardReturn() const;

    // Where a shelf opened now would stand (global coordinates), hanging from the tray icon, or from
    // the pointer after a tray click; none without a screen.
    std::optional<QRect> placement(bool fromTrayClick) const;

    void open(bool fromTrayClick) override;
    void close() override;
    void refocus() override;
    bool otherWindowOfOursActive() const override;
    bool openedOverWindowActive() const override;

private:
    // Where a shelf stands hanging from the tray icon, else from `clickedAt` (a tray click's pointer),
    // else at the top right of the pointer's screen.
    std::optional<QRect> placementFrom(std::optional<QPoint> clickedAt) const;
    // The screens changed under an open shelf: it goes where it would open now, from the same anchor.
    void placeAgain();

    ShelfController& m_controller;
    const Clock& m_clock;
    const Settings& m_settings;
    ShelfPanel::Options m_options;
    QPointer<QSystemTrayIcon> m_tray;
    QPointer<ShelfPanel> m_panel;
    // Closed panels waiting for their deferred deletion; none may outlive the controller.
    QList<QPointer<ShelfPanel>> m_closing;
    qint64 m_trayClickAt = -1;
    // Where the pointer was at the tray click that opened the shelf now open.
    std::optional<QPoint> m_clickedAt;
    // The window of ours the shelf was opened from (a note's search key): it gets the keyboard back
    // when the shelf is closed from the keyboard.
    FocusReturn m_focusReturn;
    // Holds the watch on the screens; last, so it goes first.
    QObject m_screenWatch;
};
