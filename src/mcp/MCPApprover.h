#pragma once

#include <QString>
#include <functional>

// Asks the user whether a client may use the endpoint.
class MCPApprover {
public:
    enum class Answer {
        allowed,     // the user pressed Allow
        denied,      // the user pressed Deny
        unanswered,  // nobody answered in time, or nobody could be asked
    };
    virtual ~MCPApprover() = default;
    // Calls done once on the main thread. Only `denied` is the user's own refusal.
    virtual void request(const QString& clientName, const QString& scope, std::function<void(Answer)> done) = 0;
};
