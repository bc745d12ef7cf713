#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// Carries the store files from the legacy folder into the folder the store now lives in, once,
// when the store is not there yet. Never overwrites; the legacy files are only read.
class StoreMigration {
public:
    StoreMigration() = delete;

    // "default.store", "default.store-shm", "default.store-wal", in copy order.
    static const QStringList& files();

    // A line for the log when something was copied or a copy failed; none otherwise.
    static std::optional<QString> carryForwardIfNeeded();
    static std::optional<QString> carryForwardIfNeeded(const std::optional<QString>& legacyDirectory,
                                                       const std::optional<QString>& currentDirectory);

    // $XDG_DATA_HOME itself, where a store may have been left directly.
    static std::optional<QString> legacyDirectory();
    // $XDG_DATA_HOME/tarnwick, created when missing; none when it cannot be made.
    static std::optional<QString> currentDirectory();
    // Where the store lives, whether or not the folder can be made ("" only without a data folder).
    static QString directoryPath();
    // Why currentDirectory() gave none, in words: the folder named and the real cause.
    static QString directoryProblem();
    static QString directoryProblem(const QString& directory);
};
