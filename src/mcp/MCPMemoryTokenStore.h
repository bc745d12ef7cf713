#pragma once

#include "mcp/MCPTokenStore.h"

// PLACEHOLDER until the keychain store lands: keeps the token in memory only, so a new token is made
// at every launch. Replace with a token store over KeychainStore.
class MCPMemoryTokenStore : public MCPTokenStore {
public:
    std::optional<QByteArray> read() override { return m_token; }
    Status<QString> write(const QByteArray& token) override
    {
        m_token = token;
        return {};
    }

private:
    std::optional<QByteArray> m_token;
};
