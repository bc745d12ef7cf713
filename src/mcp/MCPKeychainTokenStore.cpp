#include "mcp/MCPKeychainTokenStore.h"

#include "keys/KeychainStore.h"
#include "platform/BackgroundCall.h"

namespace {
// Free of the store object: a call still waiting on the keyring may outlive it.
std::optional<QByteArray> readItem()
{
    auto data = KeychainStore::read(KeychainStore::mcpService, KeychainStore::mcpTokenAccount, false);
    if (!data) return std::nullopt;
    return *data;
}

Status<QString> writeItem(const QByteArray& token)
{
    const auto written = KeychainStore::write(token, KeychainStore::mcpService, KeychainStore::mcpTokenAccount);
    if (!written) return written.error().description();
    return {};
}
}  // namespace

std::optional<QByteArray> MCPKeychainTokenStore::read()
{
    return readItem();
}

Status<QString> MCPKeychainTokenStore::write(const QByteArray& token)
{
    return writeItem(token);
}

void MCPKeychainTokenStore::readLater(QObject* context, std::function<void(std::optional<QByteArray>)> done)
{
    BackgroundCall::run<std::optional<QByteArray>>(
        context, [] { return readItem(); }, std::move(done));
}

void MCPKeychainTokenStore::writeLater(const QByteArray& token, QObject* context,
                                       std::function<void(Status<QString>)> done)
{
    BackgroundCall::run<Status<QString>>(
        context, [token] { return writeItem(token); }, std::move(done));
}
