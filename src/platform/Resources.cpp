#include "platform/Resources.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QtGlobal>
#include <mutex>

#include "platform/Log.h"

static void initTarnwickResources()
{
    Q_INIT_RESOURCE(resources);
}

namespace Resources {
void ensureLoaded()
{
    static std::once_flag once;
    std::call_once(once, initTarnwickResources);
}

QString installedDataDir()
{
    if (!QCoreApplication::instance()) return {};
    const QString dir =
        QDir::cleanPath(QCoreApplication::applicationDirPath() + u'/' + QStringLiteral(TARNWICK_DATADIR_FROM_BINDIR));
    // The desktop entry is what every install has; a build tree has none beside its executable.
    const QString entry = dir + QStringLiteral("/applications/") + QStringLiteral(TARNWICK_APP_ID ".desktop");
    const bool installed = QFileInfo::exists(entry);
    static std::once_flag told;
    std::call_once(told, [&] {
        qCDebug(Log::app, "Data files from %s",
                qUtf8Printable(installed ? dir : QStringLiteral(TARNWICK_SOURCE_DATA_DIR "/resources")));
    });
    return installed ? dir : QString();
}

QString dataFile(const QString& relativePath)
{
    const QString installed = installedDataDir();
    const QString path = installed.isEmpty() ? QStringLiteral(TARNWICK_SOURCE_DATA_DIR "/resources/") + relativePath
                                             : installed + QStringLiteral("/tarnwick/") + relativePath;
    return QFileInfo::exists(path) ? path : QString();
}
}  // namespace Resources
