#pragma once

#include <functional>

#include "design/KeyablePanel.h"
#include "shelf/ShelfRowActions.h"

class QLabel;
class QLineEdit;
class QStackedWidget;
class QKeyEvent;
class QToolButton;
class QWidget;
class ShelfController;
class ShelfLensChip;
class ShelfListView;

// The shelf's panel: a banner when something is wrong, the search field, the lens chips, the two
// surfaces (each its own list, so each keeps its scroll), and the footer. It only shows the
// controller's state and forwards the user's input; it is built anew at every showing.
class ShelfPanel : public KeyablePanel {
    Q_OBJECT
public:
    struct Options {
        bool storeFailed = false;
        std::function<bool()> captureBroken;  // checked at showing and whenever the application turns active
        std::function<void()> showSettings;   // the gear and the capture banner; absent: no gear
        std::function<void()> quit;
    };

    static constexpr int cornerRadius = 13;

    ShelfPanel(ShelfController& controller, Options options, QWidget* parent = nullptr);

    QLineEdit* searchField() const { return m_field; }
    ShelfListView* browseView() const { return m_browse; }
    ShelfListView* searchView() const { return m_search; }
    QWidget* bannerWidget() const { return m_banner; }
    const QList<ShelfLensChip*>& lensChips() const { return m_chips; }
    // "New note", then the gear (when there are settings to show) and Quit: the footer's Tab stops.
    const QList<QToolButton*>& footerButtons() const { return m_footer; }

    // Closed: it shows and forwards nothing more while it waits to be deleted.
    void detach();

    // Runs one key through the shelf's routing; true when the shelf took it.
    bool handleKey(int key, Qt::KeyboardModifiers modifiers);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void updateSurface();
    void updateChips();
    void updateBanner();
    ShelfListView* currentView() const;
    bool handleFooterKey(QToolButton* button, QKeyEvent* key);
    // Moves the actions row's keyboard chip by `delta`, wrapping when `wrap`; or presses it (delta 0).
    // The commands of the open actions row's chips (none while it is closed).
    QList<ShelfRowActions::Command> openChips() const;
    void stepAction(int delta, bool wrap);
    void pressAction();
    // Tells assistive tools which row, chip or lens the keyboard is on now.
    void announceSelection();
    void announceLens();

    ShelfController& m_controller;
    Options m_options;
    bool m_detached = false;
    QWidget* m_banner = nullptr;
    QLabel* m_bannerText = nullptr;
    QLineEdit* m_field = nullptr;
    QToolButton* m_clear = nullptr;
    QWidget* m_chipsRow = nullptr;
    QList<ShelfLensChip*> m_chips;
    QList<QToolButton*> m_footer;
    // What was last announced, so a change that repaints without moving says nothing.
    const void* m_announcedView = nullptr;
    int m_announcedItem = -1, m_announcedChip = -1;
    QStackedWidget* m_stack = nullptr;
    ShelfListView* m_browse = nullptr;
    ShelfListView* m_search = nullptr;
};
