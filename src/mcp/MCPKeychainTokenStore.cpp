#include "mcp/MCPKeychainTokenStore.h"

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
