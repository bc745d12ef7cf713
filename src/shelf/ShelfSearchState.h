#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <optional>

#include "shelf/ShelfRow.h"

class Settings;

// The shelf's navigation state, shared by the keyboard (the shelf controller) and the mouse (the shelf
// view): which surface is shown, the query, the lens, one selection per surface, the rows each surface
// shows and whether the selected row's actions are open. It outlives the shelf panel, so the query,
// surface and lens survive closing and reopening it; the lens also survives a restart through
// "shelf.lastLens".
//
// The view computes the rows and writes them here whenever its lists change; nothing here reads the
// store. Each signal fires only when its value really changes. Main thread only.
class ShelfSearchState : public QObject {
    Q_OBJECT
public:
    enum class Surface { browse, search };
    Q_ENUM(Surface)

    // In the order of the lens picker and of flipLens().
    enum class Lens { captures, notes, bin };
    Q_ENUM(Lens)

    struct Commit {
        enum class Kind { activate, selectedFirstRow, nothing };
        Kind kind = Kind::nothing;
        std::optional<ShelfRow> row;  // set for activate only

        static Commit activate(const ShelfRow& row) { return {Kind::activate, row}; }
        bool operator==(const Commit&) const = default;
    };

    static constexpr const char* lastLensKey = "shelf.lastLens";

    static QString rawValue(Lens lens);
    static std::optional<Lens> lensFromRawValue(const QString& raw);

    // The lens is read from (and later written to) the given settings.
    explicit ShelfSearchState(Settings& settings, QObject* parent = nullptr);

    Surface surface() const { return m_surface; }
    void setSurface(Surface surface);

    QString query() const { return m_query; }
    // A changed text clears the search selection and closes the actions row; a non-empty one (spaces
    // count) also switches to the search surface. Emptying it does not leave the search surface.
    void setQuery(const QString& query);

    Lens lens() const { return m_lens; }
    // Stored under "shelf.lastLens" on every assignment, also of the same lens.
    void setLens(Lens lens);

    bool showActions() const { return m_showActions; }
    // Opening or closing the actions row puts its keyboard focus back on its first chip.
    void setShowActions(bool show);
    // Whether the actions row is really shown: the flag is set and the selected row is a note or
    // capture row of the current rows. Only then do its chips take the keys that walk and press them;
    // the flag alone can be set over a bin row, an empty list or a row that has left it.
    bool actionsRowShown() const;
    // The chip of the actions row that has the keyboard (Left/Right move it, Return presses it).
    int actionIndex() const { return m_actionIndex; }
    void setActionIndex(int index);

    QList<ShelfRow> browseRows() const { return m_browseRows; }
    void setBrowseRows(const QList<ShelfRow>& rows);
    QList<ShelfRow> searchRows() const { return m_searchRows; }
    void setSearchRows(const QList<ShelfRow>& rows);

    // The rows and selection of the surface in use. The selection may name a row that has left the
    // list (a note deleted or restored from its actions row); see listedSelection().
    QList<ShelfRow> rows() const;
    std::optional<ShelfRow> selectedRow() const;
    // The selection when it is one of the current rows, else none. Everything the keys do to "the
    // selected row" goes through this: a row that has left the list is not acted on (a note just put
    // in the bin is neither pinned nor opened), and the keys behave as with nothing selected.
    std::optional<ShelfRow> listedSelection() const;
    // Writes the selection of the surface in use only.
    void setSelectedRow(const std::optional<ShelfRow>& row);

    // The query holds more than spaces and tabs (line breaks count as text).
    bool isSearching() const;

    // Moves the selection by delta rows, clamped to the list (no wrapping), and closes the actions row.
    // Nothing at all happens without rows.
    void moveSelection(int delta);
    // The next lens (Tab); does nothing while searching.
    void flipLens();
    // What Return does: open the selected row, or select the first one.
    Commit commit();
    // Opens or closes the actions row, selecting the first row when nothing is selected.
    void toggleActions();
    // Back to browsing, with the lens and browse selection as they were before the search.
    void exitSearch();
    // A freshly opened panel starts without selections and with the actions row closed.
    void resetSelections();

Q_SIGNALS:
    void surfaceChanged(ShelfSearchState::Surface surface);
    void queryChanged(const QString& query);
    void lensChanged(ShelfSearchState::Lens lens);
    void showActionsChanged(bool show);
    void actionIndexChanged(int index);
    void browseRowsChanged();
    void searchRowsChanged();
    // selectedRow() changed, by a new selection or by a switch of surface.
    void selectedRowChanged();

private:
    void setSelection(Surface surface, const std::optional<ShelfRow>& row);

    Settings& m_settings;
    Surface m_surface = Surface::browse;
    QString m_query;
    Lens m_lens = Lens::notes;
    std::optional<ShelfRow> m_browseSelection;
    std::optional<ShelfRow> m_searchSelection;
    bool m_showActions = false;
    int m_actionIndex = 0;
    QList<ShelfRow> m_browseRows;
    QList<ShelfRow> m_searchRows;
};
