#include "platform/ModelContext.h"

#include <sqlite3.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTimer>
#include <algorithm>
#include <limits>
#include <thread>

#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/PrivateFiles.h"
#include "platform/SqliteDatabase.h"
#include "platform/StoreRowReader.h"

namespace {
template <typename T>
const T& as(const QVariant& v)
{
    return *static_cast<const T*>(v.constData());
}

template <typename T>
int threeWay(const T& a, const T& b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

// Orders two values of one attribute; none sorts first. Values are held normalised to their
// attribute's type, but a foreign value is compared through conversion rather than trusted.
int compareValues(AttributeType type, const QVariant& a, const QVariant& b)
{
    if (!a.isValid() || !b.isValid()) return int(a.isValid()) - int(b.isValid());
    switch (type) {
        case AttributeType::String:
            if (a.typeId() == QMetaType::QString && b.typeId() == QMetaType::QString)
                return QString::compare(as<QString>(a), as<QString>(b));
            return QString::compare(a.toString(), b.toString());
        case AttributeType::Bool:
            return threeWay(a.toBool(), b.toBool());
        case AttributeType::Int:
            return threeWay(a.toLongLong(), b.toLongLong());
        case AttributeType::Double:
            return threeWay(a.toDouble(), b.toDouble());
        case AttributeType::Date:
            if (a.typeId() == QMetaType::QDateTime && b.typeId() == QMetaType::QDateTime)
                return threeWay(as<QDateTime>(a).toMSecsSinceEpoch(), as<QDateTime>(b).toMSecsSinceEpoch());
            return threeWay(a.toDateTime().toMSecsSinceEpoch(), b.toDateTime().toMSecsSinceEpoch());
        case AttributeType::Uuid:
            return QString::compare(a.toUuid().toString(QUuid::WithoutBraces),
                                    b.toUuid().toString(QUuid::WithoutBraces), Qt::CaseInsensitive);
        case AttributeType::Data:
            return threeWay(a.toByteArray(), b.toByteArray());
        case AttributeType::StringList:
            return threeWay(a.toStringList(), b.toStringList());
        case AttributeType::Url:
            return QString::compare(a.toUrl().toString(), b.toUrl().toString());
    }
    return 0;
}

bool isNumeric(AttributeType type)
{
    return type == AttributeType::Bool || type == AttributeType::Int || type == AttributeType::Double ||
           type == AttributeType::Date;
}

// Sorts stably by the descriptors. A numeric first key (dates, mostly) is read out once per object
// into a flat array, so the comparisons of a large sort touch neither the objects nor QVariants.
void sortObjects(QList<ManagedObject*>& objects, const EntityDescription& entity, const QVector<SortDescriptor>& sort)
{
    const QVector<AttributeDescription>& attributes = entity.attributes;
    auto compareRest = [&](const ManagedObject* a, const ManagedObject* b, qsizetype from) {
        for (qsizetype k = from; k < sort.size(); ++k) {
            const SortDescriptor& d = sort[k];
            const int c = compareValues(attributes[d.attribute].type, a->value(d.attribute), b->value(d.attribute));
            if (c != 0) return d.ascending ? c < 0 : c > 0;
        }
        return false;
    };
    const SortDescriptor first = sort.first();
    const AttributeType type = attributes[first.attribute].type;
    if (!isNumeric(type)) {
        std::stable_sort(objects.begin(), objects.end(),
                         [&](const ManagedObject* a, const ManagedObject* b) { return compareRest(a, b, 0); });
        return;
    }
    struct Keyed {
        ManagedObject* object;
        qint64 integer;
        double real;
        bool present;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(size_t(objects.size()));
    for (ManagedObject* o : std::as_const(objects)) {
        const QVariant& v = o->value(first.attribute);
        Keyed k{o, 0, 0.0, v.isValid()};
        if (k.present) {
            if (type == AttributeType::Double)
                k.real = v.toDouble();
            else if (type == AttributeType::Date)
                k.integer = v.typeId() == QMetaType::QDateTime ? as<QDateTime>(v).toMSecsSinceEpoch()
                                                               : v.toDateTime().toMSecsSinceEpoch();
            else
                k.integer = v.toLongLong();
        }
        keyed.push_back(k);
    }
    const bool real = type == AttributeType::Double;
    std::stable_sort(keyed.begin(), keyed.end(), [&](const Keyed& a, const Keyed& b) {
        int c = int(a.present) - int(b.present);
        if (c == 0 && a.present) c = real ? threeWay(a.real, b.real) : threeWay(a.integer, b.integer);
        if (c != 0) return first.ascending ? c < 0 : c > 0;
        return compareRest(a.object, b.object, 1);
    });
    for (qsizetype i = 0; i < objects.size(); ++i) objects[i] = keyed[size_t(i)].object;
}

// The value a non-optional attribute takes when its column holds NULL (a row written by another
// program, or a column this build has just added).
QVariant fallbackValue(const AttributeDescription& a)
{
    if (a.defaultValue.isValid()) return ManagedObject::normalized(a.type, a.defaultValue);
    switch (a.type) {
        case AttributeType::Uuid:
            return QVariant(QUuid());
        case AttributeType::String:
            return QVariant(QString());
        case AttributeType::Bool:
            return QVariant(false);
        case AttributeType::Int:
            return QVariant::fromValue<qint64>(0);
        case AttributeType::Double:
            return QVariant(0.0);
        case AttributeType::Date:
            return QVariant(QDateTime::fromMSecsSinceEpoch(0, Qt::UTC));
        case AttributeType::Data:
            return QVariant(QByteArray());
        case AttributeType::StringList:
            return QVariant(QStringList());
        case AttributeType::Url:
            return QVariant(QUrl());
    }
    return QVariant();
}
}  // namespace

// What one save writes. The values are copies of the objects' arrays (shared, so cheap to take), and
// the statements are built beforehand: the transaction reads neither the objects nor the context.
struct ModelContext::Write {
    struct Deletion {
        ManagedObject* object;
        qint64 rowID;
        QByteArray sql;
    };
    struct Insertion {
        ManagedObject* object;
        quint64 version;
        QByteArray sql;
        QVector<AttributeDescription> attributes;
        QVector<QVariant> values;
        QVector<QVariant> stored;     // what the row gets, when not `values` (see StoredForm)
        quint64 storedOtherwise = 0;  // the attributes `stored` replaced
        qint64 rowID = 0;             // once written
    };
    struct Update {
        ManagedObject* object;
        quint64 version;
        qint64 rowID;
        QByteArray sql;
        QVector<AttributeType> types;  // of `columns`
        QVector<int> columns;
        QVector<QVariant> values;
        QVector<QVariant> stored;
        quint64 storedOtherwise = 0;
    };
    std::vector<Deletion> deletions;
    std::vector<Insertion> insertions;
    std::vector<Update> updates;
    qint64 bytes = 0;
    // While getting the store a file again stands failed, fails with that cause rather than copying
    // the whole store once more: autosaves, and a save whose wait for a running write already tried.
    bool leavesKeepToRetry = false;

    // A write in the background: its thread, and what the transaction came to.
    quint64 serial = 0;
    std::thread thread;
    Status<StoreError> outcome;
};

ModelContext::ModelContext(const Schema& schema, SqliteDatabase& database, QObject* parent)
    : QObject(parent), m_schema(schema), m_db(database)
{
    m_states.reserve(size_t(schema.entities.size()));
    for (const EntityDescription* e : schema.entities) {
        EntityState s;
        s.entity = e;
        QByteArray columns = "\"_rowid\"";
        QByteArray names;
        QByteArray params;
        for (int i = 0; i < e->attributes.size(); ++i) {
            const AttributeDescription& a = e->attributes[i];
            // Large values stay in the store until asked for; the load reads only whether one is there.
            const bool lazy = a.isLoadedOnAccess() && i < 64;
            if (lazy) s.lazy |= quint64(1) << i;
            columns +=
                ',' + (lazy ? '(' + SqliteDatabase::quoted(a.name) + " IS NOT NULL)" : SqliteDatabase::quoted(a.name));
            if (!names.isEmpty()) {
                names += ',';
                params += ',';
            }
            names += SqliteDatabase::quoted(a.name);
            params += '?';
        }
        const QByteArray table = SqliteDatabase::quoted(e->name);
        s.selectSql = "SELECT " + columns + " FROM " + table + " ORDER BY \"_rowid\"";
        s.insertSql = "INSERT INTO " + table + " (" + names + ") VALUES (" + params + ")";
        for (int i = 0; i < e->attributes.size(); ++i)
            if (e->attributes[i].indexed && e->attributes[i].type == AttributeType::Uuid)
                s.indexes.push_back(UuidIndex{i, {}});
        m_stateIndex.insert(e, int(m_states.size()));
        m_states.push_back(std::move(s));
    }
}

QString ModelContext::storePath() const
{
    return m_db.isInMemory() ? QString() : m_db.path();
}

ModelContext::~ModelContext()
{
    // Its outcome has no one left to tell; the connection must not be in use when it closes.
    if (m_write) m_write->thread.join();
    for (ManagedObject* o : m_owned) {
        o->m_context = nullptr;
        delete o;
    }
}

ModelContext::EntityState* ModelContext::stateFor(const EntityDescription& entity)
{
    const auto it = m_stateIndex.constFind(&entity);
    return it == m_stateIndex.constEnd() ? nullptr : &m_states[size_t(*it)];
}

void ModelContext::insert(ManagedObject* object)
{
    if (!object || object->m_context) return;
    m_owned.push_back(object);
    object->m_context = this;
    EntityState* state = stateFor(object->entity());
    if (!state) {
        qCCritical(Log::store, "Insert of an object of entity %s, which the schema does not hold; it will not be saved",
                   qUtf8Printable(object->entity().name));
        object->m_deleted = true;
        return;
    }
    object->m_insertSerial = ++m_insertSerial;
    ++m_changeCount;
    state->inserted.push_back(object);
    if (state->lazy) holdsLargeValues(object);
    if (state->loaded) addToIndexes(*state, object);
    scheduleAutosave();
}

void ModelContext::remove(ManagedObject* object)
{
    if (!object || object->m_context != this || object->m_deleted) return;
    // A deleted object stays readable for whoever still holds it; its row will not be there.
    for (int i = 0; object->m_unloaded && i < 64; ++i)
        if (object->m_unloaded & (quint64(1) << i)) object->loadValue(i);
    object->m_deleted = true;
    ++m_changeCount;
    m_changed.remove(object);
    EntityState* state = stateFor(object->entity());
    if (state && state->loaded) removeFromIndexes(*state, object);
    if (object->m_rowID == 0) {
        if (state)
            state->inserted.erase(std::remove(state->inserted.begin(), state->inserted.end(), object),
                                  state->inserted.end());
    } else {
        m_deleted.insert(object);
    }
    scheduleAutosave();
}

void ModelContext::rewrite(ManagedObject* object)
{
    if (object->m_deleted || object->m_rowID == 0 || !object->m_storedOtherwise) return;
    object->m_rewrite = true;
    objectDidChange(object);
}

void ModelContext::objectDidChange(ManagedObject* object)
{
    if (object->m_deleted) return;
    ++m_changeCount;
    if (object->m_rowID != 0) m_changed.insert(object);
    scheduleAutosave();
}

namespace {
QUuid indexKey(const QVariant& v)
{
    return v.typeId() == QMetaType::QUuid ? *static_cast<const QUuid*>(v.constData()) : QUuid();
}
}  // namespace

void ModelContext::addToIndexes(EntityState& state, ManagedObject* object)
{
    for (UuidIndex& index : state.indexes) {
        index.objects[indexKey(object->m_values.at(index.attribute))].append(object);
        ++index.entries;
    }
}

bool ModelContext::mayShareValues(const EntityDescription& entity, int attribute)
{
    const EntityState* state = stateFor(entity);
    if (!state || !state->loaded) return true;
    for (const UuidIndex& index : state->indexes)
        if (index.attribute == attribute) return index.objects.size() != index.entries;
    return true;
}

void ModelContext::removeFromIndexes(EntityState& state, ManagedObject* object)
{
    for (UuidIndex& index : state.indexes) {
        auto it = index.objects.find(indexKey(object->m_values.at(index.attribute)));
        if (it == index.objects.end()) continue;
        auto& list = *it;
        for (qsizetype i = 0; i < list.size(); ++i)
            if (list[i] == object) {
                list.remove(i);
                --index.entries;
                break;
            }
        if (list.isEmpty()) index.objects.erase(it);
    }
}

void ModelContext::indexedValueWillChange(ManagedObject* object, int attribute, const QVariant& from,
                                          const QVariant& to)
{
    if (object->m_deleted) return;
    EntityState* state = stateFor(object->entity());
    if (!state || !state->loaded) return;
    for (UuidIndex& index : state->indexes) {
        if (index.attribute != attribute) continue;
        const QUuid oldKey = indexKey(from);
        const QUuid newKey = indexKey(to);
        if (oldKey == newKey) return;
        if (auto it = index.objects.find(oldKey); it != index.objects.end()) {
            if (it->removeOne(object)) --index.entries;
            if (it->isEmpty()) index.objects.erase(it);
        }
        index.objects[newKey].append(object);
        ++index.entries;
    }
}

QVariant ModelContext::storedValue(const ManagedObject& object, int attribute)
{
    waitForWrite();
    const AttributeDescription& a = object.entity().attributes[attribute];
    auto s = m_db.cached("SELECT " + SqliteDatabase::quoted(a.name) + " FROM " +
                         SqliteDatabase::quoted(object.entity().name) + " WHERE \"_rowid\" = ?");
    if (!s) {
        qCCritical(Log::store, "Reading %s failed: %s", qUtf8Printable(a.name),
                   qUtf8Printable(s.error().description()));
        return QVariant();
    }
    sqlite3_bind_int64(*s, 1, object.rowID());
    QVariant v;
    const int rc = sqlite3_step(*s);
    if (rc == SQLITE_ROW)
        v = SqliteDatabase::columnValue(*s, 0, a.type);
    else if (rc != SQLITE_DONE)
        qCCritical(Log::store, "Reading %s failed: %s", qUtf8Printable(a.name),
                   qUtf8Printable(m_db.error(rc, QString()).description()));
    sqlite3_reset(*s);
    return v.isValid() || a.optional ? v : fallbackValue(a);
}

QVector<QVariant> ModelContext::peekValues(const QList<ManagedObject*>& objects, int attribute)
{
    QVector<QVariant> out(objects.size());
    QHash<qint64, qsizetype> unread;
    qint64 lowest = std::numeric_limits<qint64>::max(), highest = 0;
    const quint64 bit = quint64(1) << attribute;
    for (qsizetype i = 0; i < objects.size(); ++i) {
        if (objects[i]->m_unloaded & bit) {
            const qint64 row = objects[i]->m_rowID;
            unread.insert(row, i);
            lowest = std::min(lowest, row);
            highest = std::max(highest, row);
        } else
            out[i] = objects[i]->m_values.at(attribute);
    }
    if (unread.isEmpty()) return out;
    waitForWrite();
    const EntityDescription& entity = objects.first()->entity();
    const AttributeDescription& a = entity.attributes[attribute];
    // A few rows are read one by one; many in one scan of the table.
    if (unread.size() < 64) {
        for (auto it = unread.cbegin(); it != unread.cend(); ++it)
            out[it.value()] = storedValue(*objects[it.value()], attribute);
        return out;
    }
    auto s = m_db.cached("SELECT \"_rowid\"," + SqliteDatabase::quoted(a.name) + " FROM " +
                         SqliteDatabase::quoted(entity.name) + " WHERE \"_rowid\" BETWEEN ? AND ? AND " +
                         SqliteDatabase::quoted(a.name) + " IS NOT NULL");
    if (!s) {
        qCCritical(Log::store, "Reading %s failed: %s", qUtf8Printable(a.name),
                   qUtf8Printable(s.error().description()));
        return out;
    }
    // Callers that read in slices pass rows in row order, so each slice reads only its own stretch.
    sqlite3_bind_int64(*s, 1, lowest);
    sqlite3_bind_int64(*s, 2, highest);
    int rc;
    while ((rc = sqlite3_step(*s)) == SQLITE_ROW) {
        const auto it = unread.constFind(sqlite3_column_int64(*s, 0));
        if (it != unread.constEnd()) out[it.value()] = SqliteDatabase::columnValue(*s, 1, a.type);
    }
    if (rc != SQLITE_DONE)
        qCCritical(Log::store, "Reading %s failed: %s", qUtf8Printable(a.name),
                   qUtf8Printable(m_db.error(rc, QString()).description()));
    sqlite3_reset(*s);
    return out;
}

void ModelContext::holdsLargeValues(ManagedObject* object)
{
    if (object->m_holdsLarge) return;
    object->m_holdsLarge = true;
    m_holdingLarge.push_back(object);
}

void ModelContext::releaseLargeValues()
{
    // Only the objects that were given a large value since the last time: on a large store most rows
    // were never read beyond their list columns.
    std::vector<ManagedObject*> kept;
    for (ManagedObject* o : m_holdingLarge) {
        if (o->releaseLargeValues())
            kept.push_back(o);
        else
            o->m_holdsLarge = false;
    }
    m_holdingLarge = std::move(kept);
}

Result<QList<ManagedObject*>, StoreError> ModelContext::objectsWith(const EntityDescription& entity, int attribute,
                                                                    const QUuid& id)
{
    EntityState* state = stateFor(entity);
    if (!state) return StoreError{0, QStringLiteral("The schema has no entity %1").arg(entity.name), m_db.path()};
    if (!state->loaded)
        if (auto loaded = load(*state); !loaded) return loaded.error();
    const auto index = std::find_if(state->indexes.begin(), state->indexes.end(),
                                    [attribute](const UuidIndex& i) { return i.attribute == attribute; });
    if (index == state->indexes.end())
        return fetch(entity, FetchRequest{[attribute, &id](const ManagedObject& o) {
                                              return indexKey(o.value(attribute)) == id && o.value(attribute).isValid();
                                          },
                                          {},
                                          std::nullopt});
    if (id.isNull()) {
        // Null and none share the key; only a stored null UUID matches a null UUID.
        QList<ManagedObject*> out;
        for (ManagedObject* o : index->objects.value(id))
            if (o->m_values.at(attribute).isValid()) out.append(o);
        return out;
    }
    QList<ManagedObject*> out;
    if (auto it = index->objects.constFind(id); it != index->objects.constEnd())
        for (ManagedObject* o : *it) out.append(o);
    if (out.size() > 1)
        // Store order: saved rows by row id (the order they were loaded or saved in), then inserts.
        std::sort(out.begin(), out.end(), [](const ManagedObject* a, const ManagedObject* b) {
            if ((a->m_rowID == 0) != (b->m_rowID == 0)) return b->m_rowID == 0;
            if (a->m_rowID != b->m_rowID) return a->m_rowID < b->m_rowID;
            return a->m_insertSerial < b->m_insertSerial;
        });
    return out;
}

// Stored rows as a helper read them, before their objects are made: each row's values already in the
// array its object will hold, so the main thread only hands them over.
struct ModelContext::ReadRows {
    std::vector<qint64> rowIDs;
    std::vector<quint64> unloaded;
    std::vector<QVector<QVariant>> values;
};

// Reads the row the statement stands on into `values` (one slot per attribute): large values only as
// present or not, a NULL in a non-optional attribute as its fallback. Returns the large values left in
// the store.
quint64 ModelContext::readRow(sqlite3_stmt* s, const QVector<AttributeDescription>& attributes, quint64 lazy,
                              const QVector<QVariant>& fallbacks, QVariant* values)
{
    quint64 unloaded = 0;
    for (int i = 0; i < attributes.size(); ++i) {
        if (lazy & (quint64(1) << i)) {
            if (sqlite3_column_int(s, i + 1)) {
                unloaded |= quint64(1) << i;
                values[i] = QVariant();
            } else {
                values[i] = fallbacks[i];
            }
            continue;
        }
        QVariant v = SqliteDatabase::columnValue(s, i + 1, attributes[i].type);
        values[i] = v.isValid() ? std::move(v) : fallbacks[i];
    }
    return unloaded;
}

namespace {
// Tables smaller than this are read on the main thread alone: starting helpers costs more.
constexpr qint64 kParallelRows = 16384;
}  // namespace

// A large table of a store in a file is read by a few helpers at once, each over a stretch of row ids
// with a read-only connection of its own, while the main connection holds the write lock so that no
// other process can commit in between: every stretch then comes from the same state of the store. The
// objects are made here, in row order. None when the table is small or the helpers cannot be used (a
// store in memory, a transaction open, the lock or a connection not had): then the caller reads it alone.
auto ModelContext::readInParallel(const EntityState& state, const QVector<QVariant>& fallbacks)
    -> std::optional<std::vector<ReadRows>>
{
    if (m_db.isInMemory() || sqlite3_get_autocommit(m_db.handle()) == 0) return std::nullopt;
    const QByteArray table = SqliteDatabase::quoted(state.entity->name);
    // Never waited for: another writer at work means reading alone, now.
    sqlite3_busy_timeout(m_db.handle(), 0);
    const bool locked = bool(m_db.exec("BEGIN IMMEDIATE"));
    sqlite3_busy_timeout(m_db.handle(), SqliteDatabase::kBusyTimeoutMs);
    if (!locked) return std::nullopt;
    auto release = qScopeGuard([this] { m_db.exec("COMMIT"); });
    // The helpers open the file at the path: another file there is not the one this connection reads.
    if (!m_db.checkStillAtPath()) return std::nullopt;
    qint64 lowest = 0, highest = -1;
    if (auto bounds = m_db.cached("SELECT (SELECT min(\"_rowid\") FROM " + table + "), (SELECT max(\"_rowid\") FROM " +
                                  table + ")");
        bounds) {
        if (sqlite3_step(*bounds) == SQLITE_ROW) {
            lowest = sqlite3_column_int64(*bounds, 0);
            highest = sqlite3_column_int64(*bounds, 1);
        }
        sqlite3_reset(*bounds);
    }
    if (highest - lowest + 1 < kParallelRows) return std::nullopt;

    const int helpers = int(std::clamp(std::thread::hardware_concurrency() / 2, 2u, 4u));
    const QByteArray sql = state.selectSql.left(state.selectSql.indexOf(" ORDER BY")) +
                           " WHERE \"_rowid\" BETWEEN ? AND ? ORDER BY \"_rowid\"";
    std::vector<ReadRows> parts(static_cast<size_t>(helpers));
    const size_t width = size_t(state.entity->attributes.size());
    const size_t expected = size_t(std::min<qint64>((highest - lowest) / helpers + 1, 65536));
    for (ReadRows& rows : parts) {
        rows.rowIDs.reserve(expected);
        rows.unloaded.reserve(expected);
        rows.values.reserve(expected);
    }
    const auto read =
        StoreRowReader::readStretches(m_db.path(), sql, lowest, highest, helpers, [&](int part, sqlite3_stmt* s) {
            ReadRows& rows = parts[size_t(part)];
            rows.rowIDs.push_back(sqlite3_column_int64(s, 0));
            QVector<QVariant>& values = rows.values.emplace_back(qsizetype(width));
            rows.unloaded.push_back(readRow(s, state.entity->attributes, state.lazy, fallbacks, values.data()));
        });
    if (!read) return std::nullopt;
    return parts;
}

Status<StoreError> ModelContext::load(EntityState& state)
{
    // Rows being written would otherwise be read as objects of their own.
    waitForWrite();
    const QVector<AttributeDescription>& attributes = state.entity->attributes;
    QVector<QVariant> fallbacks;
    for (const AttributeDescription& a : attributes) fallbacks.append(a.optional ? QVariant() : fallbackValue(a));

    std::vector<ManagedObject*> rows;
    std::vector<ManagedObject*> made;
    // The object of one stored row, with its values moved in from `values`; none when this context
    // already has an object for the row (saved from here before the entity was first fetched).
    auto take = [&](qint64 rowID, quint64 unloaded, QVector<QVariant>&& values) {
        if (ManagedObject* known = state.byRow.value(rowID)) {
            rows.push_back(known);
            return;
        }
        ManagedObject* o;
        {
            ManagedObject::s_loading = true;
            o = state.entity->make();
            ManagedObject::s_loading = false;
        }
        o->m_values = std::move(values);
        o->m_saved = o->m_values;
        o->m_unloaded = unloaded;
        o->m_rowID = rowID;
        o->m_context = this;
        rows.push_back(o);
        made.push_back(o);
    };

    if (auto parts = readInParallel(state, fallbacks)) {
        size_t total = 0;
        for (const ReadRows& part : *parts) total += part.rowIDs.size();
        rows.reserve(total);
        made.reserve(total);
        for (ReadRows& part : *parts) {
            for (size_t r = 0; r < part.rowIDs.size(); ++r)
                take(part.rowIDs[r], part.unloaded[r], std::move(part.values[r]));
            part = ReadRows();
        }
    } else {
        auto statement = m_db.cached(state.selectSql);
        if (!statement) return statement.error();
        sqlite3_stmt* s = *statement;
        int rc;
        while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
            QVector<QVariant> values(attributes.size());
            const quint64 unloaded = readRow(s, attributes, state.lazy, fallbacks, values.data());
            take(sqlite3_column_int64(s, 0), unloaded, std::move(values));
        }
        if (rc != SQLITE_DONE) {
            const StoreError e = m_db.error(rc, QStringLiteral("Reading %1").arg(state.entity->name));
            sqlite3_reset(s);
            for (ManagedObject* o : made) {
                o->m_context = nullptr;
                delete o;
            }
            return e;
        }
        sqlite3_reset(s);
    }
    m_owned.insert(m_owned.end(), made.begin(), made.end());
    state.byRow.reserve(qsizetype(rows.size()));
    for (ManagedObject* o : made) state.byRow.insert(o->m_rowID, o);
    state.rows = std::move(rows);
    state.loaded = true;
    for (UuidIndex& index : state.indexes) {
        index.objects.clear();
        index.entries = 0;
        index.objects.reserve(qsizetype(state.rows.size() + state.inserted.size()));
    }
    for (ManagedObject* o : state.rows)
        if (!o->m_deleted) addToIndexes(state, o);
    for (ManagedObject* o : state.inserted) addToIndexes(state, o);
    return {};
}

Result<QList<ManagedObject*>, StoreError> ModelContext::fetch(const EntityDescription& entity,
                                                              const FetchRequest& request)
{
    EntityState* state = stateFor(entity);
    if (!state) return StoreError{0, QStringLiteral("The schema has no entity %1").arg(entity.name), m_db.path()};
    if (!state->loaded)
        if (auto loaded = load(*state); !loaded) return loaded.error();

    const bool stopEarly = request.limit && request.sort.isEmpty();
    const qsizetype wanted = request.limit ? std::max(0, *request.limit) : 0;
    QList<ManagedObject*> out;
    auto consider = [&](ManagedObject* o) {
        if (o->m_deleted) return true;
        if (request.predicate && !request.predicate(*o)) return true;
        out.append(o);
        return !(stopEarly && out.size() >= wanted);
    };
    if (!(stopEarly && wanted == 0)) {
        bool more = true;
        for (auto it = state->rows.begin(); more && it != state->rows.end(); ++it) more = consider(*it);
        for (auto it = state->inserted.begin(); more && it != state->inserted.end(); ++it) more = consider(*it);
    }

    if (!request.sort.isEmpty()) sortObjects(out, entity, request.sort);
    if (request.limit && out.size() > wanted) out.resize(wanted);
    return out;
}

bool ModelContext::hasChanges() const
{
    if (!m_deleted.isEmpty()) return true;
    for (const EntityState& s : m_states)
        if (!s.inserted.empty()) return true;
    for (const ManagedObject* o : m_changed)
        if (o->hasChanges()) return true;
    return false;
}

namespace {

// About what a value costs to write: the bytes of a text or data value, nothing for the others.
qint64 valueBytes(const QVariant& value)
{
    switch (value.typeId()) {
        case QMetaType::QString:
            return value.toString().size();
        case QMetaType::QByteArray:
            return value.toByteArray().size();
        default:
            return 0;
    }
}

}  // namespace

quint64 ModelContext::storedFormOf(const ManagedObject& object, QVector<QVariant>& stored) const
{
    if (!m_storedForm) return 0;
    QVector<QVariant> form = object.m_values;
    const quint64 replaced = m_storedForm(object, form);
    if (replaced) stored = std::move(form);
    return replaced;
}

auto ModelContext::takeWrite() const -> std::unique_ptr<Write>
{
    auto write = std::make_unique<Write>();
    for (ManagedObject* o : std::as_const(m_deleted))
        write->deletions.push_back(
            {o, o->m_rowID, "DELETE FROM " + SqliteDatabase::quoted(o->entity().name) + " WHERE \"_rowid\" = ?"});
    for (const EntityState& state : m_states) {
        for (ManagedObject* o : state.inserted) {
            Write::Insertion insertion{o, o->m_version, state.insertSql, state.entity->attributes, o->m_values};
            insertion.storedOtherwise = storedFormOf(*o, insertion.stored);
            for (const QVariant& v : std::as_const(insertion.stored.isEmpty() ? o->m_values : insertion.stored))
                write->bytes += valueBytes(v);
            write->insertions.push_back(std::move(insertion));
        }
    }
    for (ManagedObject* o : std::as_const(m_changed)) {
        const QVector<AttributeDescription>& attributes = o->entity().attributes;
        Write::Update update{o, o->m_version, o->m_rowID, {}, {}, {}, o->m_values};
        update.storedOtherwise = storedFormOf(*o, update.stored);
        // What the row holds in another form is written again with every change, and so is what it
        // held in another form before: the row must never keep a stale form of it.
        const quint64 rewritten = update.storedOtherwise | o->m_storedOtherwise;
        const QVector<QVariant>& rowValues = update.stored.isEmpty() ? o->m_values : update.stored;
        for (int i = 0; i < attributes.size(); ++i) {
            if (!o->isChanged(i) && !(i < 64 && (rewritten & (quint64(1) << i)))) continue;
            update.columns.append(i);
            update.types.append(attributes[i].type);
            write->bytes += valueBytes(rowValues.at(i));
        }
        if (update.columns.isEmpty()) continue;
        // Only the changed columns: a one-field edit of a note stays a one-row, small write.
        update.sql = "UPDATE " + SqliteDatabase::quoted(o->entity().name) + " SET ";
        for (qsizetype k = 0; k < update.columns.size(); ++k) {
            if (k) update.sql += ',';
            update.sql += SqliteDatabase::quoted(attributes[update.columns[k]].name) + "=?";
        }
        update.sql += " WHERE \"_rowid\"=?";
        write->updates.push_back(std::move(update));
    }
    return write;
}

Status<StoreError> ModelContext::writeTransaction(SqliteDatabase& db, Write& write)
{
    if (auto begun = db.exec("BEGIN IMMEDIATE"); !begun) return begun;
    const auto statements = [&]() -> Status<StoreError> {
        for (const Write::Deletion& d : write.deletions) {
            auto s = db.cached(d.sql);
            if (!s) return s.error();
            sqlite3_bind_int64(*s, 1, d.rowID);
            if (auto r = db.run(*s); !r) return r;
        }
        for (Write::Insertion& i : write.insertions) {
            auto s = db.cached(i.sql);
            if (!s) return s.error();
            const QVector<QVariant>& values = i.stored.isEmpty() ? i.values : i.stored;
            for (int k = 0; k < i.attributes.size(); ++k)
                SqliteDatabase::bindValue(*s, k + 1, i.attributes[k].type, values.at(k));
            if (auto r = db.run(*s); !r) return r;
            i.rowID = sqlite3_last_insert_rowid(db.handle());
        }
        for (const Write::Update& u : write.updates) {
            auto s = db.cached(u.sql);
            if (!s) return s.error();
            const QVector<QVariant>& values = u.stored.isEmpty() ? u.values : u.stored;
            for (qsizetype k = 0; k < u.columns.size(); ++k)
                SqliteDatabase::bindValue(*s, int(k) + 1, u.types[k], values.at(u.columns[k]));
            sqlite3_bind_int64(*s, int(u.columns.size()) + 1, u.rowID);
            if (auto r = db.run(*s); !r) return r;
        }
        return {};
    };
    Status<StoreError> written = statements();
    // Committed into a file that is no longer where the next launch looks, the change would be lost.
    if (written) written = db.checkStillAtPath();
    if (written) written = db.exec("COMMIT");
    if (!written) {
        // Nothing in memory has been touched, so the pending changes stay as they were.
        if (sqlite3_get_autocommit(db.handle()) == 0) db.exec("ROLLBACK");
        for (Write::Insertion& i : write.insertions) i.rowID = 0;
    }
    return written;
}

void ModelContext::applyWrite(const Write& write)
{
    for (const Write::Deletion& d : write.deletions) {
        m_deleted.remove(d.object);
        EntityState* state = stateFor(d.object->entity());
        state->byRow.remove(d.rowID);
        state->hasDeletedRows = true;
    }
    QSet<ManagedObject*> inserted;
    inserted.reserve(qsizetype(write.insertions.size()));
    for (const Write::Insertion& i : write.insertions) {
        ManagedObject* o = i.object;
        inserted.insert(o);
        o->m_rowID = i.rowID;
        o->m_storedOtherwise = i.storedOtherwise;
        EntityState* state = stateFor(o->entity());
        state->rows.push_back(o);
        state->byRow.insert(i.rowID, o);
        if (o->m_version == i.version) {
            o->markSaved();
        } else {
            // Changed while it was written: saved as written, the rest pending.
            o->m_saved = i.values;
            if (!o->m_deleted && o->hasChanges()) m_changed.insert(o);
        }
        // Deleted while its row was written: the row goes at the next save.
        if (o->m_deleted) m_deleted.insert(o);
    }
    if (!inserted.isEmpty())
        for (EntityState& state : m_states)
            std::erase_if(state.inserted, [&](ManagedObject* o) { return inserted.contains(o); });
    for (const Write::Update& u : write.updates) {
        ManagedObject* o = u.object;
        o->m_storedOtherwise = u.storedOtherwise;
        o->m_rewrite = false;
        if (o->m_version == u.version) {
            o->markSaved();
            m_changed.remove(o);
            continue;
        }
        for (int c : u.columns) o->m_saved[c] = u.values.at(c);
        if (!o->hasChanges()) {
            o->markSaved();
            m_changed.remove(o);
        }
    }
    for (EntityState& state : m_states) {
        if (!state.hasDeletedRows) continue;
        state.rows.erase(std::remove_if(state.rows.begin(), state.rows.end(),
                                        [this](ManagedObject* o) { return o->m_deleted && !m_deleted.contains(o); }),
                         state.rows.end());
        state.hasDeletedRows = false;
    }
}

Status<StoreError> ModelContext::save()
{
    return saveAs(false);
}

Status<StoreError> ModelContext::saveAsAutosave()
{
    return saveAs(true);
}

Status<StoreError> ModelContext::saveAs(bool autosave)
{
    const quint64 keepTries = m_keepTries;
    waitForWrite();
    if (!hasChanges()) return {};
    std::unique_ptr<Write> write = takeWrite();
    write->leavesKeepToRetry = autosave || m_keepTries != keepTries;
    return writeNow(*write);
}

std::optional<Status<StoreError>> ModelContext::saveInBackground()
{
    const quint64 keepTries = m_keepTries;
    waitForWrite();
    if (!hasChanges()) return Status<StoreError>{};
    std::unique_ptr<Write> write = takeWrite();
    // The write that ended in the wait tried to get the store a file: that was this save's one try.
    write->leavesKeepToRetry = m_keepTries != keepTries;
    if (write->bytes < kBackgroundWriteBytes) return writeNow(*write);
    startBackgroundWrite(std::move(write));
    return std::nullopt;
}

Status<StoreError> ModelContext::writeNow(Write& write)
{
    m_lastSaveBytes = write.bytes;
    Status<StoreError> saved = writeTransaction(m_db, write);
    // Refused because the file moved: written again once the store has a file of its own.
    if (!saved && m_db.hasMoved()) {
        const Status<StoreError> kept = keepForWrite(write);
        saved = kept ? writeTransaction(m_db, write) : kept;
    }
    if (saved) {
        m_keepFailure.reset();
        applyWrite(write);
    }
    Q_EMIT saveFinished(saved ? QString() : saved.error().description());
    return saved;
}

void ModelContext::startBackgroundWrite(std::unique_ptr<Write> write)
{
    m_write = std::move(write);
    m_lastSaveBytes = m_write->bytes;
    const quint64 serial = m_write->serial = ++m_writeSerial;
    Write* w = m_write.get();
    // The context joins the thread before it goes, so `this` outlives it.
    w->thread = std::thread([this, w, serial] {
        w->outcome = writeTransaction(m_db, *w);
        QMetaObject::invokeMethod(
            this, [this, serial] { backgroundWriteEnded(serial); }, Qt::QueuedConnection);
    });
}

void ModelContext::backgroundWriteEnded(quint64 serial)
{
    // Already taken in by a wait.
    if (!m_write || m_write->serial != serial) return;
    finishBackgroundWrite();
}

void ModelContext::waitForWrite()
{
    if (m_write) finishBackgroundWrite();
}

void ModelContext::finishBackgroundWrite()
{
    const std::unique_ptr<Write> write = std::move(m_write);
    write->thread.join();
    const bool changedMeanwhile = m_autosaveAfterWrite;
    m_autosaveAfterWrite = false;
    if (!write->outcome && m_db.hasMoved()) {
        const Status<StoreError> kept = keepForWrite(*write);
        write->outcome = kept ? writeTransaction(m_db, *write) : kept;
    }
    if (write->outcome) {
        m_keepFailure.reset();
        applyWrite(*write);
    } else {
        qCWarning(Log::store, "Background save failed: %s. Change is still held in memory.",
                  qUtf8Printable(write->outcome.error().description()));
    }
    Q_EMIT saveFinished(write->outcome ? QString() : write->outcome.error().description());
    // What changed while it was written (or an object deleted while its row was written) goes next. A
    // failure is not tried again at once: the store's owner retries, spaced out.
    if (write->outcome ? hasChanges() : changedMeanwhile) scheduleAutosave();
}

Status<StoreError> ModelContext::checkpoint()
{
    waitForWrite();
    return m_db.checkpoint();
}

Status<StoreError> ModelContext::keepForWrite(const Write& write)
{
    if (write.leavesKeepToRetry && m_keepFailure) return *m_keepFailure;
    return keepStoreFile();
}

bool ModelContext::storeFileGone() const
{
    return m_db.hasMoved();
}

Status<StoreError> ModelContext::keepStoreFile()
{
    // What failed before stands only until this try says otherwise.
    m_keepFailure.reset();
    // Looked at first, without waiting for a write: asked whenever the store's folder changes.
    if (!m_db.hasMoved()) return {};
    // A write that ends in the wait gets the store a file by itself, now that no failure stands: that
    // is this call's try, and a failed one is not made twice (each copies the whole store).
    const quint64 keepTries = m_keepTries;
    waitForWrite();
    if (m_keepTries != keepTries && m_keepFailure) return *m_keepFailure;
    const SqliteDatabase::Place place = m_db.place();
    if (place == SqliteDatabase::Place::atPath || place == SqliteDatabase::Place::unknown) return {};
    const bool replaced = place == SqliteDatabase::Place::replaced;
    const QString from = m_db.path();
    QString target;
    if (replaced) {
        target = keptPathFor(from, QDateTime::currentDateTime());
    } else {
        // Written again where the next launch looks: through the user's link, in a folder made again
        // when it went too.
        const auto resolved = PrivateFiles::resolvedPath(QFile::encodeName(from));
        target = resolved ? QFile::decodeName(*resolved) : from;
        PrivateFiles::makeFolder(QFileInfo(target).absolutePath());
    }
    ++m_keepTries;
    if (auto moved = m_db.moveTo(target); !moved) {
        StoreError e = moved.error();
        e.message = (replaced ? QStringLiteral("another file took the place of the notes file, and the notes could "
                                               "not be kept beside it: %1")
                              : QStringLiteral("the notes file was removed and could not be written again: %1"))
                        .arg(e.message);
        qCWarning(Log::store, "%s", qUtf8Printable(e.message));
        m_keepFailure = e;
        return e;
    }
    m_keepFailure.reset();  // a write in the background, finished above, may have failed to keep it
    if (replaced)
        qCWarning(Log::store,
                  "Another file took the place of %s; the notes held are kept in %s, which is used from now on.",
                  qUtf8Printable(from), qUtf8Printable(target));
    else
        qCWarning(Log::store, "The notes file %s was removed; the notes held were written there again.",
                  qUtf8Printable(target));
    Q_EMIT storeFileMoved(target, replaced);
    return {};
}

QString ModelContext::keptPathFor(const QString& path, const QDateTime& now)
{
    const QFileInfo file(path);
    const QString stem = file.dir().filePath(file.completeBaseName() + QStringLiteral("-kept-") +
                                             now.toString(QStringLiteral("yyyyMMdd-HHmmss")));
    const QString extension = file.suffix().isEmpty() ? QString() : QLatin1Char('.') + file.suffix();
    QString candidate = stem + extension;
    for (int n = 2; QFileInfo::exists(candidate) || QFileInfo::exists(candidate + QStringLiteral("-wal")); ++n)
        candidate = stem + QLatin1Char('-') + QString::number(n) + extension;
    return candidate;
}

void ModelContext::setAutosaveEnabled(bool enabled)
{
    m_autosave = enabled;
    if (enabled && hasChanges()) scheduleAutosave();
}

void ModelContext::autosave()
{
    m_autosaveScheduled = false;
    if (!m_autosave) return;
    // Never waited for here: what changes meanwhile is saved once the running write is done.
    if (m_write) {
        m_autosaveAfterWrite = true;
        return;
    }
    if (!hasChanges()) return;
    std::unique_ptr<Write> write = takeWrite();
    write->leavesKeepToRetry = true;
    if (write->bytes >= kBackgroundWriteBytes) {
        startBackgroundWrite(std::move(write));
        return;
    }
    const Status<StoreError> saved = writeNow(*write);
    if (!saved) qCWarning(Log::store, "Autosave failed: %s", qUtf8Printable(saved.error().description()));
}

void ModelContext::scheduleAutosave()
{
    if (!m_autosave || m_autosaveScheduled) return;
    m_autosaveScheduled = true;
    const auto autosave = [this] { this->autosave(); };
    // A save that wrote megabytes (a long body) is followed by a pause, a quarter of a second a
    // megabyte and two seconds at most, that gathers the changes of every key typed meanwhile into the
    // next one, rather than writing the whole body again at every key. Small saves follow on the next
    // turn as ever; saveNow() callers (quit, lock, capture) save at once whatever the pause.
    constexpr qint64 kSmallSave = 1 << 20;
    if (m_lastSaveBytes < kSmallSave) {
        MainQueue::nextTurn(this, autosave);
    } else {
        QTimer::singleShot(int(std::min<qint64>(2000, m_lastSaveBytes / 4096)), this, autosave);
    }
}
