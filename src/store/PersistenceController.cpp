#include "store/PersistenceController.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/PrivateFiles.h"
#include "store/StoreMigration.h"
#include "store/StoreSnapshot.h"
#include "store/TarnwickSchemaV2.h"

void PersistenceController::restrictStore(const QString& storeDirectory)
{
    // Only what is ours, whatever an earlier release or the umask left readable to others: the folder,
    // the store's files (through the user's link, as the system resolves it), its support folder and the
    // snapshots. A folder or anything else standing in a file's place, and whatever else the folder
    // holds, is left as it is.
    PrivateFiles::restrict(storeDirectory);
    const QDir store(storeDirectory);
    for (const QString& name : StoreMigration::files()) PrivateFiles::restrictFile(store.filePath(name));
    for (const QString& name : {StoreSnapshot::supportFolder(), StoreSnapshot::folder()})
        PrivateFiles::restrictTree(store.filePath(name));
}

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

void PersistenceController::close()
{
    state().reset();
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
    QString made;
    if (storeDirectory) {
        PrivateFiles::createFile(storeFile, &made);
        restrictStore(*storeDirectory);
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
        // The empty file made above for this opening is not a store; leave nothing behind. Only that
        // file: a link of the user's in its place stays, wherever it leads.
        if (!made.isEmpty()) {
            const QFileInfo file(made);
            if (file.isFile() && !file.isSymLink() && file.size() == 0) QFile::remove(made);
        }
        auto memory = ModelContainer::openInMemory(schema);
        if (!memory)
            qFatal("The in-memory store could not be opened: %s", qUtf8Printable(memory.error().debugDescription()));
        opened.container = std::move(memory).value();
    }
    return opened;
}
