#include "platform/SqliteDatabase.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QUrl>
#include <QUuid>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/DurableFile.h"

namespace {
using Identity = std::pair<quint64, quint64>;

// The device and inode of the file at path; none with errno set when it cannot be looked at.
std::optional<Identity> identityOf(const QString& path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return std::nullopt;
    return Identity(quint64(st.st_dev), quint64(st.st_ino));
}

QString errnoText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

void removeFile(const QString& path)
{
    ::unlink(QFile::encodeName(path).constData());
}

// Moves `from` to `to` unless something stands at `to` by then.
bool moveNoReplace(const QString& from, const QString& to)
{
    const QByteArray f = QFile::encodeName(from), t = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, f.constData(), AT_FDCWD, t.constData(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system without the exclusive rename: a link fails just as well on an existing name.
    if (::link(f.constData(), t.constData()) != 0) return false;
    ::unlink(f.constData());
    return true;
}

Status<StoreError> applyFileSettings(sqlite3* db, const QString& path, bool onDisk)
{
    const auto exec = [&](const char* sql, QString* result = nullptr) -> Status<StoreError> {
        sqlite3_stmt* s = nullptr;
        int rc = sqlite3_prepare_v2(db, sql, -1, &s, nullptr);
        if (rc == SQLITE_OK) {
            while ((rc = sqlite3_step(s)) == SQLITE_ROW)
                if (result) *result = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
            if (rc == SQLITE_DONE) rc = SQLITE_OK;
        }
        sqlite3_finalize(s);
        if (rc == SQLITE_OK) return {};
        return StoreError{sqlite3_extended_errcode(db), QString::fromUtf8(sqlite3_errmsg(db)), path};
    };
    if (onDisk) {
        QString mode;
        if (auto r = exec("PRAGMA journal_mode = WAL", &mode); !r) return r;
        if (mode.compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0)
            return StoreError{0, QStringLiteral("The store cannot use a write-ahead log"), path};
    }
    if (auto r = exec("PRAGMA synchronous = FULL"); !r) return r;
    // Deleted and overwritten content is zeroed rather than left in free space: the plaintext of a
    // note that has just been locked must not survive in the file.
    return exec("PRAGMA secure_delete = ON");
}
}  // namespace

Result<std::unique_ptr<SqliteDatabase>, StoreError> SqliteDatabase::open(const QString& path)
{
    // No mutexes: a connection is used on the main thread only.
    auto db = openHandle(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX);
    if (!db) return db.error();
    std::unique_ptr<SqliteDatabase> opened(new SqliteDatabase(*db, path));
    // SQLite has the file open from here on: this is the file every save goes to.
    if (!path.isEmpty()) opened->m_file = identityOf(path);
    return opened;
}

Status<StoreError> SqliteDatabase::checkStillAtPath() const
{
    if (isInMemory() || !m_file) return {};
    const std::optional<Identity> now = identityOf(m_path);
    if (!now) {
        if (errno == ENOENT) return StoreError{0, QStringLiteral("the notes file was removed"), m_path};
        return StoreError{0, QStringLiteral("the notes file cannot be found: %1").arg(errnoText()), m_path};
    }
    if (*now != *m_file) return StoreError{0, QStringLiteral("another file took the place of the notes file"), m_path};
    return {};
}

SqliteDatabase::Place SqliteDatabase::place() const
{
    if (isInMemory() || !m_file) return Place::atPath;
    const std::optional<Identity> now = identityOf(m_path);
    if (!now) return errno == ENOENT || errno == ENOTDIR ? Place::removed : Place::unknown;
    return *now == *m_file ? Place::atPath : Place::replaced;
}

void SqliteDatabase::rememberLogFiles()
{
    if (isInMemory()) return;
    // Beside the file SQLite opened, a link of the user's followed.
    const QString file = QString::fromUtf8(sqlite3_db_filename(m_db, "main"));
    m_logFile = identityOf(file + QStringLiteral("-wal"));
    m_indexFile = identityOf(file + QStringLiteral("-shm"));
}

Status<StoreError> SqliteDatabase::useFileSettings()
{
    return applyFileSettings(m_db, m_path, !isInMemory());
}

Status<StoreError> SqliteDatabase::moveTo(const QString& target)
{
    if (isInMemory()) return StoreError{0, QStringLiteral("A store in memory has no file"), target};
    // Our log and index go from beside the old path first: were the old path's file replaced, they
    // would be applied to that file at its next opening; were it removed, to our copy put there. This
    // connection goes on reading them through the files it has open.
    const auto removeOwn = [](const QString& file, std::optional<Identity>& own) {
        if (own && identityOf(file) == own) removeFile(file);
        own.reset();
    };
    const QString file = QString::fromUtf8(sqlite3_db_filename(m_db, "main"));
    removeOwn(file + QStringLiteral("-wal"), m_logFile);
    removeOwn(file + QStringLiteral("-shm"), m_indexFile);
    // Another store's log or rollback journal beside the target would be applied to the copy.
    for (const QString& suffix : {QStringLiteral("-wal"), QStringLiteral("-shm"), QStringLiteral("-journal")}) {
        if (QFileInfo::exists(target + suffix))
            return StoreError{0, QStringLiteral("the file %1 of another store stands in the way").arg(target + suffix),
                              target};
    }

    // Copied aside, so that a copy cut short (a full disk) never stands where the next launch looks.
    const QString temp =
        target + QStringLiteral(".copy-") + QString::number(QRandomGenerator::global()->generate(), 36);
    const int fd = ::open(QFile::encodeName(temp).constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0) return StoreError{0, QStringLiteral("a new file cannot be made there: %1").arg(errnoText()), target};
    ::close(fd);
    const auto dropTemp = [&temp] {
        removeFile(temp);
        removeFile(temp + QStringLiteral("-journal"));
    };
    auto dest = openHandle(temp, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX);
    if (!dest) {
        dropTemp();
        return dest.error();
    }
    // The online backup reads what this connection sees (its log included) in one read transaction.
    sqlite3_backup* backup = sqlite3_backup_init(*dest, "main", m_db, "main");
    int rc = backup ? sqlite3_backup_step(backup, -1) : sqlite3_extended_errcode(*dest);
    if (backup) {
        const int finished = sqlite3_backup_finish(backup);
        rc = rc == SQLITE_DONE ? finished : rc;
    }
    StoreError failed{rc, QString::fromUtf8(rc == SQLITE_OK ? "" : sqlite3_errmsg(*dest)), target};
    if (rc == SQLITE_OK && sqlite3_close(*dest) != SQLITE_OK) {
        failed = StoreError{sqlite3_extended_errcode(*dest), QString::fromUtf8(sqlite3_errmsg(*dest)), target};
        rc = SQLITE_ERROR;
    }
    if (rc != SQLITE_OK) {
        sqlite3_close_v2(*dest);
        dropTemp();
        if (failed.message.isEmpty()) failed.message = QString::fromUtf8(sqlite3_errstr(rc));
        return failed;
    }
    if (!moveNoReplace(temp, target)) {
        StoreError e{0, QStringLiteral("the copy cannot be put in place: %1").arg(errnoText()), target};
        dropTemp();
        return e;
    }
    DurableFile::syncFolder(target);

    auto opened = openHandle(target, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX);
    if (!opened) return opened.error();
    if (auto set = applyFileSettings(*opened, target, true); !set) {
        sqlite3_close_v2(*opened);
        return set;
    }
    // The old connection has nothing left to do: its file has moved, so SQLite neither checkpoints
    // into it nor removes a log when it closes.
    for (sqlite3_stmt* s : std::as_const(m_statements)) sqlite3_finalize(s);
    m_statements.clear();
    sqlite3_close_v2(m_db);
    m_db = *opened;
    m_path = target;
    m_file = identityOf(target);
    rememberLogFiles();
    return {};
}

Result<sqlite3*, StoreError> SqliteDatabase::openHandle(const QString& path, int flags)
{
    sqlite3* db = nullptr;
    const QByteArray name = path.isEmpty() ? QByteArrayLiteral(":memory:") : path.toUtf8();
    const int rc = sqlite3_open_v2(name.constData(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        StoreError e{rc, db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc)), path};
        sqlite3_close_v2(db);
        return e;
    }
    sqlite3_extended_result_codes(db, 1);
    // Another process holding the write lock briefly (a second instance, a backup tool) should not
    // fail a save at once.
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    return db;
}

SqliteDatabase::~SqliteDatabase()
{
    for (sqlite3_stmt* s : std::as_const(m_statements)) sqlite3_finalize(s);
    sqlite3_close_v2(m_db);
}

StoreError SqliteDatabase::error(const QString& while_) const
{
    return error(sqlite3_extended_errcode(m_db), while_);
}

StoreError SqliteDatabase::error(int code, const QString& while_) const
{
    const char* message = sqlite3_errmsg(m_db);
    QString text = message ? QString::fromUtf8(message) : QString::fromUtf8(sqlite3_errstr(code));
    if (!while_.isEmpty()) text = while_ + QStringLiteral(": ") + text;
    return StoreError{code, text, m_path};
}

Status<StoreError> SqliteDatabase::exec(const QByteArray& sql)
{
    char* message = nullptr;
    const int rc = sqlite3_exec(m_db, sql.constData(), nullptr, nullptr, &message);
    if (rc == SQLITE_OK) return {};
    StoreError e{sqlite3_extended_errcode(m_db), QString::fromUtf8(message ? message : sqlite3_errstr(rc)), m_path};
    sqlite3_free(message);
    return e;
}

Status<StoreError> SqliteDatabase::checkpoint()
{
    if (isInMemory()) return {};
    // The same as PRAGMA wal_checkpoint(TRUNCATE), with a result code that says when it was blocked.
    const int rc = sqlite3_wal_checkpoint_v2(m_db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    if (rc == SQLITE_OK) return {};
    return error(rc, QStringLiteral("Checkpointing the log"));
}

Result<sqlite3_stmt*, StoreError> SqliteDatabase::cached(const QByteArray& sql)
{
    if (sqlite3_stmt* s = m_statements.value(sql)) {
        sqlite3_reset(s);
        sqlite3_clear_bindings(s);
        return s;
    }
    sqlite3_stmt* s = nullptr;
    const int rc = sqlite3_prepare_v3(m_db, sql.constData(), int(sql.size()), SQLITE_PREPARE_PERSISTENT, &s, nullptr);
    if (rc != SQLITE_OK) return error(rc, QString());
    m_statements.insert(sql, s);
    return s;
}

Status<StoreError> SqliteDatabase::run(sqlite3_stmt* statement)
{
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) {
        const StoreError e = error(rc, QString());
        sqlite3_reset(statement);
        return e;
    }
    sqlite3_reset(statement);
    return {};
}

QByteArray SqliteDatabase::quoted(const QString& identifier)
{
    QByteArray id = identifier.toUtf8();
    id.replace('"', "\"\"");
    return '"' + id + '"';
}

const char* SqliteDatabase::columnType(AttributeType type)
{
    switch (type) {
        case AttributeType::Bool:
        case AttributeType::Int:
            return "INTEGER";
        case AttributeType::Double:
        case AttributeType::Date:
            return "REAL";
        case AttributeType::Data:
            return "BLOB";
        case AttributeType::Uuid:
        case AttributeType::String:
        case AttributeType::StringList:
        case AttributeType::Url:
            return "TEXT";
    }
    return "";
}

namespace {
void bindText(sqlite3_stmt* s, int index, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(s, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

QString columnText(sqlite3_stmt* s, int column)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, column));
    return QString::fromUtf8(text, sqlite3_column_bytes(s, column));
}

// The JSON array of strings we write. Tag lists are read for every note at launch, so the common
// form (no escapes) is split directly; anything else goes through the JSON parser.
QStringList parseStringList(QByteArrayView text)
{
    QStringList list;
    if (text.size() <= 2) return list;
    if (!text.contains('\\') && text.front() == '[' && text.back() == ']') {
        const qsizetype end = text.size() - 1;
        qsizetype i = 1;
        bool ok = true;
        while (ok && i < end) {
            const qsizetype close = text[i] == '"' ? text.indexOf('"', i + 1) : -1;
            if (close < 0 || close >= end) {
                ok = false;
                break;
            }
            list.append(QString::fromUtf8(text.sliced(i + 1, close - i - 1)));
            i = close + 1;
            if (i < end) ok = text[i++] == ',';
        }
        if (ok) return list;
        list.clear();
    }
    const QJsonArray array = QJsonDocument::fromJson(text.toByteArray()).array();
    list.reserve(array.size());
    for (const QJsonValue& v : array)
        if (v.isString()) list.append(v.toString());
    return list;
}
}  // namespace

void SqliteDatabase::bindValue(sqlite3_stmt* s, int index, AttributeType type, const QVariant& value)
{
    if (!value.isValid()) {
        sqlite3_bind_null(s, index);
        return;
    }
    switch (type) {
        case AttributeType::Uuid:
            bindText(s, index, value.toUuid().toString(QUuid::WithoutBraces).toUpper());
            break;
        case AttributeType::String:
            bindText(s, index, value.toString());
            break;
        case AttributeType::Bool:
            sqlite3_bind_int(s, index, value.toBool() ? 1 : 0);
            break;
        case AttributeType::Int:
            sqlite3_bind_int64(s, index, value.toLongLong());
            break;
        case AttributeType::Double:
            sqlite3_bind_double(s, index, value.toDouble());
            break;
        case AttributeType::Date:
            sqlite3_bind_double(s, index, double(value.toDateTime().toMSecsSinceEpoch()) / 1000.0);
            break;
        case AttributeType::Data: {
            const QByteArray bytes = value.toByteArray();
            // An empty blob, not NULL: "none" and "no bytes" are different values.
            if (bytes.isEmpty())
                sqlite3_bind_zeroblob(s, index, 0);
            else
                sqlite3_bind_blob(s, index, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
            break;
        }
        case AttributeType::StringList:
            bindText(
                s, index,
                QString::fromUtf8(
                    QJsonDocument(QJsonArray::fromStringList(value.toStringList())).toJson(QJsonDocument::Compact)));
            break;
        case AttributeType::Url:
            bindText(s, index, value.toUrl().toString(QUrl::FullyEncoded));
            break;
    }
}

QVariant SqliteDatabase::columnValue(sqlite3_stmt* s, int column, AttributeType type)
{
    if (sqlite3_column_type(s, column) == SQLITE_NULL) return QVariant();
    switch (type) {
        case AttributeType::Uuid: {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, column));
            return QVariant(QUuid::fromString(QLatin1StringView(text, sqlite3_column_bytes(s, column))));
        }
        case AttributeType::String:
            return QVariant(columnText(s, column));
        case AttributeType::Bool:
            return QVariant(sqlite3_column_int64(s, column) != 0);
        case AttributeType::Int:
            return QVariant::fromValue<qint64>(sqlite3_column_int64(s, column));
        case AttributeType::Double:
            return QVariant(sqlite3_column_double(s, column));
        case AttributeType::Date:
            return QVariant(
                QDateTime::fromMSecsSinceEpoch(qRound64(sqlite3_column_double(s, column) * 1000.0), Qt::UTC));
        case AttributeType::Data: {
            const auto* bytes = static_cast<const char*>(sqlite3_column_blob(s, column));
            const int size = sqlite3_column_bytes(s, column);
            return QVariant(size > 0 ? QByteArray(bytes, size) : QByteArray(""));
        }
        case AttributeType::StringList: {
            const int size = sqlite3_column_bytes(s, column);
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, column));
            return QVariant(parseStringList(QByteArrayView(text, size)));
        }
        case AttributeType::Url:
            return QVariant(QUrl(columnText(s, column)));
    }
    return QVariant();
}
