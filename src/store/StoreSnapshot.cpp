#include "store/StoreSnapshot.h"

#include <errno.h>
#include <string.h>
#include <sys/stat.h>

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStringDecoder>
#include <algorithm>

#include "platform/Clock.h"
#include "platform/DurableFile.h"
#include "platform/Log.h"
#include "platform/PrivateFiles.h"
#include "store/SnapshotSealing.h"
#include "store/StoreMigration.h"

namespace {
// Copies a file, or a folder with everything in it, to `to` (which must not exist yet).
bool copyItem(const QString& from, const QString& to, QString* error)
{
    const QFileInfo info(from);
    if (!info.isDir() || info.isSymLink()) {
        QFile file(from);
        if (file.copy(to)) return true;
        *error = file.errorString();
        return false;
    }
    if (!QDir().mkdir(to)) {
        *error = QStringLiteral("Could not create the folder %1").arg(to);
        return false;
    }
    const QDir dir(from);
    const QStringList entries = dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : entries)
        if (!copyItem(dir.filePath(name), to + QLatin1Char('/') + name, error)) return false;
    return true;
}

// Makes the folder of a new snapshot. Stamps have a resolution of one second, so a second snapshot
// within the same second gets a numbered name of its own ("<stamp>-02", ...), which still sorts
// after the first and before the next second's.
std::optional<QString> makeSnapshotFolder(const QString& root, const QString& stamp, QString* name, QString* error)
{
    for (int n = 1; n < 100; ++n) {
        *name = n == 1 ? stamp : stamp + QStringLiteral("-%1").arg(n, 2, 10, QLatin1Char('0'));
        const QString path = root + QLatin1Char('/') + *name;
        if (::mkdir(QFile::encodeName(path).constData(), 0700) == 0) return path;
        if (errno != EEXIST) {
            *error = QString::fromLocal8Bit(strerror(errno));
            return std::nullopt;
        }
    }
    *error = QStringLiteral("Too many snapshots in one second");
    return std::nullopt;
}
// What the last snapshot was taken of: the fingerprint it was taken for and a digest of the store
// and its log. A store that fails to open is never recorded as migrated, so without this every
// launch would copy the same file again.
const QString kLastSnapshotFile = QStringLiteral("last-snapshot-of");

QString snapshotIdentity(const QDir& store, const QString& fingerprint)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const QString& name : {QStringLiteral("default.store"), QStringLiteral("default.store-wal")}) {
        QFile file(store.filePath(name));
        hash.addData(name.toUtf8());
        // A pipe in the file's place would block the read.
        if (!QFileInfo(file).isFile() || !file.open(QIODevice::ReadOnly)) continue;
        hash.addData(QByteArray::number(file.size()));
        hash.addData(&file);
    }
    return fingerprint + QLatin1Char(' ') + QString::fromLatin1(hash.result().toHex());
}
}  // namespace

const QStringList& StoreSnapshot::items()
{
    static const QStringList names = StoreMigration::files() + QStringList{supportFolder()};
    return names;
}

QString StoreSnapshot::fingerprint(const Schema& schema, const QString& extra)
{
    QVector<const EntityDescription*> entities = schema.entities;
    std::sort(entities.begin(), entities.end(),
              [](const EntityDescription* a, const EntityDescription* b) { return a->name < b->name; });
    QStringList descriptions;
    for (const EntityDescription* e : entities) {
        QStringList names;
        for (const AttributeDescription& a : e->attributes) names << a.name;
        std::sort(names.begin(), names.end());
        descriptions << e->name + QLatin1Char('(') + names.join(QLatin1Char(',')) + QLatin1Char(')');
    }
    QString text = descriptions.join(QLatin1Char(';'));
    if (!extra.isEmpty()) text += QLatin1Char('|') + extra;
    return QString::fromLatin1(QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha256).toHex());
}

std::optional<QString> StoreSnapshot::storedFingerprint(const std::optional<QString>& storeDirectory)
{
    if (!storeDirectory) return std::nullopt;
    QFile file(*storeDirectory + QLatin1Char('/') + folder() + QLatin1Char('/') + fingerprintFile());
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    QStringDecoder decode(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decode(file.readAll());
    if (decode.hasError()) return std::nullopt;
    return text.trimmed();
}

void StoreSnapshot::record(const QString& fingerprint, const std::optional<QString>& storeDirectory)
{
    if (!storeDirectory) return;
    const QString root = *storeDirectory + QLatin1Char('/') + folder();
    PrivateFiles::makeFolder(root);
    // Whole or not at all: an empty fingerprint would take the next launch for a schema change.
    const QString path = root + QLatin1Char('/') + fingerprintFile();
    if (auto written =
            DurableFile::replace(path, fingerprint.toUtf8(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        !written)
        qCWarning(Log::store, "The schema fingerprint was not recorded: %s", qUtf8Printable(written.error()));
}

QString StoreSnapshot::stamp(const QDateTime& moment)
{
    return QLocale::c().toString(moment.toLocalTime(), QStringLiteral("yyyyMMdd-HHmmss"));
}

std::optional<QString> StoreSnapshot::captureIfSchemaChanged(const QString& fingerprint,
                                                             const std::optional<QString>& storeDirectory,
                                                             const Clock& clock)
{
    if (!storeDirectory) return std::nullopt;
    if (storedFingerprint(storeDirectory) == fingerprint) return std::nullopt;
    const QDir store(*storeDirectory);
    // A link in the store's place counts even when it leads nowhere now (a drive not mounted): with
    // the drive back, that store may be one written under the old schema.
    const QFileInfo main(store.filePath(items().first()));
    if (!main.exists() && !main.isSymLink()) {
        record(fingerprint, storeDirectory);
        return std::nullopt;
    }

    const QString root = store.filePath(folder());
    const QString identity = snapshotIdentity(store, fingerprint);
    {
        QFile last(root + QLatin1Char('/') + kLastSnapshotFile);
        if (last.open(QIODevice::ReadOnly) && QString::fromUtf8(last.readAll()) == identity) return std::nullopt;
    }
    QString name;
    QString error;
    std::optional<QString> snapshot;
    if (!PrivateFiles::makeFolder(root))
        error = QStringLiteral("Could not create the folder %1").arg(root);
    else
        snapshot = makeSnapshotFolder(root, stamp(clock.now()), &name, &error);
    if (!snapshot) return QStringLiteral("store snapshot skipped: %1").arg(error);

    int copied = 0;
    for (const QString& item : items()) {
        const QString from = store.filePath(item);
        const QFileInfo info(from);
        if (item == supportFolder() ? !info.isDir() : !info.isFile()) continue;
        if (!copyItem(from, *snapshot + QLatin1Char('/') + item, &error)) {
            QDir(*snapshot).removeRecursively();
            return QStringLiteral("store snapshot failed on %1 (%2); the store is untouched").arg(item, error);
        }
        ++copied;
    }
    if (copied == 0) {
        QDir(*snapshot).removeRecursively();
        return std::nullopt;
    }
    // The copy is taken before the launch sweep: a locked note left in the clear is sealed in it too.
    const QString copiedStore = *snapshot + QLatin1Char('/') + items().first();
    QString notChecked;
    if (QFileInfo::exists(copiedStore)) {
        auto sealed = SnapshotSealing::sealLockedNotes(copiedStore);
        if (!sealed) {
            QDir(*snapshot).removeRecursively();
            return QStringLiteral("store snapshot dropped: a private note in it could not be sealed (%1)")
                .arg(sealed.error());
        }
        // A damaged store is kept as it was found, once: the copy is the user's best chance of recovery.
        notChecked = sealed->notChecked;
    }
    PrivateFiles::restrictTree(*snapshot);
    prune(storeDirectory);
    if (auto written = DurableFile::replace(root + QLatin1Char('/') + kLastSnapshotFile, identity.toUtf8()); !written)
        qCWarning(Log::store, "The snapshot was not recorded as the last: %s", qUtf8Printable(written.error()));
    QString message = QStringLiteral("schema changed \u2014 snapshot of %1 file(s) taken at %2/%3 before migrating")
                          .arg(copied)
                          .arg(folder(), name);
    if (!notChecked.isEmpty()) message += QStringLiteral("; the store in it could not be checked: %1").arg(notChecked);
    return message;
}

void StoreSnapshot::prune(const std::optional<QString>& storeDirectory)
{
    if (!storeDirectory) return;
    const QDir root(*storeDirectory + QLatin1Char('/') + folder());
    if (!root.exists()) return;
    // Folders only, and never through a link: a link to a folder elsewhere is not ours to empty.
    QStringList names = root.entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks);
    std::sort(names.begin(), names.end());
    for (qsizetype i = 0; i + kept < names.size(); ++i) QDir(root.filePath(names[i])).removeRecursively();
}
