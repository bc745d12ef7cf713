#pragma once

#include <QString>
#include <functional>

// Asks the user whether a client may use the endpoint.
class MCPApprover {
public:
    virtual ~MCPApprover() = default;
    // Calls done once on the main thread: true when the user allows the client; false when the user
    // denies, when nobody answers in time, or at once when another request is already waiting.
    virtual void request(const QString& clientName, const QString& scope, std::function<void(bool)> done) = 0;
};
