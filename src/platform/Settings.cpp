#include "platform/Settings.h"

#include <QDir>

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTimeZone>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <utility>

#include "platform/BoundedFile.h"
#include "platform/DurableFile.h"
#include "platform/Log.h"
#include "platform/PrivateFiles.h"

namespace {

// Each value is stored as {"type": ..., "value": ...} so its type survives the round trip.
QJsonObject encodeValue(const QVariant& v)
{
    QJsonObject o;
    switch (v.typeId()) {
        case QMetaType::Bool:
            o[QStringLiteral("type")] = QStringLiteral("bool");
            o[QStringLiteral("value")] = v.toBool();
            break;
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
            o[QStringLiteral("type")] = QStringLiteral("int");
            // As text: a JSON number would lose precision past 2^53.
            o[QStringLiteral("value")] = QString::number(v.toLongLong());
            break;
        case QMetaType::Double:
        case QMetaType::Float:
            o[QStringLiteral("type")] = QStringLiteral("double");
            o[QStringLiteral("value")] = v.toDouble();
            break;
        case QMetaType::QDateTime:
            o[QStringLiteral("type")] = QStringLiteral("date");
            o[QStringLiteral("value")] = double(v.toDateTime().toMSecsSinceEpoch()) / 1000.0;
            break;
        case QMetaType::QByteArray:
            o[QStringLiteral("type")] = QStringLiteral("data");
            o[QStringLiteral("value")] = QString::fromLatin1(v.toByteArray().toBase64());
            break;
        case QMetaType::QStringList:
            o[QStringLiteral("type")] = QStringLiteral("stringList");
            o[QStringLiteral("value")] = QJsonArray::fromStringList(v.toStringList());
            break;
        case QMetaType::QVariantMap: {
            QJsonObject entries;
            const QVariantMap map = v.toMap();
            for (auto it = map.begin(); it != map.end(); ++it) entries.insert(it.key(), encodeValue(it.value()));
            o[QStringLiteral("type")] = QStringLiteral("dictionary");
            o[QStringLiteral("value")] = entries;
            break;
        }
        default:
            o[QStringLiteral("type")] = QStringLiteral("string");
            o[QStringLiteral("value")] = v.toString();
            break;
    }
    return o;
}

// A number read as an integer, truncated; none outside the qint64 range (a hand-edited 1e300), where
// a plain cast is undefined.
std::optional<qint64> wholeNumber(double d)
{
    if (!(d >= -9223372036854775808.0 && d < 9223372036854775808.0)) return std::nullopt;  // NaN too
    return qint64(d);
}

// {"type": ..., "value": ...}: a value written with its type. Any other object is a dictionary written
// plainly.
bool isTyped(const QJsonObject& o)
{
    return o.value(QStringLiteral("type")).isString() && o.contains(QStringLiteral("value"));
}

QVariant decodeValue(const QJsonValue& jv);

QVariantMap decodeEntries(const QJsonObject& entries)
{
    QVariantMap map;
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        const QVariant entry = decodeValue(it.value());
        if (entry.isValid()) map.insert(it.key(), entry);
    }
    return map;
}

QVariant decodeValue(const QJsonValue& jv)
{
    // A plain value typed by hand ("key": true, "key": ["a", "b"]) reads as what it plainly is.
    if (jv.isBool()) return jv.toBool();
    if (jv.isString()) return jv.toString();
    if (jv.isDouble()) {
        const double d = jv.toDouble();
        if (std::trunc(d) == d && std::abs(d) < 9007199254740992.0) return QVariant::fromValue<qint64>(qint64(d));
        return d;
    }
    if (jv.isArray()) {
        // Only a list of strings is a list we know; anything else in it makes it one we cannot read.
        QStringList list;
        for (const QJsonValue& e : jv.toArray()) {
            if (!e.isString()) return {};
            list << e.toString();
        }
        return list;
    }
    const QJsonObject o = jv.toObject();
    if (jv.isObject() && !isTyped(o)) return decodeEntries(o);
    const QString type = o.value(QStringLiteral("type")).toString();
    const QJsonValue value = o.value(QStringLiteral("value"));
    if (type == QLatin1String("bool") && value.isBool()) return value.toBool();
    if (type == QLatin1String("int")) {
        bool ok = false;
        const qint64 n = value.toString().toLongLong(&ok);
        if (ok) return QVariant::fromValue<qint64>(n);
        if (value.isDouble())
            if (const auto whole = wholeNumber(value.toDouble())) return QVariant::fromValue<qint64>(*whole);
        return {};
    }
    if (type == QLatin1String("double") && value.isDouble()) return value.toDouble();
    if (type == QLatin1String("date") && value.isDouble()) {
        const auto ms = wholeNumber(value.toDouble() * 1000.0);
        const QDateTime date = ms ? QDateTime::fromMSecsSinceEpoch(*ms, Qt::UTC) : QDateTime();
        return date.isValid() ? QVariant(date) : QVariant();
    }
    if (type == QLatin1String("data") && value.isString()) return QByteArray::fromBase64(value.toString().toLatin1());
    if (type == QLatin1String("stringList") && value.isArray()) {
        QStringList list;
        for (const QJsonValue& e : value.toArray()) list << e.toString();
        return list;
    }
    if (type == QLatin1String("string") && value.isString()) return value.toString();
    if (type == QLatin1String("dictionary") && value.isObject()) return decodeEntries(value.toObject());
    return {};
}

// The entries of a dictionary as written, typed or plainly; none for any other value.
std::optional<QJsonObject> dictionaryEntries(const QJsonValue& jv)
{
    if (!jv.isObject()) return std::nullopt;
    const QJsonObject o = jv.toObject();
    if (!isTyped(o)) return o;
    if (o.value(QStringLiteral("type")).toString() == QLatin1String("dictionary") &&
        o.value(QStringLiteral("value")).isObject())
        return o.value(QStringLiteral("value")).toObject();
    return std::nullopt;
}

// The values to write, each with its type, beside what the file held that could not be read (a type
// of a later release, a hand-written list of numbers): that is the user's and stays as it was, also
// inside a dictionary. A value read from the file is written back with its type.
QJsonObject encodeKeeping(const QVariantMap& values, const QJsonObject& written)
{
    QJsonObject out;
    for (auto it = values.begin(); it != values.end(); ++it) {
        const auto entries =
            it.value().typeId() == QMetaType::QVariantMap ? dictionaryEntries(written.value(it.key())) : std::nullopt;
        if (entries)
            out.insert(it.key(), QJsonObject{{QStringLiteral("type"), QStringLiteral("dictionary")},
                                             {QStringLiteral("value"), encodeKeeping(it.value().toMap(), *entries)}});
        else
            out.insert(it.key(), encodeValue(it.value()));
    }
    for (auto it = written.begin(); it != written.end(); ++it)
        if (!values.contains(it.key()) && !decodeValue(it.value()).isValid()) out.insert(it.key(), it.value());
    return out;
}

// The top-level entries of a settings file's bytes; empty when they are no JSON object.
QJsonObject entriesOf(const QByteArray& bytes)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    return error.error == QJsonParseError::NoError && doc.isObject() ? doc.object() : QJsonObject();
}

// A stored fraction or numeric text read as an integer: truncated, held to the qint64 range (a plain
// cast of a value outside it is undefined), NaN as 0.
qint64 saturatingInt(double d)
{
    if (std::isnan(d)) return 0;
    if (d >= 9223372036854775807.0) return std::numeric_limits<qint64>::max();
    if (d <= -9223372036854775808.0) return std::numeric_limits<qint64>::min();
    return qint64(d);
}

QVariantMap decodeRoot(const QJsonObject& root)
{
    return decodeEntries(root);
}

// Equal in type and value: a stored string "1" is not the integer 1.
bool sameValue(const QVariant& a, const QVariant& b)
{
    if (a.isValid() != b.isValid()) return false;
    return !a.isValid() || (a.typeId() == b.typeId() && a == b);
}

std::unique_ptr<Settings>& sharedSlot()
{
    static std::unique_ptr<Settings> instance;
    return instance;
}

QString refusalText(const BoundedFile::Refused& refused)
{
    switch (refused.failure) {
        case BoundedFile::Failure::Missing:
            return QStringLiteral("it does not exist");
        case BoundedFile::Failure::Folder:
            return QStringLiteral("it is a folder");
        case BoundedFile::Failure::NotRegular:
            return QStringLiteral("it is not a regular file");
        case BoundedFile::Failure::TooLarge:
            return QStringLiteral("it is larger than 1 MiB");
        case BoundedFile::Failure::Unreadable:
            break;
    }
    return refused.error;
}

}  // namespace

FileSettingsBackend::FileSettingsBackend(QString path) : m_path(std::move(path)) {}

QString FileSettingsBackend::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/tarnwick/settings.json");
}

QVariantMap FileSettingsBackend::load()
{
    // Files left readable by an earlier release (or the umask) are made private again.
    if (QFileInfo::exists(QFileInfo(m_path).absolutePath()))
        PrivateFiles::restrictTree(QFileInfo(m_path).absolutePath());
    removeStaleTemps();
    const auto read = BoundedFile::read(m_path, maxFileBytes);
    if (const auto* refused = std::get_if<BoundedFile::Refused>(&read)) {
        // Anything but a missing file is left where it is for the user: reported, never read, never replaced.
        if (refused->failure != BoundedFile::Failure::Missing)
            qCWarning(Log::app, "Settings file was unreadable and was left as it is: %s",
                      qUtf8Printable(refusalText(*refused)));
        return {};
    }
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(std::get<QByteArray>(read), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        // Keep the unreadable file for the user, beside where it was; the next write would otherwise
        // replace it. Through a link the file it leads to is moved, the link is kept, and an empty file
        // takes the old one's place at once, so the link never dangles.
        const QByteArray real = PrivateFiles::realPath(QFile::encodeName(m_path));
        const QString from = real.isEmpty() ? m_path : QFile::decodeName(real);
        const QString aside = from + QStringLiteral(".corrupt-") +
                              QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddHHmmss"));
        if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(aside).constData()) != 0) {
            qCWarning(Log::app, "Settings file was unreadable and was left as it is: %s", std::strerror(errno));
            return {};
        }
        qCWarning(Log::app, "Settings file was unreadable and was moved to %s", qUtf8Printable(aside));
        if (QFileInfo(m_path).isSymLink()) write({}, nullptr);
        return {};
    }
    return decodeRoot(doc.object());
}

void FileSettingsBackend::removeStaleTemps() const
{
    const std::optional<QByteArray> target = PrivateFiles::resolvedPath(QFile::encodeName(m_path));
    if (!target) return;
    const qsizetype slash = target->lastIndexOf('/');
    const QDir folder(QFile::decodeName(target->left(slash)));
    const QRegularExpression ours(QRegularExpression::anchoredPattern(
        QRegularExpression::escape(QFile::decodeName(target->mid(slash + 1)) + QLatin1String(tempMark)) +
        QStringLiteral("[A-Za-z0-9]{6}")));
    const QDateTime stale = QDateTime::currentDateTimeUtc().addSecs(-staleTempSeconds);
    for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (!ours.match(name).hasMatch()) continue;
        const QByteArray path = QFile::encodeName(folder.filePath(name));
        struct stat st {};
        if (::lstat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::getuid()) continue;
        if (QDateTime::fromSecsSinceEpoch(st.st_mtime, Qt::UTC) < stale) ::unlink(path.constData());
    }
}

SettingsBackend::Snapshot FileSettingsBackend::reread()
{
    return snapshotOf(m_path);
}

SettingsBackend::Snapshot FileSettingsBackend::snapshotOf(const QString& path) const
{
    const auto read = BoundedFile::read(path, maxFileBytes);
    if (const auto* refused = std::get_if<BoundedFile::Refused>(&read)) {
        if (refused->failure == BoundedFile::Failure::Missing) return {Snapshot::State::missing, {}, {}, {}};
        return {Snapshot::State::unreadable, {}, refusalText(*refused), {}};
    }
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(std::get<QByteArray>(read), &error);
    if (error.error != QJsonParseError::NoError) return {Snapshot::State::unreadable, {}, error.errorString(), {}};
    if (!doc.isObject()) return {Snapshot::State::unreadable, {}, QStringLiteral("not a JSON object"), {}};
    return {Snapshot::State::values, decodeRoot(doc.object()), {}, std::get<QByteArray>(read)};
}

bool FileSettingsBackend::store(const QVariantMap& values)
{
    return write(values, nullptr).result == StoreResult::stored;
}

SettingsBackend::StoreOutcome FileSettingsBackend::storeOver(const QVariantMap& values, const Snapshot& since)
{
    return write(values, &since);
}

bool FileSettingsBackend::unchangedSince(const Snapshot& since) const
{
    const auto read = BoundedFile::read(m_path, maxFileBytes);
    if (const auto* refused = std::get_if<BoundedFile::Refused>(&read))
        return refused->failure == BoundedFile::Failure::Missing && since.state == Snapshot::State::missing;
    return since.state == Snapshot::State::values && std::get<QByteArray>(read) == since.content;
}

SettingsBackend::StoreOutcome FileSettingsBackend::failed(const QString& why)
{
    // Tried again and again while it fails: each new reason is told once.
    if (why != std::exchange(m_lastFailure, why))
        qCWarning(Log::app, "Settings file could not be written: %s", qUtf8Printable(why));
    return {StoreResult::failed, std::nullopt};
}

SettingsBackend::StoreOutcome FileSettingsBackend::write(const QVariantMap& values, const Snapshot* since)
{
    // A pipe, device or folder in the file's place was put there by someone: it is not replaced.
    const QFileInfo existing(m_path);
    if (existing.exists() && !existing.isFile()) return failed(QStringLiteral("it is not a regular file"));
    PrivateFiles::makeFolder(existing.absolutePath());
    // What the file held that we could not read is written back as it was: from the file as last read
    // (the one this write replaces), else as it is now, and what a file we swapped out held beside it.
    QJsonObject written;
    if (since) {
        written = entriesOf(since->content);
    } else {
        const auto read = BoundedFile::read(m_path, maxFileBytes);
        if (const auto* bytes = std::get_if<QByteArray>(&read)) written = entriesOf(*bytes);
    }
    for (auto it = m_keptFromReplaced.begin(); it != m_keptFromReplaced.end(); ++it)
        written.insert(it.key(), it.value());
    const QJsonObject root = encodeKeeping(values, written);
    const QByteArray bytes = QJsonDocument(root).toJson(QJsonDocument::Indented);

    // Through a link (a folder of dotfiles, say) the file it points to is replaced, not the link; a link
    // to a file not made yet makes that file.
    const std::optional<QByteArray> target = PrivateFiles::resolvedPath(QFile::encodeName(m_path));
    if (!target) return failed(QString::fromLocal8Bit(std::strerror(errno)));
    const QByteArray& dest = *target;
    QByteArray temp = dest + tempMark + "XXXXXX";
    const int fd = ::mkstemp(temp.data());  // private (0600) from the start
    if (fd < 0) return failed(QString::fromLocal8Bit(std::strerror(errno)));
    bool complete = true;
    for (qsizetype done = 0; complete && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR) continue;
        complete = n > 0;
        if (complete) done += n;
    }
    const int writeError = errno;
    // On disk before it takes the file's place, so a crash never leaves a settings file half written.
    // (A file system that cannot sync is no failure; one that fails to is.)
    const bool synced = ::fsync(fd) == 0 || errno == EINVAL || errno == ENOTSUP;
    const int syncError = errno;
    ::close(fd);
    auto discard = [&temp] { ::unlink(temp.constData()); };
    if (!complete || !synced) {
        discard();
        return failed(QString::fromLocal8Bit(std::strerror(complete ? syncError : writeError)));
    }
    // The swap itself is on disk only once the folder is: until then a power cut brings the old file
    // back, with the new one left under its temporary name.
    auto stored = [this, &dest](std::optional<Snapshot> replaced = std::nullopt) {
        if (!DurableFile::syncFolder(QFile::decodeName(dest)))
            return failed(QString::fromLocal8Bit(std::strerror(errno)));
        m_lastFailure.clear();
        m_keptFromReplaced = {};
        // A file ours took the place of may hold entries we cannot read: kept for the write that follows.
        if (replaced && replaced->state == Snapshot::State::values) {
            const QJsonObject theirs = entriesOf(replaced->content);
            for (auto it = theirs.begin(); it != theirs.end(); ++it)
                if (!decodeValue(it.value()).isValid()) m_keptFromReplaced.insert(it.key(), it.value());
        }
        return StoreOutcome{StoreResult::stored, std::move(replaced)};
    };

    if (m_writeHook) m_writeHook(WriteStep::written);
    // Looked at as late as possible: a write from outside after the values were read would be replaced
    // unseen.
    if (since && !unchangedSince(*since)) {
        discard();
        return {StoreResult::changedSince, std::nullopt};
    }
    if (m_writeHook) m_writeHook(WriteStep::checked);
    // No rename is conditional on the file it replaces, so one that came in since the look above is
    // swapped out rather than replaced: what left the file's place is looked at, and taken in when it
    // is not what was read.
    if (since && since->state == Snapshot::State::missing) {
        if (::renameat2(AT_FDCWD, temp.constData(), AT_FDCWD, dest.constData(), RENAME_NOREPLACE) == 0) return stored();
        if (errno == EEXIST) {
            discard();
            return {StoreResult::changedSince, std::nullopt};
        }
    } else if (since) {
        if (::renameat2(AT_FDCWD, temp.constData(), AT_FDCWD, dest.constData(), RENAME_EXCHANGE) == 0) {
            // A pipe, folder or link put in the file's place meanwhile is not ours to replace: it goes
            // back, untouched, and the next try finds it there. (Only ours is removed: when it cannot go
            // back, both stay.)
            struct stat out {};
            if (::lstat(temp.constData(), &out) == 0 && !S_ISREG(out.st_mode)) {
                if (::renameat2(AT_FDCWD, temp.constData(), AT_FDCWD, dest.constData(), RENAME_EXCHANGE) == 0)
                    discard();
                return {StoreResult::changedSince, std::nullopt};
            }
            Snapshot replaced = snapshotOf(QFile::decodeName(temp));
            discard();
            if (replaced.state == Snapshot::State::values && replaced.content == since->content) return stored();
            return stored(std::move(replaced));
        }
        if (errno == ENOENT) {  // removed since: read again
            discard();
            return {StoreResult::changedSince, std::nullopt};
        }
    }
    // Without a swap (no look was asked for, or the file system has none) a plain replacement.
    if (::rename(temp.constData(), dest.constData()) != 0) {
        const int renameError = errno;
        discard();
        return failed(QString::fromLocal8Bit(std::strerror(renameError)));
    }
    return stored();
}

Settings::Settings(std::unique_ptr<SettingsBackend> backend, QObject* parent)
    : QObject(parent), m_backend(std::move(backend))
{
    m_values = m_backend->load();
    m_base = m_values;
    watch();
}

Settings::~Settings() = default;

Settings& Settings::shared()
{
    auto& slot = sharedSlot();
    if (!slot)
        slot = std::make_unique<Settings>(std::make_unique<FileSettingsBackend>(FileSettingsBackend::defaultPath()));
    return *slot;
}

void Settings::setShared(std::unique_ptr<Settings> settings)
{
    sharedSlot() = std::move(settings);
}

QVariant Settings::value(const QString& key) const
{
    auto it = m_values.constFind(key);
    if (it != m_values.constEnd()) return *it;
    return m_defaults.value(key);
}

QVariant Settings::storedValue(const QString& key) const
{
    return m_values.value(key);
}

bool Settings::contains(const QString& key) const
{
    return m_values.contains(key);
}

bool Settings::boolValue(const QString& key) const
{
    const QVariant v = value(key);
    switch (v.typeId()) {
        case QMetaType::Bool:
            return v.toBool();
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::UInt:
        case QMetaType::ULongLong:
        case QMetaType::Double:
            return v.toDouble() != 0.0;
        case QMetaType::QString: {
            const QString s = v.toString().trimmed().toLower();
            return s == QLatin1String("true") || s == QLatin1String("yes") || s.toLongLong() != 0;
        }
        default:
            return false;
    }
}

qint64 Settings::intValue(const QString& key) const
{
    const QVariant v = value(key);
    switch (v.typeId()) {
        case QMetaType::Bool:
            return v.toBool() ? 1 : 0;
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::UInt:
        case QMetaType::ULongLong:
            return v.toLongLong();
        case QMetaType::Double:
            return saturatingInt(v.toDouble());
        case QMetaType::QString:
            return saturatingInt(v.toString().trimmed().toDouble());
        default:
            return 0;
    }
}

double Settings::doubleValue(const QString& key) const
{
    const QVariant v = value(key);
    switch (v.typeId()) {
        case QMetaType::Bool:
            return v.toBool() ? 1.0 : 0.0;
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::UInt:
        case QMetaType::ULongLong:
        case QMetaType::Double:
            return v.toDouble();
        case QMetaType::QString:
            return v.toString().trimmed().toDouble();
        default:
            return 0.0;
    }
}

QString Settings::stringValue(const QString& key) const
{
    const QVariant v = value(key);
    return v.typeId() == QMetaType::QString ? v.toString() : QString();
}

std::optional<QDateTime> Settings::dateValue(const QString& key) const
{
    const QVariant v = value(key);
    if (v.typeId() == QMetaType::QDateTime) return v.toDateTime();
    // Written plainly: JSON has no dates, so an ISO 8601 text ("2026-12-09T13:30:00Z") stands for one.
    if (v.typeId() == QMetaType::QString) {
        const QDateTime date = QDateTime::fromString(v.toString().trimmed(), Qt::ISODateWithMs);
        if (date.isValid()) return date.toUTC();
    }
    return std::nullopt;
}

QByteArray Settings::dataValue(const QString& key) const
{
    const QVariant v = value(key);
    return v.typeId() == QMetaType::QByteArray ? v.toByteArray() : QByteArray();
}

QStringList Settings::stringListValue(const QString& key) const
{
    const QVariant v = value(key);
    return v.typeId() == QMetaType::QStringList ? v.toStringList() : QStringList();
}

std::optional<bool> Settings::boolIfStored(const QString& key) const
{
    const QVariant v = value(key);
    if (v.typeId() == QMetaType::Bool) return v.toBool();
    return std::nullopt;
}

void Settings::setValue(const QString& key, const QVariant& value)
{
    if (!value.isValid()) {
        remove(key);
        return;
    }
    QVariant normalized = value;
    if (value.typeId() == QMetaType::Int || value.typeId() == QMetaType::UInt || value.typeId() == QMetaType::ULongLong)
        normalized = QVariant::fromValue<qint64>(value.toLongLong());
    else if (value.typeId() == QMetaType::Float)
        normalized = value.toDouble();
    auto it = m_values.constFind(key);
    const bool same = it != m_values.constEnd() && it->typeId() == normalized.typeId() && *it == normalized;
    m_values.insert(key, normalized);
    if (same) return;
    persist(key);
    Q_EMIT valueChanged(key);
}

void Settings::remove(const QString& key)
{
    if (m_values.remove(key) == 0) return;
    persist(key);
    Q_EMIT valueChanged(key);
}

void Settings::registerDefaults(const QVariantMap& defaults)
{
    for (auto it = defaults.begin(); it != defaults.end(); ++it) {
        QVariant v = it.value();
        if (v.typeId() == QMetaType::Int) v = QVariant::fromValue<qint64>(v.toLongLong());
        m_defaults.insert(it.key(), v);
    }
}

void Settings::persist(const QString& key)
{
    // Another process may write the file between our read and our write: then it is read and merged
    // again. A file that never stops changing is written over at the last try, so the change made here
    // is not dropped either.
    constexpr int tries = 10;
    using Result = SettingsBackend::StoreResult;
    for (int attempt = 1;; ++attempt) {
        SettingsBackend::Snapshot read;
        if (!takeOutsideChanges(key, &read)) {
            // Left as it is: the values stay in memory and are written once the file reads again.
            m_unwritten = true;
            setLastWriteOk(false);
            retryLater();
            return;
        }
        const QVariantMap written = m_values;
        const SettingsBackend::StoreOutcome outcome =
            attempt < tries ? m_backend->storeOver(m_values, read)
                            : SettingsBackend::StoreOutcome{
                                  m_backend->store(m_values) ? Result::stored : Result::failed, std::nullopt};
        if (outcome.result == Result::changedSince) continue;
        if (outcome.replaced) {
            // Ours took the place of a write from outside: the file holds ours, and what the other
            // changed (against what we read) is taken in and written again.
            m_base = written;
            if (outcome.replaced->state == SettingsBackend::Snapshot::State::values)
                for (const QString& changed : applyOutside(read.values, outcome.replaced->values, key))
                    Q_EMIT valueChanged(changed);
            continue;
        }
        m_unwritten = outcome.result != Result::stored;
        break;
    }
    if (!m_unwritten) m_base = m_values;
    retryLater();
    watch();
    setLastWriteOk(!m_unwritten);
}

void Settings::setLastWriteOk(bool ok)
{
    if (std::exchange(m_lastWriteOk, ok) != ok) Q_EMIT writeStateChanged(ok);
}

void Settings::retryLater()
{
    if (!m_unwritten) {
        m_retryDelay = 0;
        m_lastTry.invalidate();
        if (m_retry) m_retry->stop();
        return;
    }
    m_lastTry.start();
    m_retryDelay = m_retryDelay == 0 ? retryFirstMs : std::min(2 * m_retryDelay, retryLastMs);
    if (!m_retry) {
        m_retry = new QTimer(this);
        m_retry->setSingleShot(true);
        connect(m_retry, &QTimer::timeout, this, [this] { persist(); });
    }
    m_retry->start(m_retryDelay);
}

void Settings::mergeOutsideChanges()
{
    if (takeOutsideChanges({}) && m_unwritten) persist();
}

void Settings::folderChanged()
{
    // A failed write is tried again at once when something changed, but not for the stir its own try
    // made in the folder: that would make a loop of it.
    if (m_unwritten && m_lastTry.isValid() && m_lastTry.elapsed() < retryFirstMs) {
        takeOutsideChanges({});
        return;
    }
    mergeOutsideChanges();
}

bool Settings::takeOutsideChanges(const QString& keep, SettingsBackend::Snapshot* read)
{
    const SettingsBackend::Snapshot now = m_backend->reread();
    if (read) *read = now;
    using State = SettingsBackend::Snapshot::State;
    if (now.state == State::unreadable) {
        if (!std::exchange(m_toldUnreadable, true))
            qCWarning(Log::app, "Settings file could not be read (%s); it is left as it is until it can be.",
                      qUtf8Printable(now.problem));
        return false;
    }
    m_toldUnreadable = false;
    // A file that went away (an editor between writes, or removed) takes nothing from the values in use.
    if (now.state == State::missing) return true;

    const QStringList changed = applyOutside(m_base, now.values, keep);
    // What the file holds, and nothing more: a write that fails must not count as stored, or the next
    // read would take the file's older value for a change made outside and drop the one in memory.
    m_base = now.values;
    for (const QString& key : changed) Q_EMIT valueChanged(key);
    return true;
}

QStringList Settings::applyOutside(const QVariantMap& base, const QVariantMap& outside, const QString& keep)
{
    QStringList changed;
    QStringList keys = base.keys() + outside.keys();
    keys.removeDuplicates();
    for (const QString& key : keys) {
        const QVariant theirs = outside.value(key);
        if (key == keep || sameValue(theirs, base.value(key))) continue;
        if (sameValue(theirs, m_values.value(key))) continue;
        if (theirs.isValid())
            m_values.insert(key, theirs);
        else
            m_values.remove(key);
        changed << key;
    }
    return changed;
}

void Settings::watch()
{
    const QString path = m_backend->watchedPath();
    if (path.isEmpty()) return;
    if (!m_watcher) {
        m_watcher = new QFileSystemWatcher(this);
        m_settle = new QTimer(this);
        m_settle->setSingleShot(true);
        // Editors write in several steps; read once they are done.
        m_settle->setInterval(150);
        connect(m_settle, &QTimer::timeout, this, [this] {
            folderChanged();
            watch();
        });
        connect(m_watcher, &QFileSystemWatcher::fileChanged, m_settle, qOverload<>(&QTimer::start));
        connect(m_watcher, &QFileSystemWatcher::directoryChanged, m_settle, qOverload<>(&QTimer::start));
    }
    // The folder too: a file replaced by renaming (as every atomic write does) drops its own watch.
    const QString dir = QFileInfo(path).absolutePath();
    const QStringList watched = m_watcher->files() + m_watcher->directories();
    if (!watched.contains(dir) && QFileInfo::exists(dir)) m_watcher->addPath(dir);
    if (!watched.contains(path) && QFileInfo::exists(path)) m_watcher->addPath(path);
}
