#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVariant>
#include <memory>
#include <optional>
#include <utility>

#include "platform/ManagedObject.h"
#include "platform/Result.h"
#include "platform/StoreError.h"

struct sqlite3;
struct sqlite3_stmt;

// One SQLite connection of the object store, with its prepared statements kept for reuse. Used by
// ModelContainer and ModelContext only; nothing outside src/platform sees SQLite.
class SqliteDatabase {
public:
    // Opens (creating when missing) the database at `path`, or a private one in memory when `path`
    // is empty. The file is not read yet: validate() does that.
    static Result<std::unique_ptr<SqliteDatabase>, StoreError> open(const QString& path);
    // A bare connection with extended result codes and a short busy wait, or why it could not be
    // opened. The caller closes it.
    static Result<sqlite3*, StoreError> openHandle(const QString& path, int flags);
    // How long a connection waits for another one's lock before it reports the store busy.
    static constexpr int kBusyTimeoutMs = 2000;
    ~SqliteDatabase();
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;

    sqlite3* handle() const { return m_db; }
    bool isInMemory() const { return m_path.isEmpty(); }
    const QString& path() const { return m_path; }

    // Fails when the file at path() is no longer the one this connection opened: removed, or another
    // put in its place (a cleanup, restore or sync tool). What is written then would not be found
    // there at the next launch. Always passes in memory.
    Status<StoreError> checkStillAtPath() const;

    // Where the file this connection opened stands now.
    enum class Place {
        atPath,    // still at path() (or in memory, or never told)
        removed,   // nothing at path() (nor, perhaps, its folder)
        replaced,  // another file at path()
        unknown,   // path() cannot be looked at
    };
    Place place() const;
    bool hasMoved() const
    {
        const Place now = place();
        return now == Place::removed || now == Place::replaced;
    }
    // Remembers the store's log and index files as this connection's own. Called once the log is in
    // use: only files so remembered are ever removed by moveTo().
    void rememberLogFiles();
    // Writes the whole database, as this connection reads it, into a new file at `target` and goes on
    // with that file: every later statement and save is its. `target` is never overwritten: the copy
    // is made aside and moved in only while nothing stands there. First our log and index files are
    // taken from beside path(), so that they are never applied to a file that is not ours (SQLite
    // would apply a log it finds beside a file at that file's next opening). On failure the
    // connection goes on with the file it had.
    Status<StoreError> moveTo(const QString& target);
    // The settings every connection on a store file works with: write-ahead log, synchronous=FULL,
    // secure delete.
    Status<StoreError> useFileSettings();

    Status<StoreError> exec(const QByteArray& sql);
    // Copies the write-ahead log into the database and truncates the log to nothing, so content that
    // was overwritten or deleted no longer stands in the log file. Nothing to do in memory.
    Status<StoreError> checkpoint();
    // A statement prepared once per connection; reset and cleared before it is handed out.
    Result<sqlite3_stmt*, StoreError> cached(const QByteArray& sql);
    // Steps a statement that returns no rows, then resets it.
    Status<StoreError> run(sqlite3_stmt* statement);

    StoreError error(const QString& while_) const;
    StoreError error(int code, const QString& while_) const;

    // Storage of attribute values: Uuid as upper-case text with hyphens, Date as REAL seconds since
    // 1970 UTC, Data as BLOB, StringList as JSON text, Url as text, Bool and Int as INTEGER, Double
    // as REAL, none as NULL.
    static void bindValue(sqlite3_stmt* statement, int index, AttributeType type, const QVariant& value);
    // The value in `column`; NULL gives an invalid QVariant.
    static QVariant columnValue(sqlite3_stmt* statement, int column, AttributeType type);
    static const char* columnType(AttributeType type);
    static QByteArray quoted(const QString& identifier);

private:
    SqliteDatabase(sqlite3* db, QString path) : m_db(db), m_path(std::move(path)) {}

    sqlite3* m_db;
    QString m_path;
    // The opened file's identity (none when it could not be told).
    std::optional<std::pair<quint64, quint64>> m_file;
    // The identities of our log and index files beside path() (none: not remembered).
    std::optional<std::pair<quint64, quint64>> m_logFile, m_indexFile;
    QHash<QByteArray, sqlite3_stmt*> m_statements;
};
