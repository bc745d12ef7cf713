#pragma once

#include <QString>
#include <memory>

#include "platform/ModelContext.h"
#include "platform/Result.h"
#include "platform/Schema.h"
#include "platform/StoreError.h"

class SqliteDatabase;

// A store for one schema: a SQLite database on disk (WAL journal, synchronous=FULL, so a save that
// returned survives a crash or power loss) or in memory, with its main context.
//
// Layout: one table per entity, named as the entity; one column per attribute, named as the
// attribute; and an integer primary key "_rowid". No UNIQUE constraint anywhere. Opening brings an
// older file up to the schema: an attribute the table lacks becomes a column (existing rows get
// the attribute's default), a column still under an attribute's originalName is renamed with its
// values kept, and nothing is ever dropped.
class ModelContainer {
public:
    // Opens or creates the store at `path`. The file is read while opening, so a file that is not
    // a database, or one that cannot be written, fails here rather than at the first save.
    static Result<std::unique_ptr<ModelContainer>, StoreError> open(const Schema& schema, const QString& path);
    static Result<std::unique_ptr<ModelContainer>, StoreError> openInMemory(const Schema& schema);
    // Saves what autosave has not written yet, then closes the store.
    ~ModelContainer();

    const Schema& schema() const { return m_schema; }
    bool isInMemory() const;
    QString path() const;
    ModelContext& mainContext() { return *m_context; }

private:
    ModelContainer(const Schema& schema, std::unique_ptr<SqliteDatabase> db);
    static Result<std::unique_ptr<ModelContainer>, StoreError> make(const Schema& schema, const QString& path);
    friend class ModelContainerTesting;

    Schema m_schema;
    std::unique_ptr<SqliteDatabase> m_db;
    std::unique_ptr<ModelContext> m_context;
};
