#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QFileSystemWatcher>
#include <QJsonObject>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QVariant>
#include <QVariantMap>
#include <functional>
#include <memory>
#include <optional>

// Where settings are kept. The file backend writes a JSON document atomically; the memory backend
// serves tests.
class SettingsBackend {
public:
    // What another process may have left: the values, no file at all, or a file that cannot be read.
    struct Snapshot {
        enum class State { values, missing, unreadable } state = State::values;
        QVariantMap values;
        QString problem;     // unreadable: why
        QByteArray content;  // values: the bytes read, so a write can tell whether the file changed since
    };
    enum class StoreResult { stored, failed, changedSince };
    struct StoreOutcome {
        StoreResult result = StoreResult::failed;
        // Stored, but in the place of a file another process wrote after `since` was read: what that
        // file held, whose changes are to be taken in and written again.
        std::optional<Snapshot> replaced;
    };

    virtual ~SettingsBackend() = default;
    virtual QVariantMap load() = 0;
    // Returns false when the values could not be written (the caller keeps them in memory).
    virtual bool store(const QVariantMap& values) = 0;
    // Writes the values unless the stored ones are no longer those `since` read: another process wrote
    // in between, and writing now would drop its change.
    virtual StoreOutcome storeOver(const QVariantMap& values, const Snapshot& since)
    {
        (void)since;
        return {store(values) ? StoreResult::stored : StoreResult::failed, std::nullopt};
    }
    // The stored values as they are now, read without changing anything.
    virtual Snapshot reread() { return {Snapshot::State::values, load(), {}}; }
    // A file that other processes may change; empty when there is none to watch.
    virtual QString watchedPath() const { return {}; }
};

class MemorySettingsBackend : public SettingsBackend {
public:
    QVariantMap load() override { return m_values; }
    bool store(const QVariantMap& values) override
    {
        m_values = values;
        return true;
    }

private:
    QVariantMap m_values;
};

// A JSON file. Each value is written with its type, so a stored string never reads back as a Boolean
// and an integer never turns into a double; a value written plainly by hand (true, 3, "text", a list of
// strings, an object of such values) reads as what it plainly is. An entry that cannot be read is left
// out of the values and written back as it was. A file that cannot be parsed is moved aside (never
// overwritten) and reading starts empty.
class FileSettingsBackend : public SettingsBackend {
public:
    // A settings file is a few KB; one larger than this is not read at all (and left as it is).
    static constexpr qint64 maxFileBytes = 1024 * 1024;
    // A write goes to "<file><tempMark><six letters or digits>" beside the file first. One left by a
    // write cut short and older than staleTempSeconds is removed at launch.
    static constexpr char tempMark[] = ".tarnwick-write-";
    static constexpr int staleTempSeconds = 60;

    explicit FileSettingsBackend(QString path);
    QVariantMap load() override;
    bool store(const QVariantMap& values) override;
    StoreOutcome storeOver(const QVariantMap& values, const Snapshot& since) override;
    Snapshot reread() override;
    QString watchedPath() const override { return m_path; }
    QString path() const { return m_path; }
    // $XDG_CONFIG_HOME/tarnwick/settings.json
    static QString defaultPath();
    // For tests: runs at the steps of a write where another process's write would otherwise be lost:
    // the new file is on disk, and the stored one has been looked at again (just before the swap).
    enum class WriteStep { written, checked };
    void setWriteHook(std::function<void(WriteStep)> hook) { m_writeHook = std::move(hook); }

private:
    StoreOutcome write(const QVariantMap& values, const Snapshot* since);
    StoreOutcome failed(const QString& why);
    void removeStaleTemps() const;
    bool unchangedSince(const Snapshot& since) const;
    Snapshot snapshotOf(const QString& path) const;

    QString m_path;
    std::function<void(WriteStep)> m_writeHook;
    QString m_lastFailure;  // why the last write failed; empty after one that succeeded
    // Entries we could not read in a file our write swapped out, to be written back by the next write.
    QJsonObject m_keptFromReplaced;
};

// Typed key/value settings with registered defaults, in the manner of user defaults: a stored value
// wins over a registered default, and registering defaults writes nothing.
// The file may be edited by hand while the application runs: a change made outside is read and
// applied (valueChanged as for a change made here), and every write first takes in what changed
// outside, so it is kept; a file changed again while a write is under way is read and merged again
// before it is replaced. Per key the later write wins. A file that cannot be read is left as it is
// (reported once) and nothing is written over it until it can be read again.
// Values that could not be written stay in memory and are written again by themselves: after a pause
// that grows from retryFirstMs to retryLastMs, and at once when the file's folder changes.
// Supported value types: bool, int (qint64), double, QString, QDateTime, QByteArray, QStringList, and
// QVariantMap of these (a dictionary).
class Settings : public QObject {
    Q_OBJECT
public:
    explicit Settings(std::unique_ptr<SettingsBackend> backend, QObject* parent = nullptr);
    ~Settings() override;

    // The process-wide settings. Until setShared() is called it is a file-backed instance at the
    // default path.
    static Settings& shared();
    static void setShared(std::unique_ptr<Settings> settings);

    // The stored value, else the registered default, else an invalid QVariant.
    QVariant value(const QString& key) const;
    // Only what is stored; invalid when nothing is.
    QVariant storedValue(const QString& key) const;
    bool contains(const QString& key) const;

    // Readers in the manner of user defaults: a number or a recognised string is converted, anything
    // else gives the type's empty value.
    bool boolValue(const QString& key) const;
    qint64 intValue(const QString& key) const;
    double doubleValue(const QString& key) const;
    QString stringValue(const QString& key) const;  // empty unless a string is there
    // A date, or an ISO 8601 text (a date written plainly).
    std::optional<QDateTime> dateValue(const QString& key) const;
    QByteArray dataValue(const QString& key) const;
    QStringList stringListValue(const QString& key) const;
    // Strict readers: a value only when one of exactly that type is there (stored or default).
    std::optional<bool> boolIfStored(const QString& key) const;

    void setValue(const QString& key, const QVariant& value);
    void remove(const QString& key);

    void registerDefaults(const QVariantMap& defaults);

    static constexpr int retryFirstMs = 1000;
    static constexpr int retryLastMs = 32000;

    // False when the last write to the backend failed; writeStateChanged tells when that changes,
    // a background retry that succeeds included.
    bool lastWriteSucceeded() const { return m_lastWriteOk; }

    // Takes in what another process changed since the last read or write. Runs by itself shortly
    // after the file changes on disk.
    void mergeOutsideChanges();

Q_SIGNALS:
    void valueChanged(const QString& key);
    void writeStateChanged(bool succeeded);

private:
    // Writes the values after taking in outside changes; `key` is the one just set here, which wins.
    void persist(const QString& key = {});
    // Applies the changes from `base` to `outside` but those to `keep`; returns the keys changed.
    QStringList applyOutside(const QVariantMap& base, const QVariantMap& outside, const QString& keep);
    // Applies outside changes but those to `keep`; false when the stored values cannot be read.
    // `read`, when given, receives what was read.
    bool takeOutsideChanges(const QString& keep, SettingsBackend::Snapshot* read = nullptr);
    void watch();
    // After a write: when it failed, the next try is set up.
    void retryLater();
    void folderChanged();
    void setLastWriteOk(bool ok);

    std::unique_ptr<SettingsBackend> m_backend;
    QVariantMap m_values;
    // What the backend held after our last read or write: a difference from it is an outside change.
    QVariantMap m_base;
    bool m_unwritten = false;
    bool m_toldUnreadable = false;
    QFileSystemWatcher* m_watcher = nullptr;
    QTimer* m_settle = nullptr;
    QTimer* m_retry = nullptr;
    int m_retryDelay = 0;
    QElapsedTimer m_lastTry;  // since the last write that failed
    QVariantMap m_defaults;
    bool m_lastWriteOk = true;
};
