#include "shelf/ShelfListModel.h"

#include "model/Capture.h"
#include "model/Note.h"
#include "platform/Clock.h"
#include "shelf/ShelfDateGroup.h"
#include "shelf/ShelfTexts.h"
#include "store/NoteStore.h"

namespace {

// Row texts of objects no longer drawn are dropped once this many are kept.
constexpr qsizetype kCacheLimit = 2048;

// Stored values read in place: a list of a hundred thousand rows is built in the time of a few
// conversions per row. Required attributes always hold their storage type (ManagedObject normalises
// every value it is given or loads); anything else is converted.
template <typename T>
const T* storedAs(const QVariant& v)
{
    return v.data_ptr().type() == QMetaType::fromType<T>() ? static_cast<const T*>(v.constData()) : nullptr;
}

bool flagOf(const ManagedObject& object, int attribute)
{
    const QVariant& v = object.value(attribute);
    const bool* b = storedAs<bool>(v);
    return b ? *b : v.toBool();
}

qint64 msecsOf(const ManagedObject& object, int attribute)
{
    const QVariant& v = object.value(attribute);
    const QDateTime* d = storedAs<QDateTime>(v);
    return d ? d->toMSecsSinceEpoch() : v.toDateTime().toMSecsSinceEpoch();
}

QUuid uuidOf(const ManagedObject& object, int attribute)
{
    const QVariant& v = object.value(attribute);
    const QUuid* u = storedAs<QUuid>(v);
    return u ? *u : v.toUuid();
}

// What grouping and the row identities need of one stored object, read in one visit: on a long list
// the objects lie far apart in memory, and each visit costs more than the work done with it.
struct Entry {
    ManagedObject* object;
    qint64 ms;
    QUuid id;
    bool pinned;
    bool isPinned() const { return pinned; }
};

template <class T>
std::vector<Entry> entriesOf(const QList<T*>& objects, int dateAttribute)
{
    constexpr qsizetype kAhead = 8;  // fetched ahead, as in idsOf()
    std::vector<Entry> entries;
    entries.reserve(size_t(objects.size()));
    const qsizetype n = objects.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (i + 2 * kAhead < n) __builtin_prefetch(objects[i + 2 * kAhead]);
        if (i + kAhead < n) __builtin_prefetch(&objects[i + kAhead]->value(T::Uuid));
        T* o = objects[i];
        entries.push_back({o, msecsOf(*o, dateAttribute), uuidOf(*o, T::Uuid), flagOf(*o, T::IsPinned)});
    }
    return entries;
}

QList<Entry*> pointersTo(std::vector<Entry>& entries)
{
    QList<Entry*> list;
    list.reserve(qsizetype(entries.size()));
    for (Entry& e : entries) list.push_back(&e);
    return list;
}

// The ids of a list of stored objects. The objects lie far apart in memory, so each one and then its
// values are fetched ahead of use: the reads overlap instead of waiting one after another.
template <class T>
QList<QUuid> idsOf(const QList<T*>& objects)
{
    constexpr qsizetype kAhead = 8;
    QList<QUuid> ids;
    ids.resize(objects.size());
    const qsizetype n = objects.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (i + 2 * kAhead < n) __builtin_prefetch(objects[i + 2 * kAhead]);
        if (i + kAhead < n) __builtin_prefetch(&objects[i + kAhead]->value(T::Uuid));
        ids[i] = uuidOf(*objects[i], T::Uuid);
    }
    return ids;
}

bool isRow(ShelfListModel::Kind kind)
{
    using K = ShelfListModel::Kind;
    return kind == K::note || kind == K::capture || kind == K::binNote;
}

}  // namespace

ShelfListModel::ShelfListModel(NoteStore& store, const Clock& clock, Hooks hooks, QObject* parent)
    : QAbstractListModel(parent), m_store(store), m_clock(clock), m_hooks(std::move(hooks))
{
    if (!m_hooks.isRedacted) m_hooks.isRedacted = [](const Note& note) { return note.isLocked(); };
    if (!m_hooks.badge) m_hooks.badge = [this](const Note& note) { return m_store.look(note).theme.badge(); };
}

void ShelfListModel::begin(bool inSearch)
{
    beginResetModel();
    m_items.clear();
    m_headings.clear();
    m_flatRows.clear();
    m_inSearch = inSearch;
    if (!inSearch) m_query.clear();
}

void ShelfListModel::end()
{
    if (m_actionsFor) {
        const int at = indexOf(*m_actionsFor);
        if (at >= 0 && m_items[size_t(at)].kind != Kind::binNote)
            m_items.insert(m_items.begin() + at + 1, Item{Kind::actions, *m_actionsFor, nullptr, -1});
        else
            m_actionsFor.reset();
    }
    endResetModel();
}

int ShelfListModel::addHeading(const QString& text, const QString& icon)
{
    m_headings.push_back({text, icon});
    return int(m_headings.size()) - 1;
}

void ShelfListModel::addRow(Kind kind, ManagedObject* object, const ShelfRow& row)
{
    m_items.push_back({kind, row, object, -1});
    m_flatRows.push_back(row);
}

void ShelfListModel::showNotes(const QList<Note*>& active, const QString& hint)
{
    showGrouped(Kind::note, active, Note::UpdatedAt, hint);
}

void ShelfListModel::showCaptures(const QList<Capture*>& captures, const QString& hint)
{
    showGrouped(Kind::capture, captures, Capture::CreatedAt, hint);
}

template <class T>
void ShelfListModel::showGrouped(Kind kind, const QList<T*>& objects, int dateAttribute, const QString& hint)
{
    begin(false);
    std::vector<Entry> entries = entriesOf(objects, dateAttribute);
    const auto groups = ShelfDateGroup::grouped(
        pointersTo(entries), [](const Entry& e) { return e.ms; }, [](const Entry& e) { return e.pinned; },
        m_clock.now());
    m_items.reserve(entries.size() + size_t(groups.size()) + 1);
    m_flatRows.reserve(qsizetype(entries.size()));
    for (const auto& group : groups) {
        if (group.items.isEmpty()) continue;
        m_items.push_back({Kind::header, {}, nullptr, addHeading(group.title, group.icon)});
        for (const Entry* e : group.items)
            addRow(kind, e->object, kind == Kind::note ? ShelfRow::note(e->id) : ShelfRow::capture(e->id));
    }
    if (m_flatRows.isEmpty()) m_items.push_back({Kind::hint, {}, nullptr, addHeading(hint)});
    end();
}

void ShelfListModel::showBin(const QList<Note*>& trashed, const QString& hint)
{
    begin(false);
    m_items.reserve(size_t(trashed.size() + 1));
    m_flatRows.reserve(trashed.size());
    if (trashed.isEmpty()) {
        m_items.push_back({Kind::hint, {}, nullptr, addHeading(hint)});
    } else {
        m_items.push_back(
            {Kind::binHeader, {}, nullptr, addHeading(QStringLiteral("In the bin"), QStringLiteral("trash"))});
        for (Note* note : trashed) addRow(Kind::binNote, note, ShelfRow::binNote(uuidOf(*note, Note::Uuid)));
    }
    end();
}

void ShelfListModel::showResults(const QString& query, bool searching, const QList<Note*>& notes,
                                 const QList<Capture*>& captures, const QList<QUuid>& noteIDs,
                                 const QList<QUuid>& captureIDs)
{
    begin(true);
    m_query = query;
    if (!searching) {
        m_items.push_back({Kind::hint, {}, nullptr, addHeading(ShelfTexts::searchPrompt())});
        end();
        return;
    }
    m_items.reserve(size_t(notes.size() + captures.size() + 2));
    m_flatRows.reserve(notes.size() + captures.size());
    if (!notes.isEmpty()) {
        m_items.push_back({Kind::header, {}, nullptr, addHeading(QStringLiteral("Notes"))});
        const QList<QUuid> ids = noteIDs.size() == notes.size() ? noteIDs : idsOf(notes);
        for (qsizetype i = 0; i < notes.size(); ++i) addRow(Kind::note, notes[i], ShelfRow::note(ids[i]));
    }
    if (!captures.isEmpty()) {
        m_items.push_back({Kind::header, {}, nullptr, addHeading(QStringLiteral("Captures"))});
        const QList<QUuid> ids = captureIDs.size() == captures.size() ? captureIDs : idsOf(captures);
        for (qsizetype i = 0; i < captures.size(); ++i) addRow(Kind::capture, captures[i], ShelfRow::capture(ids[i]));
    }
    if (m_flatRows.isEmpty()) m_items.push_back({Kind::hint, {}, nullptr, addHeading(ShelfTexts::noMatch(query))});
    end();
}

void ShelfListModel::setSelectedRow(const std::optional<ShelfRow>& row)
{
    if (row == m_selected) return;
    const int before = m_selected ? indexOf(*m_selected) : -1;
    m_selected = row;
    const int after = row ? indexOf(*row) : -1;
    for (const int i : {before, after})
        if (i >= 0) Q_EMIT dataChanged(index(i), index(i));
}

void ShelfListModel::setActionsRow(const std::optional<ShelfRow>& row)
{
    if (row == m_actionsFor) return;
    if (m_actionsFor) {
        const int at = indexOf(*m_actionsFor);
        if (at >= 0 && at + 1 < int(m_items.size()) && m_items[size_t(at + 1)].kind == Kind::actions) {
            beginRemoveRows({}, at + 1, at + 1);
            m_items.erase(m_items.begin() + at + 1);
            endRemoveRows();
        }
        m_actionsFor.reset();
    }
    if (!row) return;
    const int at = indexOf(*row);
    if (at < 0 || m_items[size_t(at)].kind == Kind::binNote) return;
    beginInsertRows({}, at + 1, at + 1);
    m_items.insert(m_items.begin() + at + 1, Item{Kind::actions, *row, nullptr, -1});
    m_actionsFor = row;
    endInsertRows();
}

int ShelfListModel::actionsItem() const
{
    if (!m_actionsFor) return -1;
    const int at = indexOf(*m_actionsFor);
    return at >= 0 && at + 1 < int(m_items.size()) && m_items[size_t(at + 1)].kind == Kind::actions ? at + 1 : -1;
}

void ShelfListModel::setFocusedAction(int chip)
{
    if (chip == m_focusedAction) return;
    m_focusedAction = chip;
    if (const int at = actionsItem(); at >= 0) Q_EMIT dataChanged(index(at), index(at));
}

void ShelfListModel::invalidateTexts()
{
    m_cache.clear();
    if (!m_items.empty()) Q_EMIT dataChanged(index(0), index(int(m_items.size()) - 1));
}

int ShelfListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_items.size());
}

QVariant ShelfListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= int(m_items.size())) return {};
    const Item& it = m_items[size_t(index.row())];
    switch (role) {
        case KindRole:
            return int(it.kind);
        case Qt::DisplayRole:
            return isRow(it.kind) ? texts(index.row()).title : text(index.row());
        case Qt::AccessibleTextRole:
            return isRow(it.kind) ? texts(index.row()).accessibleLabel : text(index.row());
        case Qt::AccessibleDescriptionRole: {
            // The lock's state, which the row shows only as an icon.
            if (it.kind != Kind::note) return {};
            const RowTexts t = texts(index.row());
            if (!t.locked) return {};
            return t.redacted ? QStringLiteral("Locked") : QStringLiteral("Unlocked for now");
        }
        default:
            return {};
    }
}

QString ShelfListModel::text(int index) const
{
    const Item& it = m_items[size_t(index)];
    return it.text >= 0 ? m_headings[size_t(it.text)].text : QString();
}

QString ShelfListModel::headerIcon(int index) const
{
    const Item& it = m_items[size_t(index)];
    return it.text >= 0 ? m_headings[size_t(it.text)].icon : QString();
}

int ShelfListModel::indexOf(const ShelfRow& row) const
{
    for (size_t i = 0; i < m_items.size(); ++i)
        if (isRow(m_items[i].kind) && m_items[i].row == row) return int(i);
    return -1;
}

Note* ShelfListModel::note(int index) const
{
    const Item& it = m_items[size_t(index)];
    return it.kind == Kind::note || it.kind == Kind::binNote ? static_cast<Note*>(it.object) : nullptr;
}

Capture* ShelfListModel::capture(int index) const
{
    const Item& it = m_items[size_t(index)];
    return it.kind == Kind::capture ? static_cast<Capture*>(it.object) : nullptr;
}

ShelfListModel::RowTexts ShelfListModel::texts(int index) const
{
    const Item& it = m_items[size_t(index)];
    if (!isRow(it.kind) || !it.object) return {};
    if (m_cacheQuery != m_query) {
        m_cache.clear();
        m_cacheQuery = m_query;
    }
    // A row's time stamp names today by the clock and other days by their date: texts made on another
    // day are stale even though their object has not changed.
    const qint64 nowMs = m_clock.now().toMSecsSinceEpoch();
    if (nowMs < m_cacheDayStart || nowMs >= m_cacheDayEnd) {
        m_cache.clear();
        const QTimeZone zone = QTimeZone::systemTimeZone();
        const QDate today = QDateTime::fromMSecsSinceEpoch(nowMs, Qt::UTC).toTimeZone(zone).date();
        m_cacheDayStart = today.startOfDay(zone).toMSecsSinceEpoch();
        m_cacheDayEnd = today.addDays(1).startOfDay(zone).toMSecsSinceEpoch();
    }
    const auto found = m_cache.constFind(it.object);
    if (found != m_cache.constEnd() && found->version == it.object->version() && found->kind == it.kind)
        return found->texts;
    if (m_cache.size() >= kCacheLimit) m_cache.clear();
    Cached& c = m_cache[it.object];
    c.version = it.object->version();
    c.kind = it.kind;
    c.texts = makeTexts(it);
    return c.texts;
}

ShelfListModel::RowTexts ShelfListModel::makeTexts(const Item& it) const
{
    RowTexts t;
    const QDateTime now = m_clock.now();
    if (it.kind == Kind::capture) {
        const auto& capture = *static_cast<const Capture*>(it.object);
        const QString first = ShelfTexts::firstLine(capture.text());
        t.title = ShelfTexts::drawable(first);
        const auto snippet = ShelfTexts::captureSnippet(capture, m_query, m_inSearch);
        if (snippet) {
            t.secondLine = ShelfTexts::drawable(*snippet);
            t.match = SearchSupport::highlight(*t.secondLine, m_query).stronglyEmphasized;
        }
        const auto source = capture.sourceApp();
        t.source = source ? ShelfTexts::drawable(*source) : QString();
        t.meta = ShelfDateGroup::compactTime(capture.createdAt(), now);
        t.metaShort = ShelfDateGroup::compactTimeShortYear(capture.createdAt(), now);
        t.accessibleLabel = ShelfTexts::rowLabel(first, source, snippet);
        t.bundleID = capture.sourceBundleID().value_or(QString());
        t.pinned = capture.isPinned();
        t.hasNote = capture.noteUUID().has_value();
        return t;
    }
    const auto& note = *static_cast<const Note*>(it.object);
    const QString title = ShelfTexts::noteTitle(note);
    t.title = ShelfTexts::drawable(title);
    t.badge = m_hooks.badge(note);
    t.locked = note.isLocked();
    t.redacted = t.locked && m_hooks.isRedacted(note);
    t.pinned = note.isPinned();
    if (it.kind == Kind::binNote) {
        const auto deleted = note.deletedAt();
        t.meta = deleted ? ShelfDateGroup::compactTime(*deleted, now) : QString();
        t.metaShort = deleted ? ShelfDateGroup::compactTimeShortYear(*deleted, now) : QString();
        t.accessibleLabel = t.title;
        return t;
    }
    const auto snippet = ShelfTexts::noteSnippet(note, m_query, m_inSearch);
    if (snippet) {
        t.secondLine = ShelfTexts::drawable(*snippet);
        t.match = SearchSupport::highlight(*t.secondLine, m_query).stronglyEmphasized;
    }
    // The time of day only, whatever the day: compared with itself, the date is always "today".
    t.meta = ShelfDateGroup::compactTime(note.updatedAt(), note.updatedAt());
    t.metaShort = t.meta;
    t.accessibleLabel = ShelfTexts::rowLabel(title, std::nullopt, snippet);
    return t;
}
