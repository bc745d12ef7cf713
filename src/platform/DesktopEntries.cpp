#include "platform/DesktopEntries.h"

#include <QMutex>

#include "platform/BoundedFile.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSet>
#include <QStandardPaths>

namespace {

constexpr qint64 maxEntryBytes = 64 * 1024;

struct Parsed {
    QString id;
    QHash<QString, QString> keys;  // of the [Desktop Entry] group
};

QHash<QString, QString> readEntryGroup(const QString& path)
{
    QHash<QString, QString> keys;
    // Anyone may drop a file (or a link to a pipe) into the user's applications folder; the keys
    // that name an application sit at the top, so a longer file is read only that far.
    const auto read = BoundedFile::read(path, maxEntryBytes, BoundedFile::Overflow::Truncate);
    const QByteArray* bytes = std::get_if<QByteArray>(&read);
    if (!bytes) return keys;
    bool inGroup = false;
    for (const QByteArray& raw : bytes->split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(u'[')) {
            inGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inGroup || line.startsWith(u'#')) continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq > 0) keys.insert(line.left(eq).trimmed(), line.mid(eq + 1).trimmed());
    }
    return keys;
}

QString localisedName(const QHash<QString, QString>& keys, const QString& locale)
{
    const QString language = locale.section(u'_', 0, 0);
    for (const QString& key : {QStringLiteral("Name[%1]").arg(locale), QStringLiteral("Name[%1]").arg(language)})
        if (const auto it = keys.find(key); it != keys.end() && !it->isEmpty()) return *it;
    return keys.value(QStringLiteral("Name"));
}

// Every entry once, by id; earlier folders hide later ones of the same id. `folders` receives each
// folder looked at (sub-folders included) with its modification time.
QList<Parsed> scan(const QStringList& dirs, QHash<QString, QDateTime>& folders)
{
    QList<Parsed> out;
    QSet<QString> seen;
    for (const QString& dir : dirs) {
        folders.insert(dir, QFileInfo(dir).lastModified());
        QDirIterator sub(dir, QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (sub.hasNext()) {
            const QString path = sub.next();
            folders.insert(path, QFileInfo(path).lastModified());
        }
        const QDir root(dir);
        QDirIterator it(dir, {QStringLiteral("*.desktop")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QString id = root.relativeFilePath(path);
            id.chop(int(qstrlen(".desktop")));
            id.replace(u'/', u'-');
            if (seen.contains(id)) continue;
            seen.insert(id);
            out.append({id, readEntryGroup(path)});
        }
    }
    return out;
}

// Parsing every entry on each capture would cost a scan of hundreds of files; the entries are kept
// until a folder's modification time says one was added, removed or renamed.
// Captures read their source on a thread of their own while the main thread may ask too: one at a time,
// each with its own (shared, copy-on-write) list.
QList<Parsed> entries(const QStringList& dirs)
{
    static QMutex guard;
    const QMutexLocker locked(&guard);
    struct Cache {
        QStringList dirs;
        QHash<QString, QDateTime> folders;
        QList<Parsed> parsed;
        bool filled = false;
    };
    static Cache cache;
    bool fresh = cache.filled && cache.dirs == dirs;
    for (auto it = cache.folders.cbegin(); fresh && it != cache.folders.cend(); ++it)
        fresh = QFileInfo(it.key()).lastModified() == it.value();
    if (!fresh) {
        cache.folders.clear();
        cache.parsed = scan(dirs, cache.folders);
        cache.dirs = dirs;
        cache.filled = true;
    }
    return cache.parsed;
}

}  // namespace

QStringList DesktopEntries::applicationDirs()
{
    QStringList dirs;
    for (const QString& base : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
        dirs << QDir(base).filePath(QStringLiteral("applications"));
    return dirs;
}

std::optional<DesktopEntry> DesktopEntries::forWindowClass(const QString& instanceName, const QString& className,
                                                           const QStringList& applicationDirs, const QString& locale)
{
    if (instanceName.isEmpty() && className.isEmpty()) return std::nullopt;
    const QList<Parsed> all = entries(applicationDirs);
    const auto found = [&](const Parsed& p) { return DesktopEntry{p.id, localisedName(p.keys, locale)}; };
    for (const QString& wanted : {className, instanceName}) {
        if (wanted.isEmpty()) continue;
        for (const Parsed& p : all)
            if (p.id.compare(wanted, Qt::CaseInsensitive) == 0) return found(p);
    }
    if (!className.isEmpty())
        for (const Parsed& p : all)
            if (p.keys.value(QStringLiteral("StartupWMClass")) == className) return found(p);
    return std::nullopt;
}
