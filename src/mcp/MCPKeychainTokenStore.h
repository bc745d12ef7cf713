#pragma once

#include "mcp/MCPTokenStore.h"

// The endpoint token in the keychain: the local item with service "com.fennmoor.tarnwick.mcp" and
// account "endpoint-token". Synchronizable items under the same name are never read or written, so a
// token can only come from this machine. The later forms run in line with the application's other
// keyring calls, off the main thread: the desktop keyring may prompt, be locked or have no default
// collection yet.
class MCPKeychainTokenStore : public MCPTokenStore {
public:
    ReadResult read() override;
    // Replaces the item in one step: when the write fails, the previous token is still stored.
    Status<QString> write(const QByteArray& token) override;
    void readLater(QObject* context, std::function<void(ReadResult)> done) override;
    void writeLater(const QByteArray& token, QObject* context, std::function<void(Status<QString>)> done) override;
};
