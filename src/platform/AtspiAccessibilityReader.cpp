#include "platform/AtspiAccessibilityReader.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <atomic>

namespace {

const QString kAccessible = QStringLiteral("org.a11y.atspi.Accessible");

QDBusMessage method(const AccessibleObject& object, const QString& interface, const QString& name)
{
    return QDBusMessage::createMethodCall(object.service, object.path, interface, name);
}

std::optional<AccessibleObject> objectOf(const QDBusArgument& argument)
{
    QString service;
    QDBusObjectPath path;
    argument.beginStructure();
    argument >> service >> path;
    argument.endStructure();
    if (service.isEmpty() || path.path().isEmpty()) return std::nullopt;
    return AccessibleObject{service, path.path()};
}

// An array of (bus name, path) pairs, at most `limit` of them.
QList<AccessibleObject> objectsOf(const QVariant& value, int limit)
{
    QList<AccessibleObject> objects;
    if (!value.canConvert<QDBusArgument>()) return objects;
    const QDBusArgument argument = value.value<QDBusArgument>();
    argument.beginArray();
    while (!argument.atEnd()) {
        const std::optional<AccessibleObject> object = objectOf(argument);
        if (object && objects.size() < limit) objects.append(*object);
    }
    argument.endArray();
    return objects;
}

std::optional<quint64> statesOf(const QVariant& value)
{
    QList<uint> words;
    if (value.canConvert<QDBusArgument>()) {
        const QDBusArgument argument = value.value<QDBusArgument>();
        argument >> words;
    } else {
        words = value.value<QList<uint>>();
    }
    if (words.isEmpty()) return std::nullopt;
    return quint64(words.value(0)) | (quint64(words.value(1)) << 32);
}

QVariant unwrapped(const QVariant& value)
{
    return value.canConvert<QDBusVariant>() ? value.value<QDBusVariant>().variant() : value;
}

}  // namespace

AtspiAccessibilityReader::AtspiAccessibilityReader(const QDBusConnection& bus, QDeadlineTimer deadline)
    : m_bus(bus), m_deadline(deadline)
{
}

AtspiAccessibilityReader::~AtspiAccessibilityReader()
{
    QDBusConnection::disconnectFromBus(m_bus.name());
}

std::unique_ptr<AtspiAccessibilityReader> AtspiAccessibilityReader::connect(QDeadlineTimer deadline)
{
    const auto remaining = [&] { return int(std::max<qint64>(1, deadline.remainingTime())); };
    QDBusConnection session = QDBusConnection::sessionBus();
    if (!session.isConnected()) return nullptr;
    // Only a bus that already runs: asking the launcher for its address would start it.
    QDBusMessage hasOwner =
        QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                                       QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
    hasOwner << QStringLiteral("org.a11y.Bus");
    const QDBusMessage owned = session.call(hasOwner, QDBus::Block, remaining());
    if (owned.type() != QDBusMessage::ReplyMessage || !owned.arguments().value(0).toBool() || deadline.hasExpired())
        return nullptr;
    const QDBusMessage address =
        session.call(QDBusMessage::createMethodCall(QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                                                    QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress")),
                     QDBus::Block, remaining());
    const QString busAddress = address.arguments().value(0).toString();
    if (address.type() != QDBusMessage::ReplyMessage || busAddress.isEmpty() || deadline.hasExpired()) return nullptr;
    static std::atomic<int> serial{0};
    const QString name = QStringLiteral("tarnwick-accessibility-%1").arg(++serial);
    QDBusConnection bus = QDBusConnection::connectToBus(busAddress, name);
    if (!bus.isConnected()) {
        QDBusConnection::disconnectFromBus(name);
        return nullptr;
    }
    return std::unique_ptr<AtspiAccessibilityReader>(new AtspiAccessibilityReader(bus, deadline));
}

int AtspiAccessibilityReader::timeLeft()
{
    const qint64 left = m_deadline.remainingTime();
    if (left == 0) m_timedOut = true;
    return int(left);
}

bool AtspiAccessibilityReader::failed(const QDBusMessage& reply)
{
    if (reply.type() == QDBusMessage::ReplyMessage) return false;
    const QString error = reply.errorName();
    if (error == u"org.freedesktop.DBus.Error.NoReply" || error == u"org.freedesktop.DBus.Error.Timeout" ||
        error == u"org.freedesktop.DBus.Error.Disconnected" || m_deadline.hasExpired())
        m_timedOut = true;
    return true;
}

std::optional<QList<QVariant>> AtspiAccessibilityReader::call(const QDBusMessage& message)
{
    if (m_timedOut) return std::nullopt;
    const int left = timeLeft();
    if (left == 0) return std::nullopt;
    const QDBusMessage reply = m_bus.call(message, QDBus::Block, left);
    if (failed(reply)) return std::nullopt;
    return reply.arguments();
}

std::optional<QVariant> AtspiAccessibilityReader::property(const AccessibleObject& object, const QString& name)
{
    QDBusMessage get = method(object, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << kAccessible << name;
    const auto reply = call(get);
    if (!reply || reply->isEmpty()) return std::nullopt;
    return unwrapped(reply->first());
}

std::optional<QList<AccessibleObject>> AtspiAccessibilityReader::applications(int limit)
{
    const auto reply =
        call(method({QStringLiteral("org.a11y.atspi.Registry"), QStringLiteral("/org/a11y/atspi/accessible/root")},
                    kAccessible, QStringLiteral("GetChildren")));
    if (!reply || reply->isEmpty()) return std::nullopt;
    return objectsOf(reply->first(), limit);
}

std::optional<qint64> AtspiAccessibilityReader::processID(const AccessibleObject& application)
{
    QDBusMessage ask = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetConnectionUnixProcessID"));
    ask << application.service;
    const auto reply = call(ask);
    if (!reply || reply->isEmpty()) return std::nullopt;
    return qint64(reply->first().toUInt());
}

std::optional<QList<AccessibleNode>> AtspiAccessibilityReader::children(const AccessibleObject& object, int limit)
{
    const std::optional<QVariant> count = property(object, QStringLiteral("ChildCount"));
    if (!count) return std::nullopt;
    QList<AccessibleObject> objects;
    if (count->toInt() <= limit) {
        const auto reply = call(method(object, kAccessible, QStringLiteral("GetChildren")));
        if (!reply || reply->isEmpty()) return std::nullopt;
        objects = objectsOf(reply->first(), limit);
    } else {
        // A crowded node is read only as far as the walk looks, not whole.
        for (int i = 0; i < limit; ++i) {
            QDBusMessage at = method(object, kAccessible, QStringLiteral("GetChildAtIndex"));
            at << i;
            const auto reply = call(at);
            if (!reply) {
                if (m_timedOut) return std::nullopt;
                continue;
            }
            if (reply->isEmpty() || !reply->first().canConvert<QDBusArgument>()) continue;
            if (const auto child = objectOf(reply->first().value<QDBusArgument>())) objects.append(*child);
        }
    }
    // The roles and states of all children are asked at once: the answers come back in one round.
    struct Asked {
        QDBusPendingCall role;
        QDBusPendingCall states;
    };
    std::vector<Asked> asked;
    asked.reserve(objects.size());
    const int left = timeLeft();
    if (left == 0) return std::nullopt;
    for (const AccessibleObject& child : objects)
        asked.push_back({m_bus.asyncCall(method(child, kAccessible, QStringLiteral("GetRole")), left),
                         m_bus.asyncCall(method(child, kAccessible, QStringLiteral("GetState")), left)});
    QList<AccessibleNode> nodes;
    for (qsizetype i = 0; i < objects.size(); ++i) {
        asked[i].role.waitForFinished();
        asked[i].states.waitForFinished();
        const QDBusMessage role = asked[i].role.reply();
        const QDBusMessage states = asked[i].states.reply();
        const bool roleFailed = failed(role), statesFailed = failed(states);
        if (m_timedOut) return std::nullopt;
        if (roleFailed || statesFailed || role.arguments().isEmpty() || states.arguments().isEmpty()) continue;
        const std::optional<quint64> bits = statesOf(states.arguments().first());
        if (!bits) continue;
        nodes.append({objects[i], role.arguments().first().toUInt(), *bits});
    }
    return nodes;
}

std::optional<QString> AtspiAccessibilityReader::name(const AccessibleObject& object)
{
    const std::optional<QVariant> value = property(object, QStringLiteral("Name"));
    if (!value) return std::nullopt;
    return value->toString();
}

std::optional<QRect> AtspiAccessibilityReader::extents(const AccessibleObject& object)
{
    QDBusMessage get = method(object, QStringLiteral("org.a11y.atspi.Component"), QStringLiteral("GetExtents"));
    get << uint(0);  // in screen coordinates
    const auto reply = call(get);
    if (!reply || reply->isEmpty() || !reply->first().canConvert<QDBusArgument>()) return std::nullopt;
    const QDBusArgument argument = reply->first().value<QDBusArgument>();
    int x = 0, y = 0, width = 0, height = 0;
    argument.beginStructure();
    argument >> x >> y >> width >> height;
    argument.endStructure();
    return place(x, y, width, height);
}

std::optional<QString> AtspiAccessibilityReader::documentAttribute(const AccessibleObject& document,
                                                                   const QString& attribute)
{
    QDBusMessage get = method(document, QStringLiteral("org.a11y.atspi.Document"), QStringLiteral("GetAttributeValue"));
    get << attribute;
    const auto reply = call(get);
    if (!reply || reply->isEmpty()) return std::nullopt;
    return reply->first().toString();
}
