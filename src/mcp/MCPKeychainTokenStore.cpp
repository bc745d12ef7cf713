#include "mcp/MCPKeychainTokenStore.h"

#include "platform/BackgroundCall.h"
#include "privacy/KeychainStore.h"

std::optional<QByteArray> MCPKeychainTokenStore::read()
{
    auto data = KeychainStore::read(KeychainStore::mcpService, KeychainStore::mcpTokenAccount, false);
    if (!data) return std::nullopt;
    return *data;
}

Status<QString> MCPKeychainTokenStore::write(const QByteArray& token)
{
    const auto written = KeychainStore::write(token, KeychainStore::mcpService, KeychainStore::mcpTokenAccount);
    if (!written) return written.error().description();
    return {};
}

void MCPKeychainTokenStore::readLater(QObject* context, std::function<void(std::optional<QByteArray>)> done)
{
    BackgroundCall::run<std::optional<QByteArray>>(
        context, [this] { return read(); }, std::move(done));
}

void MCPKeychainTokenStore::writeLater(const QByteArray& token, QObject* context,
                                       std::function<void(Status<QString>)> done)
{
    BackgroundCall::run<Status<QString>>(
        context, [this, token] { return write(token); }, std::move(done));
}
