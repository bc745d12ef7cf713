#pragma once

#include <QObject>
#include <QUuid>
#include <functional>
#include <memory>
#include <optional>

#include "platform/Clock.h"
#include "shelf/ShelfListModel.h"
#include "shelf/ShelfRowActions.h"
#include "shelf/ShelfSearchState.h"

class Clock;
class NoteStore;
class SearchEngine;
class Settings;

// The panel side of the shelf: made anew at every showing by the window layer.
class ShelfPanelHost {
public:
    virtual ~ShelfPanelHost() = default;
    // Builds a fresh panel over the controller, places it and gives it the keyboard. `fromTrayClick`
    // lets the placement hang it from the pointer when the tray does not say where its icon is.
    virtual void open(bool fromTrayClick) = 0;
    // Unmaps and drops the panel.
    virtual void close() = 0;
    // Gives the keyboard back to the open panel.
    virtual void refocus() = 0;
    // Whether a window of ours other than the panel has the keyboard.
    virtual bool otherWindowOfOursActive() const = 0;
    // Whether that window is the one of ours that had the keyboard when the panel opened.
    virtual bool openedOverWindowActive() const = 0;
};

// Owns the shelf: opens and closes its panel, keeps its two lists (the browse lens and the search
// results) up to date, and carries out what the keys commit.
//
// A keystroke only writes the query; the search runs once per turn of the event loop for the latest
// query. A lens is rebuilt only when the store saved (several saves in one turn rebuild once), the
// lens changed, the day changed, or its empty hint would name a hot key bound differently now.
// Selection, hover and the actions row repaint rows and never search or fetch.
class ShelfController : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        std::function<void(const QUuid&)> openNote;
        std::function<void(const QUuid&)> peekCapture;
        // Until the first-run tour is done a tray click shows the tour instead of the shelf; by default
        // the click opens the shelf.
        std::function<bool()> onboardingCompleted;
        std::function<void()> presentOnboarding;
        std::function<bool(const Note&)> isRedacted;
        std::function<void(const QString&)> copyText;
    };

    static constexpr qint64 graceMs = 500;
    static constexpr qint64 reopenGuardMs = 300;

    ShelfController(NoteStore& store, SearchEngine& search, Settings& settings, Clock& clock, Hooks hooks,
                    QObject* parent = nullptr);
    ~ShelfController() override;

    void setPanelHost(ShelfPanelHost* host) { m_host = host; }
    ShelfPanelHost* panelHost() const { return m_host; }

    ShelfSearchState& searchState() { return m_state; }
    ShelfListModel& browseModel() { return *m_browse; }
    ShelfListModel& searchModel() { return *m_results; }
    ShelfRowActions& actions() { return m_actions; }
    Settings& settings() { return m_settings; }
    NoteStore& store() { return m_store; }
    Clock& clock() { return m_clock; }

    bool isOpen() const { return m_open; }
    // Whether the tray icon shows its lit glyph: from the turn after the shelf opened until it closes.
    bool statusItemLit() const { return m_lit; }
    void present(bool focusSearch = true);
    void dismiss();
    // Shelf hot key, the note windows' search shortcut: close when open, else open.
    void toggle();
    void statusItemClicked();
    // The panel lost the keyboard to something that is not one of its own popups.
    void focusLost();
    // Escape: closes the actions row when it is open, else the shelf.
    void escape();
    // A private note was opened or closed: its rows draw their lock again.
    void invalidateRowTexts();

    // How many searches and lens rebuilds ran (for tests and measurements).
    int searchRuns() const { return m_searchRuns; }
    int lensBuilds() const { return m_lensBuilds; }

Q_SIGNALS:
    void openChanged(bool open);
    void statusItemLitChanged(bool lit);

private:
    void present(bool focusSearch, bool fromTrayClick);
    void schedule();
    void refresh();
    // While open, the lists are built again when the day changes: their headings and row times name days.
    void watchTheDay();
    void rebuildLens(const std::optional<QString>& hint = std::nullopt);
    QString lensHint() const;
    void runSearch();
    void syncSelection();
    void setStatusItemLit(bool lit);
    ShelfListModel& currentModel();

    NoteStore& m_store;
    SearchEngine& m_search;
    Settings& m_settings;
    Clock& m_clock;
    Hooks m_hooks;
    ShelfSearchState m_state;
    std::unique_ptr<ShelfListModel> m_browse;
    std::unique_ptr<ShelfListModel> m_results;
    ShelfRowActions m_actions;
    ShelfPanelHost* m_host = nullptr;

    bool m_open = false;
    bool m_lit = false;
    qint64 m_presentedAt = 0;
    qint64 m_closedByFocusLossAt = -1;
    // A row of this showing opened a note or a peek.
    bool m_handedOff = false;
    bool m_lensDirty = true;
    bool m_searchDirty = true;
    bool m_scheduled = false;
    QDate m_builtDay;
    TimerHandle m_dayTimer;
    QString m_builtHint;
    // The hot keys may have been rebound since the hint was built (set at each showing).
    bool m_hintStale = true;
    int m_searchRuns = 0;
    int m_lensBuilds = 0;
};
