#include "store/PersistenceController.h"

#include <QFile>
#include <QFileInfo>

#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/PrivateFiles.h"
#include "store/StoreMigration.h"
#include "store/StoreSnapshot.h"
#include "store/TarnwickSchemaV2.h"

std::optional<PersistenceController::Opened>& PersistenceController::state()
{
    static std::optional<Opened> opened;
    return opened;
}

ModelContainer& PersistenceController::shared(const Clock& clock)
{
    std::optional<Opened>& opened = state();
    if (!opened) opened = open(StoreMigration::currentDirectory(), StoreMigration::legacyDirectory(), clock);
    return *opened->container;
}

std::optional<QString> PersistenceController::storeFailure()
{
    // Reading the failure must not open the store.
    const std::optional<Opened>& opened = state();
    return opened ? opened->failure : std::nullopt;
}

std::optional<QString> PersistenceController::storeFailureMessage()
{
    const std::optional<Opened>& opened = state();
    return opened ? opened->failureMessage : std::nullopt;
}

PersistenceController::Opened PersistenceController::open(const std::optional<QString>& storeDirectory,
                                                          const std::optional<QString>& legacyDirectory,
                                                          const Clock& clock)
{
    if (auto line = StoreMigration::carryForwardIfNeeded(legacyDirectory, storeDirectory))
        qCInfo(Log::store, "%s", qUtf8Printable(*line));
    const Schema schema = TarnwickSchemaV2::schema();
    const QString fingerprint = StoreSnapshot::fingerprint(schema, QString());
    if (auto line = StoreSnapshot::captureIfSchemaChanged(fingerprint, storeDirectory, clock))
        qCInfo(Log::store, "%s", qUtf8Printable(*line));

    Opened opened;
    // SQLite creates its files with the umask's mode and gives its log and index files the mode of the
    // main file, so a private main file keeps all three private.
    const QString storeFile = storeDirectory ? *storeDirectory + QStringLiteral("/default.store") : QString();
    // Whatever an earlier release or the umask left readable to others is made private as well.
    const bool storeExisted = storeDirectory && QFileInfo::exists(storeFile);
    if (storeDirectory) {
        PrivateFiles::createFile(storeFile);
        PrivateFiles::restrictTree(*storeDirectory);
    }
    auto container = storeDirectory ? ModelContainer::open(schema, storeFile)
                                    : Result<std::unique_ptr<ModelContainer>, StoreError>(
                                          StoreError{0, StoreMigration::directoryProblem(), QString()});
    if (container) {
        StoreSnapshot::record(fingerprint, storeDirectory);
        opened.container = std::move(container).value();
    } else {
        const StoreError& error = container.error();
        qCCritical(Log::store, "Failed to open the persistent store: %s; falling back to in-memory for this session.",
                   qUtf8Printable(error.description()));
        opened.failure = error.debugDescription();
        opened.failureMessage = error.description();
        // The empty file made above for this opening is not a store; leave nothing behind.
        if (storeDirectory && !storeExisted && QFileInfo(storeFile).size() == 0) QFile::remove(storeFile);
        auto memory = ModelContainer::openInMemory(schema);
        if (!memory)
            qFatal("The in-memory store could not be opened: %s", qUtf8Printable(memory.error().debugDescription()));
        opened.container = std::move(memory).value();
    }
    return opened;
}
