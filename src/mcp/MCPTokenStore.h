#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>
#include <optional>

#include "platform/Result.h"

// Where the endpoint token is kept between launches: the keychain item with service
// "com.fennmoor.tarnwick.mcp" and account "endpoint-token", not synchronizable, readable while the
// session is unlocked.
class MCPTokenStore {
public:
    virtual ~MCPTokenStore() = default;
    // The stored bytes; none when there is no item. When the keyring cannot be read (locked, its
    // prompt cancelled), the error says why: a token may be stored all the same.
    using ReadResult = Result<std::optional<QByteArray>, QString>;
    virtual ReadResult read() = 0;
    // Replaces any stored item with these bytes. The error is a description for the log.
    virtual Status<QString> write(const QByteArray& token) = 0;

    // The same, answered later on the main thread (to `context`, unless it is gone): a store that may
    // wait on the user runs them off the main thread. These run the calls above at once.
    virtual void readLater(QObject* /*context*/, std::function<void(ReadResult)> done) { done(read()); }
    virtual void writeLater(const QByteArray& token, QObject* /*context*/, std::function<void(Status<QString>)> done)
    {
        done(write(token));
    }
};
