#pragma once

#include <QString>
#include <QUuid>
#include <QVector>
#include <functional>
#include <string_view>

#include "platform/ManagedObject.h"
#include "platform/Result.h"
#include "platform/StoreError.h"

struct sqlite3;
struct sqlite3_stmt;

// Reads some attributes of every stored row of one entity over read-only connections of its own, so
// workers can look through a large store while the main context loads it. No objects are made and no
// value is copied: each row is handed over as the file holds it.
namespace StoreRowReader {

// One stored row as a scan meets it. Its values are valid only during the call it is handed to.
class RawRow {
public:
    explicit RawRow(sqlite3_stmt* statement) : m_s(statement) {}
    qint64 rowID() const;
    // `i` counts the attributes asked for, from 0.
    bool isNull(int i) const;
    bool flag(int i) const;
    double number(int i) const;
    // A text as its UTF-8, or a blob's bytes; empty for none.
    std::string_view bytes(int i) const;
    QUuid uuid(int i) const;

private:
    sqlite3_stmt* m_s;
};

// Values that are not read at all for some rows: those of `attributes` on rows whose Bool attribute
// `flag` is true come as none (so a private note's body never leaves the file this way).
struct Withheld {
    int flag = -1;
    QVector<int> attributes;
};

// Splits the table into up to `parts` stretches of row ids (fewer for a small table), read at once over
// a connection each, on a thread each (this one reads the first). `visit(part, row)` is called on the stretch's own
// thread for each of its rows, in row order; the stretches follow each other in row order by part. Fails when the store
// cannot be opened or read (a store in memory has no file to open); rows met before a failure have been visited.
Status<StoreError> scan(const QString& path, const EntityDescription& entity, const QVector<int>& attributes, int parts,
                        const std::function<void(int part, const RawRow& row)>& visit, const Withheld& withheld = {});

// The reading under scan(): `sql` is a select whose two parameters are the first and last row id of a
// stretch. [lowest, highest] is split into `parts` stretches read at once, each over a read-only
// connection of its own on a thread of its own (this one reads the first, over `first` when given,
// which it closes); `visit(part, row)` is called on that thread for each row the statement stands on.
// Fails with the first stretch that failed.
Status<StoreError> readStretches(const QString& path, const QByteArray& sql, qint64 lowest, qint64 highest, int parts,
                                 const std::function<void(int part, sqlite3_stmt* row)>& visit,
                                 sqlite3* first = nullptr);

// How many stretches a scan beside the launch's other readers is given on this machine.
int partsForThisMachine();

}  // namespace StoreRowReader
