#pragma once

#include <QByteArray>
#include <QList>
#include <QVariant>
#include <memory>

#include "platform/ManagedObject.h"
#include "platform/Result.h"
#include "platform/StoreError.h"

struct sqlite3;

// Plain statements over a store file, for upkeep outside the object store (a snapshot copy, which
// must keep the tables it was taken with). Values are stored as the object store stores them.
class SqliteRows {
public:
    struct Value {
        AttributeType type;
        QVariant value;  // invalid: NULL
    };

    // Opens an existing file; read-only never writes to it or its log, not even on closing.
    static Result<std::unique_ptr<SqliteRows>, StoreError> open(const QString& path, bool readOnly);
    ~SqliteRows();
    SqliteRows(const SqliteRows&) = delete;
    SqliteRows& operator=(const SqliteRows&) = delete;

    // The rows of a query, each column read as the given type.
    Result<QList<QVariantList>, StoreError> select(const QByteArray& sql, const QList<Value>& binds,
                                                   const QList<AttributeType>& columns);
    Status<StoreError> execute(const QByteArray& sql, const QList<Value>& binds = {});
    // The column names of a table; empty when there is no such table.
    Result<QStringList, StoreError> columns(const QString& table);
    // Copies the log into the file and empties the log.
    Status<StoreError> checkpoint();

    // Whether the error says that the file is no SQLite database at all.
    static bool isNotADatabase(const StoreError& error);

private:
    SqliteRows(sqlite3* db, QString path) : m_db(db), m_path(std::move(path)) {}
    StoreError error(int code) const;

    sqlite3* m_db;
    QString m_path;
};
