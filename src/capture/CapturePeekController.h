#pragma once

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <QUuid>
#include <functional>
#include "design/KeyablePanel.h"
#include "platform/FocusReturn.h"

class Clock;
class NoteStore;

// The capture peek: one floating card that shows a stored capture in full, with its source, its date
// and a Copy button. At most one is open; opening another replaces it. It closes on its close button,
// Ctrl+W, Escape, and when it loses the keyboard (a click elsewhere), except to the second press of
// the double click that opened it.
class CapturePeekController : public QObject {
    Q_OBJECT
public:
    // An application's icon by desktop-file id; a null icon leaves the chip without one.
    using IconProvider = std::function<QIcon(const QString& desktopID)>;
    using UrlOpener = std::function<void(const QUrl&)>;

    CapturePeekController(NoteStore& store, Clock& clock, QObject* parent = nullptr);
    ~CapturePeekController() override;

    void setIconProvider(IconProvider provider) { m_icons = std::move(provider); }
    void setUrlOpener(UrlOpener opener) { m_openUrl = std::move(opener); }

    // Shows the capture; an unknown id shows nothing and leaves an open card as it is. Closed by its key
    // or button, the card gives the keyboard back to the window it was opened over, or to `giveBackTo`
    // when the opener hides as the card comes (the shelf) and knows where the user was typing before.
    void present(const QUuid& captureID, const FocusReturn& giveBackTo = {});
    void close();
    KeyablePanel* panel() const { return m_panel; }

private:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool secondPressOfOpeningClick() const;
    // Takes the card away; with giveBack the window it was opened over gets the keyboard again.
    void dismiss(bool giveBack);

    NoteStore& m_store;
    Clock& m_clock;
    IconProvider m_icons;
    UrlOpener m_openUrl;
    QPointer<KeyablePanel> m_panel;
    // The open card as a plain object, for the event filter: it also sees the card's last events while
    // it is being destroyed, when it is no longer a panel.
    QObject* m_watchedPanel = nullptr;
    // When and where the open card was asked for. A double click on what opens it (a shelf row, the
    // capsule) presses a second time there a moment later, on whatever the first click left under the
    // pointer (the shelf closes as the card takes the keyboard): that press must not close the card.
    qint64 m_presentedAt = -1;
    QPoint m_presentedPointer;
    FocusReturn m_focusReturn;
};
