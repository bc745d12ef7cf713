#include "platform/StoreRowReader.h"

#include <sqlite3.h>

#include <atomic>
#include <system_error>
#include <thread>

#include "platform/SqliteDatabase.h"

Status<StoreError> StoreRowReader::read(const QString& path, const EntityDescription& entity,
                                        const QVector<int>& attributes, int batch,
                                        const std::function<bool(std::vector<Row>&)>& take, const Withheld& withheld,
                                        const QVector<int>& asBytes, bool overlapped)
{
    if (path.isEmpty()) return StoreError{SQLITE_CANTOPEN, QStringLiteral("The store has no file to read"), path};
    auto opened = SqliteDatabase::openHandle(path, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX);
    if (!opened) return opened.error();
    sqlite3* db = *opened;
    // One pass over the whole table: reading it through a mapping of the file spares copying every page.
    // The mapping goes with the connection at the end of the pass.
    sqlite3_exec(db, "PRAGMA mmap_size = 4294967296", nullptr, nullptr, nullptr);
    QByteArray sql = "SELECT \"_rowid\"";
    for (int a : attributes) {
        const QByteArray column = SqliteDatabase::quoted(entity.attributes[a].name);
        if (withheld.flag >= 0 && withheld.attributes.contains(a))
            sql += ",CASE WHEN " + SqliteDatabase::quoted(entity.attributes[withheld.flag].name) + " THEN NULL ELSE " +
                   column + " END";
        else
            sql += ',' + column;
    }
    sql += " FROM " + SqliteDatabase::quoted(entity.name) + " ORDER BY \"_rowid\"";
    sqlite3_stmt* s = nullptr;
    int rc = sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &s, nullptr);
    auto failure = [&](int code) { return StoreError{code, QString::fromUtf8(sqlite3_errmsg(db)), path}; };
    if (rc != SQLITE_OK) {
        const StoreError e = failure(rc);
        sqlite3_close_v2(db);
        return e;
    }
    QVector<AttributeType> types;
    for (int a : attributes) types.append(asBytes.contains(a) ? AttributeType::Data : entity.attributes[a].type);
    std::vector<Row> rows, taken;
    rows.reserve(size_t(std::max(1, batch)));
    std::atomic<bool> more = true;
    std::thread taker;
    // Hands the rows read so far to `take`; overlapped, on a thread of its own while the next batch is
    // read (one batch is taken at a time, in row order).
    auto hand = [&] {
        if (taker.joinable()) taker.join();
        if (!more) return;
        taken.swap(rows);
        rows.clear();
        if (overlapped) {
            try {
                taker = std::thread([&] {
                    if (!take(taken)) more = false;
                });
                return;
            } catch (const std::system_error&) {
                // No thread to be had: taken here.
            }
        }
        if (!take(taken)) more = false;
    };
    while (more && (rc = sqlite3_step(s)) == SQLITE_ROW) {
        Row& row = rows.emplace_back();
        row.rowID = sqlite3_column_int64(s, 0);
        row.values.reserve(attributes.size());
        for (int i = 0; i < attributes.size(); ++i) row.values.append(SqliteDatabase::columnValue(s, i + 1, types[i]));
        if (int(rows.size()) >= batch) hand();
    }
    // Stopped by `take`, the last step gave a row; otherwise the table was read to its end or failed.
    const bool failed = rc != SQLITE_DONE && rc != SQLITE_ROW;
    if (!failed && !rows.empty()) hand();
    if (taker.joinable()) taker.join();
    Status<StoreError> result;
    if (failed) result = failure(rc);
    sqlite3_finalize(s);
    sqlite3_close_v2(db);
    return result;
}
