#include "platform/SqliteRows.h"

#include <sqlite3.h>

#include "platform/SqliteDatabase.h"

Result<std::unique_ptr<SqliteRows>, StoreError> SqliteRows::open(const QString& path, bool readOnly)
{
    auto db = SqliteDatabase::openHandle(path, readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE);
    if (!db) return db.error();
    return std::unique_ptr<SqliteRows>(new SqliteRows(*db, path));
}

SqliteRows::~SqliteRows()
{
    sqlite3_close_v2(m_db);
}

StoreError SqliteRows::error(int code) const
{
    return StoreError{code, QString::fromUtf8(sqlite3_errmsg(m_db)), m_path};
}

bool SqliteRows::isNotADatabase(const StoreError& error)
{
    return (error.code & 0xff) == SQLITE_NOTADB;
}

Result<QList<QVariantList>, StoreError> SqliteRows::select(const QByteArray& sql, const QList<Value>& binds,
                                                           const QList<AttributeType>& columns)
{
    sqlite3_stmt* s = nullptr;
    int rc = sqlite3_prepare_v2(m_db, sql.constData(), int(sql.size()), &s, nullptr);
    if (rc != SQLITE_OK) return error(rc);
    for (qsizetype i = 0; i < binds.size(); ++i)
        SqliteDatabase::bindValue(s, int(i + 1), binds[i].type, binds[i].value);
    QList<QVariantList> rows;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
        QVariantList row;
        for (qsizetype c = 0; c < columns.size(); ++c) row << SqliteDatabase::columnValue(s, int(c), columns[c]);
        rows << row;
    }
    sqlite3_finalize(s);
    if (rc != SQLITE_DONE) return error(rc);
    return rows;
}

Status<StoreError> SqliteRows::execute(const QByteArray& sql, const QList<Value>& binds)
{
    auto rows = select(sql, binds, {});
    if (!rows) return rows.error();
    return {};
}

Result<QStringList, StoreError> SqliteRows::columns(const QString& table)
{
    auto rows = select("PRAGMA table_info(" + SqliteDatabase::quoted(table) + ")", {},
                       {AttributeType::Int, AttributeType::String});
    if (!rows) return rows.error();
    QStringList names;
    for (const QVariantList& row : *rows) names << row.value(1).toString();
    return names;
}

Status<StoreError> SqliteRows::checkpoint()
{
    const int rc = sqlite3_wal_checkpoint_v2(m_db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    if (rc != SQLITE_OK) return error(rc);
    return {};
}
