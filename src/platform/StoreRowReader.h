#pragma once

#include <QString>
#include <QVariant>
#include <QVector>
#include <functional>
#include <vector>

#include "platform/ManagedObject.h"
#include "platform/Result.h"
#include "platform/StoreError.h"

// Reads some attributes of every stored row of one entity over a read-only connection of its own,
// so a worker thread can look through a large store while the main context loads it. One statement
// reads every row, so the rows come from one consistent state of the store. Values come as plain
// QVariants (none for NULL), no objects are made, and nothing is kept between batches.
namespace StoreRowReader {

struct Row {
    qint64 rowID = 0;
    QVector<QVariant> values;  // in the order the attributes were asked for
};

// Values that are not read at all for some rows: those of `attributes` on rows whose Bool attribute
// `flag` is true come as none (so a private note's body never leaves the file this way).
struct Withheld {
    int flag = -1;
    QVector<int> attributes;
};

// Calls `take` with batches of up to `batch` rows in row order; `take` returns false to stop early.
// Fails when the store cannot be opened or read (a store in memory has no file to open). The values of
// `asBytes` come as the stored bytes (a text as UTF-8), for readers that compare rather than convert.
// `overlapped`: each batch is taken on a thread of its own while the next one is read, so `take` must
// not touch what the caller's thread does meanwhile; a `false` from it stops the reading a batch later.
Status<StoreError> read(const QString& path, const EntityDescription& entity, const QVector<int>& attributes, int batch,
                        const std::function<bool(std::vector<Row>&)>& take, const Withheld& withheld = {},
                        const QVector<int>& asBytes = {}, bool overlapped = false);

}  // namespace StoreRowReader
