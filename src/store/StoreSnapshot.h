#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

#include "platform/Schema.h"

class Clock;

// Guards the store against a schema change: the schema reduced to a fingerprint, and a copy of the
// store files taken before a store written under another fingerprint is opened (and migrated).
// Snapshots live in "TarnwickSnapshots" in the store directory, one folder per snapshot named by
// its local time, the five newest kept.
class StoreSnapshot {
public:
    StoreSnapshot() = delete;

    static QString folder() { return QStringLiteral("TarnwickSnapshots"); }
    static QString fingerprintFile() { return QStringLiteral("schema-fingerprint"); }
    // Where the store may keep large values outside its main file.
    static QString supportFolder() { return QStringLiteral(".default_SUPPORT"); }
    // "default.store", "default.store-shm", "default.store-wal", ".default_SUPPORT", in copy order.
    static const QStringList& items();
    static constexpr int kept = 5;

    // SHA-256 (64 lower-case hex digits) of the entity names, each with its sorted attribute names,
    // sorted; `extra`, when not empty, is appended after a "|".
    static QString fingerprint(const Schema& schema, const QString& extra);

    // Takes a snapshot when the recorded fingerprint differs from `fingerprint` and a store exists;
    // records it on a first start. Only the store's own items are copied: its files (through a link,
    // as the system resolves it) and its support folder; a folder, pipe or a link that leads nowhere
    // in a file's place is not. Returns a line for the log, or none.
    static std::optional<QString> captureIfSchemaChanged(const QString& fingerprint,
                                                         const std::optional<QString>& storeDirectory,
                                                         const Clock& clock);

    // Writes the fingerprint as the recorded one; failures are silent.
    static void record(const QString& fingerprint, const std::optional<QString>& storeDirectory);
    static std::optional<QString> storedFingerprint(const std::optional<QString>& storeDirectory);

    // "yyyyMMdd-HHmmss" in local time.
    static QString stamp(const QDateTime& moment);
    // Removes all but the five snapshot folders whose names sort last.
    static void prune(const std::optional<QString>& storeDirectory);
};
