#include "shelf/ShelfController.h"

#include <algorithm>

#include "platform/Clock.h"
#include "platform/Settings.h"
#include "shelf/SearchEngine.h"
#include "shelf/ShelfTexts.h"
#include "store/NoteStore.h"

ShelfController::ShelfController(NoteStore& store, SearchEngine& search, Settings& settings, Clock& clock, Hooks hooks,
                                 QObject* parent)
    : QObject(parent),
      m_store(store),
      m_search(search),
      m_settings(settings),
      m_clock(clock),
      m_hooks(std::move(hooks)),
      m_state(settings),
      // What the rows open takes the keyboard from the shelf on purpose, also when it is the window the
      // shelf was opened over.
      m_actions(store, m_state,
                {[this](const QUuid& id) {
                     m_handedOff = true;
                     if (m_hooks.openNote) m_hooks.openNote(id);
                 },
                 [this](const QUuid& id) {
                     m_handedOff = true;
                     if (m_hooks.peekCapture) m_hooks.peekCapture(id);
                 },
                 m_hooks.copyText})
{
    ShelfListModel::Hooks modelHooks;
    modelHooks.isRedacted = m_hooks.isRedacted;
    m_browse = std::make_unique<ShelfListModel>(store, m_clock, modelHooks);
    m_results = std::make_unique<ShelfListModel>(store, m_clock, modelHooks);

    connect(&m_store, &NoteStore::revisionChanged, this, [this] {
        m_lensDirty = m_searchDirty = true;
        schedule();
    });
    connect(&m_state, &ShelfSearchState::queryChanged, this, [this] {
        m_searchDirty = true;
        schedule();
    });
    connect(&m_state, &ShelfSearchState::lensChanged, this, [this] {
        m_lensDirty = true;
        schedule();
    });
    // A rebound hot key is named by the empty lens's hint at the next refresh.
    connect(&m_settings, &Settings::valueChanged, this, [this](const QString& key) {
        if (!key.startsWith(QLatin1String("hotkey."))) return;
        m_hintStale = true;
        schedule();
    });
    connect(&m_state, &ShelfSearchState::selectedRowChanged, this, &ShelfController::syncSelection);
    connect(&m_state, &ShelfSearchState::showActionsChanged, this, &ShelfController::syncSelection);
    connect(&m_state, &ShelfSearchState::actionIndexChanged, this, &ShelfController::syncSelection);
    connect(&m_state, &ShelfSearchState::surfaceChanged, this, &ShelfController::syncSelection);
}

ShelfController::~ShelfController() = default;

ShelfListModel& ShelfController::currentModel()
{
    return m_state.surface() == ShelfSearchState::Surface::search ? *m_results : *m_browse;
}

void ShelfController::schedule()
{
    // While closed, the lists wait for the next showing.
    if (!m_open || m_scheduled) return;
    m_scheduled = true;
    MainQueue::nextTurn(this, [this] {
        m_scheduled = false;
        refresh();
    });
}

void ShelfController::refresh()
{
    if (m_builtDay != m_clock.now().toLocalTime().date()) m_lensDirty = true;  // "Today" moved on
    // The hint names the hot key in force, which may have been rebound since the lens was built.
    std::optional<QString> hint;
    if (m_hintStale) {
        m_hintStale = false;
        hint = lensHint();
        if (*hint != m_builtHint) m_lensDirty = true;
    }
    if (m_lensDirty) rebuildLens(hint);
    if (m_searchDirty) runSearch();
}

void ShelfController::watchTheDay()
{
    m_dayTimer.cancel();
    if (!m_open) return;
    // Measured afresh at every wake-up: the timer runs on the boot-time clock, so a wall clock set or a
    // time zone changed meanwhile is caught within the hour.
    constexpr qint64 hourMs = 60 * 60 * 1000;
    const QDateTime now = m_clock.now().toLocalTime();
    const qint64 untilTomorrow = now.msecsTo(now.date().addDays(1).startOfDay());
    m_dayTimer = m_clock.after(std::clamp<qint64>(untilTomorrow, 1, hourMs), this, [this] {
        if (m_builtDay != m_clock.now().toLocalTime().date()) {
            // As after a save: the lens and the results are made again for the new day.
            m_lensDirty = m_searchDirty = true;
            schedule();
        }
        watchTheDay();
    });
}

void ShelfController::rebuildLens(const std::optional<QString>& hint)
{
    m_lensDirty = false;
    m_builtDay = m_clock.now().toLocalTime().date();
    ++m_lensBuilds;
    m_builtHint = hint ? *hint : lensHint();
    switch (m_state.lens()) {
        case ShelfSearchState::Lens::captures:
            m_browse->showCaptures(m_store.captures(), m_builtHint);
            break;
        case ShelfSearchState::Lens::notes:
            m_browse->showNotes(m_store.allActive(), m_builtHint);
            break;
        case ShelfSearchState::Lens::bin:
            m_browse->showBin(m_store.trashed(), m_builtHint);
            break;
    }
    m_state.setBrowseRows(m_browse->flatRows());
    syncSelection();
}

QString ShelfController::lensHint() const
{
    switch (m_state.lens()) {
        case ShelfSearchState::Lens::captures:
            return ShelfTexts::capturesHint(m_settings);
        case ShelfSearchState::Lens::notes:
            return ShelfTexts::notesHint(m_settings);
        case ShelfSearchState::Lens::bin:
            break;
    }
    return ShelfTexts::binHint();
}

void ShelfController::runSearch()
{
    m_searchDirty = false;
    const QString query = m_state.query();
    if (m_state.isSearching()) {
        ++m_searchRuns;
        const QString trimmed = ShelfTexts::trimmedQuery(query);
        // The engine names its results from what it keeps: their objects are not visited for their ids.
        QList<QUuid> noteIDs, captureIDs;
        const QList<Note*> notes = m_search.search(trimmed, &noteIDs);
        const QList<Capture*> captures = m_search.searchCaptures(trimmed, &captureIDs);
        m_results->showResults(query, true, notes, captures, noteIDs, captureIDs);
    } else {
        // A blank query is no search: the engine is not asked.
        m_results->showResults(query, false, {}, {});
    }
    m_state.setSearchRows(m_results->flatRows());
    syncSelection();
}

void ShelfController::syncSelection()
{
    ShelfListModel& model = currentModel();
    const auto selected = m_state.selectedRow();
    model.setSelectedRow(selected);
    model.setActionsRow(m_state.actionsRowShown() ? selected : std::nullopt);
    model.setFocusedAction(model.actionsItem() >= 0 ? m_state.actionIndex() : -1);
    ShelfListModel& other = &model == m_browse.get() ? *m_results : *m_browse;
    other.setActionsRow(std::nullopt);
    other.setFocusedAction(-1);
}

void ShelfController::present(bool focusSearch)
{
    present(focusSearch, false);
}

void ShelfController::present(bool, bool fromTrayClick)
{
    dismiss();
    m_state.resetSelections();
    m_open = true;
    m_hintStale = true;
    refresh();
    watchTheDay();
    m_presentedAt = m_clock.elapsedMs();
    m_handedOff = false;
    if (m_host) m_host->open(fromTrayClick);
    Q_EMIT openChanged(true);
    setStatusItemLit(true);
}

void ShelfController::dismiss()
{
    setStatusItemLit(false);
    if (!m_open) return;
    m_open = false;
    m_dayTimer.cancel();
    if (m_host) m_host->close();
    Q_EMIT openChanged(false);
}

void ShelfController::setStatusItemLit(bool lit)
{
    if (!lit) {
        if (m_lit) Q_EMIT statusItemLitChanged(m_lit = false);
        return;
    }
    // Lit a turn later, and only if still open: the tray click that closed the shelf again in the
    // meantime must leave the icon dark.
    MainQueue::nextTurn(this, [this] {
        if (m_open && !m_lit) Q_EMIT statusItemLitChanged(m_lit = true);
    });
}

void ShelfController::toggle()
{
    if (m_open)
        dismiss();
    else
        present(true);
}

void ShelfController::statusItemClicked()
{
    if (m_hooks.onboardingCompleted && !m_hooks.onboardingCompleted()) {
        if (m_hooks.presentOnboarding) m_hooks.presentOnboarding();
        return;
    }
    if (m_open) {
        dismiss();
        return;
    }
    // Clicking the tray icon takes the focus from the panel first, which closes it; that same click
    // must not open it again.
    if (m_closedByFocusLossAt >= 0 && m_clock.elapsedMs() - m_closedByFocusLossAt < reopenGuardMs) return;
    present(true, true);
}

void ShelfController::focusLost()
{
    if (!m_open) return;
    const bool inGrace = m_clock.elapsedMs() - m_presentedAt < graceMs;
    MainQueue::nextTurn(this, [this, inGrace] {
        if (!m_open) return;
        // Within the grace a focus loss to another application is undone; never take the keyboard
        // from a window of ours (the note just opened from the shelf). The window of ours the shelf was
        // opened over is no such window: when the shelf's key is let go, the X server tells that window
        // the keyboard is back (the end of the key's grab), and Qt can pass that on after it already took
        // the shelf as active. Read as a move, that closed the shelf as soon as it showed.
        const bool ours =
            m_host && m_host->otherWindowOfOursActive() && (m_handedOff || !m_host->openedOverWindowActive());
        if (inGrace && !ours) {
            if (m_host) m_host->refocus();
            return;
        }
        m_closedByFocusLossAt = m_clock.elapsedMs();
        dismiss();
    });
}

void ShelfController::escape()
{
    if (m_state.showActions())
        m_state.setShowActions(false);
    else
        dismiss();
}

void ShelfController::invalidateRowTexts()
{
    m_browse->invalidateTexts();
    m_results->invalidateTexts();
}
