#include "platform/DBusDesktopNotifications.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusReply>

namespace {
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
}  // namespace

DBusDesktopNotifications::DBusDesktopNotifications(QObject* parent) : DesktopNotifications(parent)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                SLOT(onActionInvoked(uint, QString)));
    bus.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this, SLOT(onClosed(uint, uint)));
}

bool DBusDesktopNotifications::isAvailable()
{
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    if (!bus) return false;
    if (bus->isServiceRegistered(kService)) return true;
    const QDBusReply<QStringList> activatable = bus->activatableServiceNames();
    return activatable.isValid() && activatable.value().contains(kService);
}

void DBusDesktopNotifications::show(const QString& title, const QString& body, Shown shown)
{
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    // A server that understands markup in the body would read a note's "<" or "&" as markup.
    const QString text = bodyTakesMarkup() ? body.toHtmlEscaped() : body;
    // Many servers play a sound only when asked; the name is the desktop's own message sound from the
    // sound theme, and a server that plays no sounds ignores the hint.
    const QVariantMap hints{{QStringLiteral("sound-name"), QStringLiteral("message-new-instant")}};
    call << QStringLiteral("Tarnwick") << quint32(0) << QString() << title << text
         << QStringList{QStringLiteral("default"), QStringLiteral("Open")} << hints << qint32(-1);
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [watcher, shown = std::move(shown)] {
        watcher->deleteLater();
        const QDBusPendingReply<quint32> reply = *watcher;
        if (reply.isError())
            shown(Result<quint32, QString>::failure(reply.error().message()));
        else
            shown(Result<quint32, QString>::success(reply.value()));
    });
}

bool DBusDesktopNotifications::bodyTakesMarkup()
{
    if (!m_bodyMarkup) {
        const QDBusMessage call =
            QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("GetCapabilities"));
        const QDBusReply<QStringList> reply = QDBusConnection::sessionBus().call(call);
        if (!reply.isValid()) return true;  // unknown: escaping is the safe side; ask again next time
        m_bodyMarkup = reply.value().contains(QStringLiteral("body-markup"));
    }
    return *m_bodyMarkup;
}

void DBusDesktopNotifications::onActionInvoked(uint id, const QString& actionKey)
{
    Q_EMIT actionInvoked(id, actionKey);
}

void DBusDesktopNotifications::onClosed(uint id, uint reason)
{
    Q_UNUSED(reason);
    Q_EMIT closed(id);
}
