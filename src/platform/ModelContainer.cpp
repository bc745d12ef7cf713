#include "platform/ModelContainer.h"

#include <sqlite3.h>

#include <QSet>

#include "platform/SqliteDatabase.h"

namespace {
constexpr char kPrimaryKey[] = "_rowid";

// A per-row random UUID in our text form, for a UUID attribute added to a table with rows.
constexpr char kRandomUuidSql[] =
    "upper(hex(randomblob(4)) || '-' || hex(randomblob(2)) || '-4' || substr(hex(randomblob(2)), 2) || '-' || "
    "substr('89AB', 1 + (abs(random()) % 4), 1) || substr(hex(randomblob(2)), 2) || '-' || hex(randomblob(6)))";

Result<QStringList, StoreError> queryStrings(SqliteDatabase& db, const QByteArray& sql, int column)
{
    sqlite3_stmt* s = nullptr;
    int rc = sqlite3_prepare_v2(db.handle(), sql.constData(), int(sql.size()), &s, nullptr);
    if (rc != SQLITE_OK) return db.error(rc, QString());
    QStringList out;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW)
        out << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, column)));
    sqlite3_finalize(s);
    if (rc != SQLITE_DONE) return db.error(rc, QString());
    return out;
}

// Makes the table of one entity, or brings an existing one up to the entity's attributes.
Status<StoreError> migrateEntity(SqliteDatabase& db, const EntityDescription& entity, bool exists)
{
    const QByteArray table = SqliteDatabase::quoted(entity.name);
    if (!exists) {
        QByteArray sql = "CREATE TABLE " + table + " (\"" + kPrimaryKey + "\" INTEGER PRIMARY KEY";
        for (const AttributeDescription& a : entity.attributes)
            sql += ", " + SqliteDatabase::quoted(a.name) + ' ' + SqliteDatabase::columnType(a.type);
        return db.exec(sql + ')');
    }
    auto info = queryStrings(db, "PRAGMA table_info(" + table + ")", 1);
    if (!info) return info.error();
    QSet<QString> columns(info->begin(), info->end());
    if (!columns.contains(QLatin1String(kPrimaryKey)))
        return StoreError{
            0, QStringLiteral("The table %1 has no column %2").arg(entity.name, QLatin1String(kPrimaryKey)), db.path()};
    for (const AttributeDescription& a : entity.attributes) {
        if (columns.contains(a.name)) continue;
        const QByteArray column = SqliteDatabase::quoted(a.name);
        if (!a.originalName.isEmpty() && columns.contains(a.originalName)) {
            if (auto r = db.exec("ALTER TABLE " + table + " RENAME COLUMN " + SqliteDatabase::quoted(a.originalName) +
                                 " TO " + column);
                !r)
                return r;
            columns.remove(a.originalName);
            columns.insert(a.name);
            continue;
        }
        if (auto r =
                db.exec("ALTER TABLE " + table + " ADD COLUMN " + column + ' ' + SqliteDatabase::columnType(a.type));
            !r)
            return r;
        columns.insert(a.name);
        if (a.optional) continue;
        // Rows written before the attribute existed take its default, as a new object would.
        if (a.type == AttributeType::Uuid && !a.defaultValue.isValid()) {
            if (auto r = db.exec("UPDATE " + table + " SET " + column + " = " + kRandomUuidSql); !r) return r;
            continue;
        }
        QVariant value = a.defaultValue;
        if (!value.isValid()) value = ManagedObject(entity).value(int(&a - entity.attributes.data()));
        const QByteArray sql = "UPDATE " + table + " SET " + column + " = ?";
        sqlite3_stmt* s = nullptr;
        int rc = sqlite3_prepare_v2(db.handle(), sql.constData(), int(sql.size()), &s, nullptr);
        if (rc != SQLITE_OK) return db.error(rc, QString());
        SqliteDatabase::bindValue(s, 1, a.type, ManagedObject::normalized(a.type, value));
        rc = sqlite3_step(s);
        sqlite3_finalize(s);
        if (rc != SQLITE_DONE) return db.error(rc, QString());
    }
    return {};
}
}  // namespace

ModelContainer::ModelContainer(const Schema& schema, std::unique_ptr<SqliteDatabase> db)
    : m_schema(schema), m_db(std::move(db)), m_context(std::make_unique<ModelContext>(m_schema, *m_db))
{
}

ModelContainer::~ModelContainer()
{
    // A change made in the last turn of the event loop before quitting would otherwise wait for an
    // autosave that never comes.
    if (m_context->autosaveEnabled() && m_context->hasChanges()) {
        if (auto saved = m_context->save(); !saved)
            qWarning("The store could not save its last changes: %s", qUtf8Printable(saved.error().description()));
    }
    // Closing a connection whose file was replaced or removed would leave our log beside whatever stands
    // at the path now, to be applied to it at the next opening; and what the store held would be lost.
    // A try that failed just before (the last save of the run) is not made again: each copies the whole
    // store onto a disk that refused it.
    if (const auto& failed = m_context->keepFailure(); failed && m_context->storeFileGone())
        qWarning("The store could not be kept: %s", qUtf8Printable(failed->description()));
    else if (auto kept = m_context->keepStoreFile(); !kept)
        qWarning("The store could not be kept: %s", qUtf8Printable(kept.error().description()));
    m_context.reset();
    m_db.reset();
}

bool ModelContainer::isInMemory() const
{
    return m_db->isInMemory();
}
QString ModelContainer::path() const
{
    return m_db->path();
}

Result<std::unique_ptr<ModelContainer>, StoreError> ModelContainer::open(const Schema& schema, const QString& path)
{
    if (path.isEmpty()) return StoreError{0, QStringLiteral("No path for the store"), path};
    return make(schema, path);
}

Result<std::unique_ptr<ModelContainer>, StoreError> ModelContainer::openInMemory(const Schema& schema)
{
    return make(schema, QString());
}

Result<std::unique_ptr<ModelContainer>, StoreError> ModelContainer::make(const Schema& schema, const QString& path)
{
    auto opened = SqliteDatabase::open(path);
    if (!opened) return opened.error();
    std::unique_ptr<SqliteDatabase> db = std::move(opened).value();

    // SQLite opens lazily: this first read is what finds a file that is not a database.
    auto tables = queryStrings(*db, "SELECT name FROM sqlite_master WHERE type = 'table'", 0);
    if (!tables) return tables.error();
    if (!db->isInMemory()) {
        if (sqlite3_db_readonly(db->handle(), "main") == 1)
            return StoreError{SQLITE_READONLY, QStringLiteral("The store file cannot be written"), path};
    }
    if (auto r = db->useFileSettings(); !r) return r.error();

    const QSet<QString> existing(tables->begin(), tables->end());
    if (auto r = db->exec("BEGIN IMMEDIATE"); !r) return r.error();
    for (const EntityDescription* entity : schema.entities) {
        if (auto r = migrateEntity(*db, *entity, existing.contains(entity->name)); !r) {
            db->exec("ROLLBACK");
            return r.error();
        }
    }
    if (auto r = db->exec("COMMIT"); !r) {
        db->exec("ROLLBACK");
        return r.error();
    }
    db->rememberLogFiles();
    return std::unique_ptr<ModelContainer>(new ModelContainer(schema, std::move(db)));
}
