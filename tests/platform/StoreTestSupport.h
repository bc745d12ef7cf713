#pragma once

// Small entities and raw-SQLite helpers for the object store tests.
#include <sqlite3.h>

#include <QString>
#include <QStringList>
#include <QVariant>

#include "platform/ManagedObject.h"
#include "platform/ModelContainer.h"

namespace storetest {

// Every attribute type, required and optional.
class Sample : public ManagedObject {
public:
    enum { Uuid, Name, Flag, Count, Ratio, When, Bytes, Tags, Link, OptName, OptBytes, OptWhen, OptLink, OptCount };
    Sample() : ManagedObject(entityDescription()) {}
    static const EntityDescription& entityDescription();
};

// A second entity, to check that a save spans tables.
class Other : public ManagedObject {
public:
    enum { Uuid, Label };
    Other() : ManagedObject(entityDescription()) {}
    static const EntityDescription& entityDescription();
};

Schema sampleSchema();

template <typename T>
T value(const ManagedObject* o, int attribute)
{
    return o->value(attribute).value<T>();
}

// A plain connection to a store file, for looking at what was written.
class RawDatabase {
public:
    explicit RawDatabase(const QString& path);
    ~RawDatabase();
    // The first column of every row of a query, as text ("NULL" for NULL).
    QStringList column(const QString& sql) const;
    QString scalar(const QString& sql) const { return column(sql).value(0); }
    bool exec(const QString& sql) const;
    sqlite3* handle() const { return m_db; }

private:
    sqlite3* m_db = nullptr;
};

}  // namespace storetest

// Reaches the container's connection, to make a save fail in a controlled way.
class ModelContainerTesting {
public:
    static bool exec(ModelContainer& container, const QString& sql);
};
