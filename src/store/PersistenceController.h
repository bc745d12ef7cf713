#pragma once

#include <QString>
#include <memory>
#include <optional>

#include "platform/ModelContainer.h"

class Clock;

// Opens the store once per process, before any service exists: carries the files forward from the
// legacy folder, snapshots the store when the schema changed, opens it with TarnwickSchemaV2, and
// when that fails carries on with a store in memory, keeping the error for the shell to show.
class PersistenceController {
public:
    PersistenceController() = delete;

    // The container; the first call opens it, stamping a snapshot it takes with `clock`'s time.
    static ModelContainer& shared(const Clock& clock);
    // Closes the store opened by shared(), if any, and forgets it: called before main() returns, once
    // nothing uses it, so that nothing reaches the disk while the process tears down its statics.
    static void close();
    // None while the on-disk store is open (or not opened yet); otherwise why opening it failed.
    static std::optional<QString> storeFailure();
    // The same failure in words, as the user is shown it ("file is not a database").
    static std::optional<QString> storeFailureMessage();

    struct Opened {
        std::unique_ptr<ModelContainer> container;
        std::optional<QString> failure;         // every field of the error, for the record
        std::optional<QString> failureMessage;  // its message alone
    };
    // The opening sequence for a given store and legacy folder (none: not available).
    static Opened open(const std::optional<QString>& storeDirectory, const std::optional<QString>& legacyDirectory,
                       const Clock& clock);

    // Makes the store's own files and folders private to the user.
    static void restrictStore(const QString& storeDirectory);

private:
    // None until the first call of shared().
    static std::optional<Opened>& state();
};
