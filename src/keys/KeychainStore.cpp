#include "keys/KeychainStore.h"

#include <atomic>
#include <mutex>

namespace {
std::shared_ptr<KeychainBackend>& chosenBackend()
{
    static std::shared_ptr<KeychainBackend> backend;
    return backend;
}
// The keyring is called off the main thread while the backend may be chosen on it: the choice is made
// and read under one lock, so a call that finds none chosen cannot put the session's keyring in place of
// one chosen meanwhile.
std::mutex& backendMutex()
{
    static std::mutex mutex;
    return mutex;
}

KeychainStore::KeychainError unexpected(const KeychainBackend::Failure& failure)
{
    return KeychainStore::KeychainError::unexpectedStatus(failure.status, failure.message);
}
}  // namespace

KeychainStore::KeychainError KeychainStore::KeychainError::unexpectedStatus(qint32 status, QString platformMessage)
{
    return {Kind::unexpectedStatus, status, std::move(platformMessage)};
}

QString KeychainStore::KeychainError::description() const
{
    switch (kind) {
        case Kind::unexpectedStatus:
            return QStringLiteral("Keyring error %1 (%2)")
                .arg(status)
                .arg(platformMessage.isEmpty() ? QStringLiteral("unknown") : platformMessage);
        case Kind::itemNotFound:
            return QStringLiteral("no such keyring item");
        case Kind::itemAlreadyExists:
            return QStringLiteral("a keyring item already exists here");
    }
    return {};
}

std::shared_ptr<KeychainBackend> KeychainStore::backend()
{
    const std::lock_guard lock(backendMutex());
    auto& chosen = chosenBackend();
    if (!chosen) chosen = KeychainBackend::forSession();
    return chosen;
}

KeychainBackend::Kind KeychainStore::backendKind()
{
    return backend()->kind();
}

bool KeychainStore::backendMayAskUser()
{
    return backend()->mayAskUser();
}

namespace {
std::atomic<int> g_backendGeneration{0};
}

void KeychainStore::useBackend(std::shared_ptr<KeychainBackend> backend)
{
    const std::lock_guard lock(backendMutex());
    chosenBackend().swap(backend);
    ++g_backendGeneration;
}

int KeychainStore::backendGeneration()
{
    return g_backendGeneration.load();
}

Result<QByteArray, KeychainStore::KeychainError> KeychainStore::read(const QString& service, const QString& account,
                                                                     bool synchronizable)
{
    auto data = backend()->read(service, account, synchronizable);
    if (data) return *data;
    if (data.error().status == KeychainBackend::statusItemNotFound) return KeychainError::itemNotFound();
    return unexpected(data.error());
}

Result<QList<KeychainStore::Item>, KeychainStore::KeychainError> KeychainStore::readAll(const QString& service,
                                                                                        bool synchronizable)
{
    // Two passes, as the keychain gives them: the accounts, then each item's secret.
    auto accounts = backend()->accounts(service, synchronizable);
    if (!accounts) {
        if (accounts.error().status == KeychainBackend::statusItemNotFound) return QList<Item>{};
        return unexpected(accounts.error());
    }
    QList<Item> items;
    for (const QString& account : *accounts) {
        auto data = read(service, account, synchronizable);
        if (data) {
            items.append(Item{account, *data});
        } else if (data.error().kind != KeychainError::Kind::itemNotFound) {
            return data.error();
        }
    }
    return items;
}

Status<KeychainStore::KeychainError> KeychainStore::add(const QByteArray& data, const QString& service,
                                                        const QString& account)
{
    auto added = backend()->add(service, account, data);
    if (added) return {};
    if (added.error().status == KeychainBackend::statusDuplicateItem) return KeychainError::itemAlreadyExists();
    return unexpected(added.error());
}

Status<KeychainStore::KeychainError> KeychainStore::write(const QByteArray& data, const QString& service,
                                                          const QString& account)
{
    auto written = backend()->replace(service, account, data);
    if (written) return {};
    return unexpected(written.error());
}
