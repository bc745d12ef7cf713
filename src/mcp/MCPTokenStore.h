#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

#include "platform/Result.h"

// Where the endpoint token is kept between launches: the keychain item with service
// "com.fennmoor.tarnwick.mcp" and account "endpoint-token", not synchronizable, readable while the
// session is unlocked.
class MCPTokenStore {
public:
    virtual ~MCPTokenStore() = default;
    // The stored bytes; none when there is no item or it cannot be read.
    virtual std::optional<QByteArray> read() = 0;
    // Replaces any stored item with these bytes. The error is a description for the log.
    virtual Status<QString> write(const QByteArray& token) = 0;
};
