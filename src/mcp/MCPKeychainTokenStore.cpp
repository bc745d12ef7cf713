#include "mcp/MCPKeychainTokenStore.h"

#include "keys/KeychainStore.h"
#include "platform/BackgroundCall.h"

namespace {
// Free of the store object: a call still waiting on the keyring may outlive it.
MCPTokenStore::ReadResult readItem()
{
    auto data = KeychainStore::read(KeychainStore::mcpService, KeychainStore::mcpTokenAccount, false);
    if (data) return std::optional<QByteArray>(*data);
    if (data.error().kind == KeychainStore::KeychainError::Kind::itemNotFound) return std::optional<QByteArray>();
    return data.error().description();
}

Status<QString> writeItem(const QByteArray& token)
{
    const auto written = KeychainStore::write(token, KeychainStore::mcpService, KeychainStore::mcpTokenAccount);
    if (!written) return written.error().description();
    return {};
}
}  // namespace

MCPTokenStore::ReadResult MCPKeychainTokenStore::read()
{
    return readItem();
}

Status<QString> MCPKeychainTokenStore::write(const QByteArray& token)
{
    return writeItem(token);
}

void MCPKeychainTokenStore::readLater(QObject* context, std::function<void(ReadResult)> done)
{
    BackgroundCall::runInLine<ReadResult>(
        context, [] { return readItem(); }, std::move(done));
}

void MCPKeychainTokenStore::writeLater(const QByteArray& token, QObject* context,
                                       std::function<void(Status<QString>)> done)
{
    BackgroundCall::runInLine<Status<QString>>(
        context, [token] { return writeItem(token); }, std::move(done));
}
