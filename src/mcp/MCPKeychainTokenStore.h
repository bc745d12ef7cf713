#pragma once

#include "mcp/MCPTokenStore.h"

// The endpoint token in the keychain: the local item with service "com.fennmoor.tarnwick.mcp" and
// account "endpoint-token". Synchronizable items under the same name are never read or written, so a
// token can only come from this machine.
class MCPKeychainTokenStore : public MCPTokenStore {
public:
    std::optional<QByteArray> read() override;
    // Replaces the item in one step: when the write fails, the previous token is still stored.
    Status<QString> write(const QByteArray& token) override;
};
