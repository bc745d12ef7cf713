#include "platform/StoreRowReader.h"

#include <sqlite3.h>

#include <QLatin1StringView>
#include <algorithm>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/SqliteDatabase.h"

namespace StoreRowReader {

qint64 RawRow::rowID() const
{
    return sqlite3_column_int64(m_s, 0);
}

bool RawRow::isNull(int i) const
{
    return sqlite3_column_type(m_s, i + 1) == SQLITE_NULL;
}

bool RawRow::flag(int i) const
{
    return sqlite3_column_int64(m_s, i + 1) != 0;
}

double RawRow::number(int i) const
{
    return sqlite3_column_double(m_s, i + 1);
}

std::string_view RawRow::bytes(int i) const
{
    // The blob form reads a text as its bytes, without a conversion.
    const auto* data = static_cast<const char*>(sqlite3_column_blob(m_s, i + 1));
    const int size = sqlite3_column_bytes(m_s, i + 1);
    return data && size > 0 ? std::string_view(data, size_t(size)) : std::string_view();
}

QUuid RawRow::uuid(int i) const
{
    const std::string_view text = bytes(i);
    return QUuid::fromString(QLatin1StringView(text.data(), qsizetype(text.size())));
}

int partsForThisMachine()
{
    return int(std::clamp(std::thread::hardware_concurrency() / 2, 1u, 4u));
}

Status<StoreError> scan(const QString& path, const EntityDescription& entity, const QVector<int>& attributes, int parts,
                        const std::function<void(int part, const RawRow& row)>& visit, const Withheld& withheld)
{
    if (path.isEmpty()) return StoreError{SQLITE_CANTOPEN, QStringLiteral("The store has no file to read"), path};
    const QByteArray table = SqliteDatabase::quoted(entity.name);
    QByteArray sql = "SELECT \"_rowid\"";
    for (int a : attributes) {
        const QByteArray column = SqliteDatabase::quoted(entity.attributes[a].name);
        if (withheld.flag >= 0 && withheld.attributes.contains(a))
            sql += ",CASE WHEN " + SqliteDatabase::quoted(entity.attributes[withheld.flag].name) + " THEN NULL ELSE " +
                   column + " END";
        else
            sql += ',' + column;
    }
    sql += " FROM " + table + " WHERE \"_rowid\" BETWEEN ? AND ? ORDER BY \"_rowid\"";

    auto first = SqliteDatabase::openHandle(path, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX);
    if (!first) return first.error();
    sqlite3* db = *first;
    qint64 lowest = 0, highest = -1;
    {
        // Each in a select of its own: that way either is one step down the table's tree, not a scan.
        const QByteArray bounds =
            "SELECT (SELECT min(\"_rowid\") FROM " + table + "), (SELECT max(\"_rowid\") FROM " + table + ")";
        sqlite3_stmt* s = nullptr;
        int rc = sqlite3_prepare_v2(db, bounds.constData(), int(bounds.size()), &s, nullptr);
        if (rc == SQLITE_OK && (rc = sqlite3_step(s)) == SQLITE_ROW && sqlite3_column_type(s, 0) != SQLITE_NULL) {
            lowest = sqlite3_column_int64(s, 0);
            highest = sqlite3_column_int64(s, 1);
        }
        sqlite3_finalize(s);
        if (rc != SQLITE_ROW) {
            StoreError e{rc, QString::fromUtf8(sqlite3_errmsg(db)), path};
            sqlite3_close_v2(db);
            return e;
        }
    }
    if (highest < lowest) {
        sqlite3_close_v2(db);
        return {};
    }
    // A stretch is worth its own connection and thread only when it is long.
    constexpr qint64 kRowsPerStretch = 8192;
    parts = int(std::clamp<qint64>(parts, 1, 1 + (highest - lowest) / kRowsPerStretch));
    return readStretches(
        path, sql, lowest, highest, parts, [&visit](int part, sqlite3_stmt* s) { visit(part, RawRow(s)); }, db);
}

Status<StoreError> readStretches(const QString& path, const QByteArray& sql, qint64 lowest, qint64 highest, int parts,
                                 const std::function<void(int part, sqlite3_stmt* row)>& visit, sqlite3* first)
{
    // Reads one stretch over `db`, which it closes.
    auto readStretch = [&](sqlite3* db, int part, qint64 from, qint64 to) -> std::optional<StoreError> {
        auto failure = [&](int code) {
            StoreError e{code, QString::fromUtf8(sqlite3_errmsg(db)), path};
            sqlite3_close_v2(db);
            return e;
        };
        // One pass over the stretch: reading through a mapping of the file spares copying every page. The
        // mapping goes with the connection.
        sqlite3_exec(db, "PRAGMA mmap_size = 4294967296", nullptr, nullptr, nullptr);
        sqlite3_stmt* s = nullptr;
        if (const int rc = sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &s, nullptr); rc != SQLITE_OK)
            return failure(rc);
        sqlite3_bind_int64(s, 1, from);
        sqlite3_bind_int64(s, 2, to);
        int rc;
        while ((rc = sqlite3_step(s)) == SQLITE_ROW) visit(part, s);
        sqlite3_finalize(s);
        if (rc != SQLITE_DONE) return failure(rc);
        sqlite3_close_v2(db);
        return std::nullopt;
    };
    parts = std::max(1, parts);
    const qint64 span = (highest - lowest) / parts + 1;
    auto bounds = [&](int k) { return std::pair(lowest + span * k, std::min(highest, lowest + span * (k + 1) - 1)); };
    std::vector<std::optional<StoreError>> failures(static_cast<size_t>(parts));
    auto readPart = [&](int k, sqlite3* db) {
        if (!db) {
            auto opened = SqliteDatabase::openHandle(path, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX);
            if (!opened) {
                failures[size_t(k)] = opened.error();
                return;
            }
            db = *opened;
        }
        const auto [from, to] = bounds(k);
        failures[size_t(k)] = readStretch(db, k, from, to);
    };
    std::vector<std::thread> threads;
    for (int k = 1; k < parts; ++k) {
        try {
            threads.emplace_back(readPart, k, nullptr);
        } catch (const std::system_error&) {
            readPart(k, nullptr);  // no thread to be had: read here, after the others started
        }
    }
    readPart(0, first);
    for (std::thread& t : threads) t.join();
    for (const auto& f : failures)
        if (f) return *f;
    return {};
}

}  // namespace StoreRowReader
