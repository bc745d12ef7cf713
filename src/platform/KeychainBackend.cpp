#include "platform/KeychainBackend.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <mutex>

#include "platform/FileKeychainBackend.h"
#include "platform/Log.h"
#include "platform/SecretServiceKeychainBackend.h"

namespace {
const QString secretServiceName = QStringLiteral("org.freedesktop.secrets");
}

bool& KeychainBackend::mayAskUserOnThisThread()
{
    thread_local bool mayAsk = true;
    return mayAsk;
}

bool KeychainBackend::secretServiceOnSessionBus()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()) return false;
    if (bus.interface()->isServiceRegistered(secretServiceName).value()) return true;
    // A keyring that the bus starts on first use counts as present.
    const QDBusReply<QStringList> activatable = bus.interface()->call(QStringLiteral("ListActivatableNames"));
    return activatable.isValid() && activatable.value().contains(secretServiceName);
}

std::shared_ptr<KeychainBackend> KeychainBackend::forSession()
{
    static std::once_flag decided;
    static std::shared_ptr<KeychainBackend> backend;
    std::call_once(decided, [] {
        if (secretServiceOnSessionBus()) {
            backend = std::make_shared<SecretServiceKeychainBackend>();
            qCInfo(Log::privacy, "Secrets are kept in the desktop keyring (Secret Service).");
        } else {
            const QString path = FileKeychainBackend::defaultPath();
            backend = std::make_shared<FileKeychainBackend>(path);
            qCWarning(Log::privacy,
                      "No Secret Service on the session bus: secrets are kept in %s, readable only by "
                      "this user.",
                      qUtf8Printable(path));
        }
    });
    return backend;
}
