#include "store/StoreMigration.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "platform/PrivateFiles.h"

const QStringList& StoreMigration::files()
{
    static const QStringList names{QStringLiteral("default.store"), QStringLiteral("default.store-shm"),
                                   QStringLiteral("default.store-wal")};
    return names;
}

std::optional<QString> StoreMigration::legacyDirectory()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty()) return std::nullopt;
    return data;
}

std::optional<QString> StoreMigration::currentDirectory()
{
    const std::optional<QString> data = legacyDirectory();
    if (!data) return std::nullopt;
    const QString dir = *data + QStringLiteral("/tarnwick");
    if (!PrivateFiles::makeFolder(dir)) return std::nullopt;
    return dir;
}

QString StoreMigration::directoryPath()
{
    const std::optional<QString> data = legacyDirectory();
    return data ? *data + QStringLiteral("/tarnwick") : QString();
}

QString StoreMigration::directoryProblem()
{
    return directoryProblem(directoryPath());
}

QString StoreMigration::directoryProblem(const QString& directory)
{
    if (directory.isEmpty()) return QStringLiteral("There is no data folder (neither XDG_DATA_HOME nor HOME is set)");
    const QFileInfo folder(directory);
    if (folder.exists() && !folder.isDir()) return QStringLiteral("%1 is a file, not a folder").arg(directory);
    if (folder.isDir()) {
        if (!folder.isWritable()) return QStringLiteral("The folder %1 is read-only").arg(directory);
        return QStringLiteral("The folder %1 could not be made private to you").arg(directory);
    }
    // The nearest folder that exists above it is the one that refused.
    QFileInfo parent(folder.absolutePath());
    while (!parent.exists() && parent.absoluteFilePath() != QLatin1String("/"))
        parent = QFileInfo(parent.absolutePath());
    if (parent.isDir() && !parent.isWritable())
        return QStringLiteral("The folder %1 could not be made: %2 is read-only")
            .arg(directory, parent.absoluteFilePath());
    return QStringLiteral("The folder %1 could not be made").arg(directory);
}

std::optional<QString> StoreMigration::carryForwardIfNeeded()
{
    return carryForwardIfNeeded(legacyDirectory(), currentDirectory());
}

std::optional<QString> StoreMigration::carryForwardIfNeeded(const std::optional<QString>& legacy,
                                                            const std::optional<QString>& current)
{
    if (!legacy || !current) return std::nullopt;
    const QDir from(QDir::cleanPath(QFileInfo(*legacy).absoluteFilePath()));
    const QDir to(QDir::cleanPath(QFileInfo(*current).absoluteFilePath()));
    if (from == to) return std::nullopt;
    const QString main = files().first();
    // A link of the user's in the store's place is a store too, even while it leads nowhere.
    const QFileInfo existing(to.filePath(main));
    if (!QFileInfo::exists(from.filePath(main)) || existing.exists() || existing.isSymLink()) return std::nullopt;

    QStringList copied;
    for (const QString& name : files()) {
        if (!QFileInfo::exists(from.filePath(name))) continue;
        QFile source(from.filePath(name));
        if (!source.copy(to.filePath(name))) {
            for (const QString& done : std::as_const(copied)) QFile::remove(to.filePath(done));
            return QStringLiteral("store migration failed on %1 (%2); the original is untouched")
                .arg(name, source.errorString());
        }
        copied << name;
    }
    if (copied.isEmpty()) return std::nullopt;
    return QStringLiteral("carried %1 store file(s) into the container").arg(copied.size());
}
