#pragma once

#include <QAbstractListModel>
#include <QColor>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

#include "shelf/SearchSupport.h"
#include "shelf/ShelfRow.h"

class Capture;
class Clock;
class ManagedObject;
class Note;
class NoteStore;

// One list of the shelf: a lens (notes or captures in pinned and day groups, or the bin) or the search
// results (notes, then captures), with their headers and empty-state hints, behind one list model so
// that one view with one delegate draws any of them. Only the row identities are made when the list
// is built; what a row says is worked out when it is drawn and kept per object version, query and day.
//
// The flat rows are exactly the rows shown, top to bottom: what the keyboard walks.
class ShelfListModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum class Kind : quint8 {
        header,     // a group heading ("Pinned", a day, "Notes", "Captures")
        binHeader,  // "In the bin" with the "Empty bin" command
        note,
        capture,
        binNote,
        hint,     // an empty-state line
        actions,  // the actions row under the selected row
    };
    Q_ENUM(Kind)

    enum Role { KindRole = Qt::UserRole + 1 };

    struct Item {
        Kind kind = Kind::hint;
        ShelfRow row;                     // rows and the actions row (whose row it belongs to)
        ManagedObject* object = nullptr;  // the note or capture of a row
        int text = -1;                    // index into the heading and hint texts
    };

    // What one row shows; made when the row is first drawn.
    struct RowTexts {
        QString title;
        std::optional<QString> secondLine;
        std::optional<SearchSupport::Highlighted::Span> match;  // in secondLine, UTF-16 units
        QString source;     // a capture's source application, empty when it has none
        QString meta;       // the time stamp
        QString metaShort;  // the same with a short year, for a date of another year
        QString accessibleLabel;
        QColor badge;      // note and bin rows
        QString bundleID;  // capture rows
        bool pinned = false;
        bool locked = false;
        bool redacted = false;
        bool hasNote = false;  // a capture filed into a note
    };

    struct Hooks {
        // Whether a locked note is closed now; by default every locked note is.
        std::function<bool(const Note&)> isRedacted;
        // The badge colour of a note; by default the store's look of it.
        std::function<QColor(const Note&)> badge;
    };

    // Dates of rows are told relative to `clock`'s time.
    ShelfListModel(NoteStore& store, const Clock& clock, Hooks hooks, QObject* parent = nullptr);

    // ---- Building ----

    void showNotes(const QList<Note*>& active, const QString& hint);
    void showCaptures(const QList<Capture*>& captures, const QString& hint);
    void showBin(const QList<Note*>& trashed, const QString& hint);
    // The results of a search for `query`, or the prompt when `searching` is false. Ids of the results
    // that the search already knows are used as given (in result order); without them they are read.
    void showResults(const QString& query, bool searching, const QList<Note*>& notes, const QList<Capture*>& captures,
                     const QList<QUuid>& noteIDs = {}, const QList<QUuid>& captureIDs = {});

    const QList<ShelfRow>& flatRows() const { return m_flatRows; }
    bool inSearch() const { return m_inSearch; }
    const QString& query() const { return m_query; }

    // ---- Selection and the actions row (repaints only the rows concerned) ----

    void setSelectedRow(const std::optional<ShelfRow>& row);
    std::optional<ShelfRow> selectedRow() const { return m_selected; }
    // Shows the actions row under `row` (when it is a note or capture row of this list), or none.
    void setActionsRow(const std::optional<ShelfRow>& row);
    // The chip of the actions row that has the keyboard; -1 for none.
    void setFocusedAction(int chip);
    int focusedAction() const { return m_focusedAction; }
    // The item index of the actions row, -1 when none shows.
    int actionsItem() const;
    // Forgets the cached row texts, e.g. when a private note was opened or closed.
    void invalidateTexts();

    // ---- Reading ----

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    const Item& item(int index) const { return m_items[size_t(index)]; }
    // The heading or hint text of a header, bin header or hint item.
    QString text(int index) const;
    QString headerIcon(int index) const;
    RowTexts texts(int index) const;
    int indexOf(const ShelfRow& row) const;
    Note* note(int index) const;
    Capture* capture(int index) const;

private:
    struct Heading {
        QString text;
        QString icon;
    };
    struct Cached {
        quint64 version = 0;
        Kind kind = Kind::note;
        RowTexts texts;
    };

    template <class T>
    void showGrouped(Kind kind, const QList<T*>& objects, int dateAttribute, const QString& hint);
    void begin(bool inSearch);
    void end();
    int addHeading(const QString& text, const QString& icon = {});
    void addRow(Kind kind, ManagedObject* object, const ShelfRow& row);
    RowTexts makeTexts(const Item& item) const;

    NoteStore& m_store;
    const Clock& m_clock;
    Hooks m_hooks;
    std::vector<Item> m_items;
    std::vector<Heading> m_headings;
    QList<ShelfRow> m_flatRows;
    bool m_inSearch = false;
    QString m_query;
    std::optional<ShelfRow> m_selected;
    std::optional<ShelfRow> m_actionsFor;
    int m_focusedAction = -1;
    mutable QHash<const ManagedObject*, Cached> m_cache;
    mutable QString m_cacheQuery;
    // The day the cached texts were made on, as milliseconds since 1970: its start and the next day's.
    mutable qint64 m_cacheDayStart = 0, m_cacheDayEnd = 0;
};
