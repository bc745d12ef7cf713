#pragma once

// Small entities and a raw look at store files for the object store tests.
#include <QStringList>

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

// The first column of every row that `sql` gives on the store file at `path` ("NULL" for NULL).
QStringList query(const QString& path, const QString& sql);
inline QString scalar(const QString& path, const QString& sql)
{
    return query(path, sql).value(0);
}

// Starts this test executable again to run only `childTest` with the environment variable `variable`
// set to `path`, reads the numbers it prints one to a line, and kills it without warning once it has
// printed `atLeast` or stopped. Returns the highest number it printed (-1 for none).
qint64 runChildUntilKilled(const QString& childTest, const QString& variable, const QString& path, qint64 atLeast);
// What such a child prints after each save that returned.
void reportToParent(qint64 number);

}  // namespace storetest

// Reaches the container's connection, to make a save fail in a controlled way.
class ModelContainerTesting {
public:
    static bool exec(ModelContainer& container, const QString& sql);
    // How long the connection waits for another one's lock before it reports it busy.
    static void setBusyTimeout(ModelContainer& container, int ms);
};
