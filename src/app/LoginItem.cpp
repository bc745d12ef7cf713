#include "app/LoginItem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include "platform/Log.h"

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

}  // namespace

QString LoginItem::entryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/tarnwick.desktop");
}

QByteArray LoginItem::desktopEntry(const QString& executable)
{
    QString text;
    text += QStringLiteral("[Desktop Entry]\n");
    text += QStringLiteral("Type=Application\n");
    text += QStringLiteral("Name=Tarnwick\n");
    text += QStringLiteral("Comment=Floating notes and text capture\n");
    text += QStringLiteral("Exec=") + execArgument(executable) + u'\n';
    text += QStringLiteral("Terminal=false\n");
    text += QStringLiteral("X-GNOME-Autostart-enabled=true\n");
    return text.toUtf8();
}

std::optional<QString> LoginItem::set(bool enabled)
{
    const QString path = entryPath();
    if (!enabled) {
        QFile file(path);
        if (!file.exists() || file.remove()) return std::nullopt;
        return fail(false, file.errorString());
    }

    const QString executable = QFileInfo(QCoreApplication::applicationFilePath()).absoluteFilePath();
    if (executable.isEmpty()) return fail(true, QStringLiteral("the path of the running program is unknown"));
    const QString dir = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(dir)) return fail(true, QStringLiteral("cannot create %1").arg(dir));
    // Written whole or not at all: the session reads this file at every login.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return fail(true, file.errorString());
    file.write(desktopEntry(executable));
    if (!file.commit()) return fail(true, file.errorString());
    return std::nullopt;
}
