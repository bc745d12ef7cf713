#include "platform/LoginItem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "platform/ApplicationId.h"
#include "platform/BoundedFile.h"
#include "platform/DurableFile.h"
#include "platform/Log.h"
#include "platform/Resources.h"

namespace {

// One argument of an Exec line: always quoted, with the characters that are special inside quotes
// escaped, then "%" doubled (field codes) and backslashes doubled again (the file's string escapes).
QString execArgument(const QString& arg)
{
    QString quoted;
    for (const QChar c : arg) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\') quoted += u'\\';
        quoted += c;
    }
    quoted.replace(u'%', QStringLiteral("%%"));
    quoted.replace(u'\\', QStringLiteral("\\\\"));
    return u'"' + quoted + u'"';
}

std::optional<QString> fail(bool enabled, const QString& description)
{
    qCWarning(Log::app, "Login-item change failed: %s", qUtf8Printable(description));
    // The other platform can also answer that the login item awaits the user's approval; an autostart
    // entry needs no approval, so that message never arises here.
    return enabled ? QStringLiteral("Launching at login could not be turned on.")
                   : QStringLiteral("Launching at login could not be turned off.");
}

// The Exec value of the installed menu entry, when this program runs from an installed tree: login
// then starts exactly what the application menu starts.
std::optional<QString> installedExec()
{
    const QString dataDir = Resources::installedDataDir();
    if (dataDir.isEmpty()) return std::nullopt;
    const auto read = BoundedFile::read(dataDir + QStringLiteral("/applications/") + ApplicationId::desktopFileName(),
                                        64 * 1024, BoundedFile::Overflow::Truncate);
    const QByteArray* bytes = std::get_if<QByteArray>(&read);
    if (!bytes) return std::nullopt;
    bool inMainGroup = false;
    for (const QByteArray& raw : bytes->split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(u'[')) inMainGroup = line == QLatin1String("[Desktop Entry]");
        if (inMainGroup && line.startsWith(QLatin1String("Exec="))) return line.mid(5);
    }
    return std::nullopt;
}

QByteArray entryText(const QString& exec)
{
    QString text;
    text += QStringLiteral("[Desktop Entry]\n");
    text += QStringLiteral("Type=Application\n");
    text += QStringLiteral("Name=Tarnwick\n");
    text += QStringLiteral("Comment=Floating notes and text capture\n");
    text += QStringLiteral("Icon=") + ApplicationId::name() + u'\n';
    text += QStringLiteral("Exec=") + exec + u'\n';
    text += QStringLiteral("Terminal=false\n");
    text += QStringLiteral("X-GNOME-Autostart-enabled=true\n");
    return text.toUtf8();
}

// Where earlier builds put the entry; removed whenever the setting changes, so it cannot linger.
QString legacyEntryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/tarnwick.desktop");
}

}  // namespace

QString LoginItem::entryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/autostart/") +
           ApplicationId::desktopFileName();
}

bool LoginItem::isEnabled()
{
    // An empty entry (cut short by a full disk in an earlier release) starts nothing.
    const QFileInfo entry(entryPath());
    return entry.isFile() && entry.size() > 0;
}

QByteArray LoginItem::desktopEntry(const QString& executable)
{
    return entryText(execArgument(executable));
}

std::optional<QString> LoginItem::set(bool enabled)
{
    const QString path = entryPath();
    QFile::remove(legacyEntryPath());
    if (!enabled) {
        QFile file(path);
        if (!file.exists() || file.remove()) return std::nullopt;
        return fail(false, file.errorString());
    }

    const QString executable = QFileInfo(QCoreApplication::applicationFilePath()).absoluteFilePath();
    if (executable.isEmpty()) return fail(true, QStringLiteral("the path of the running program is unknown"));
    const QString dir = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(dir)) return fail(true, QStringLiteral("cannot create %1").arg(dir));
    // Written whole or not at all: the session reads this file at every login, and an empty one would
    // count as on.
    const std::optional<QString> exec = installedExec();
    if (auto written = DurableFile::replace(path, exec ? entryText(*exec) : desktopEntry(executable)); !written)
        return fail(true, written.error());
    return std::nullopt;
}
