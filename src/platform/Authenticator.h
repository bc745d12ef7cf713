#pragma once

#include <QString>
#include <functional>
#include <optional>

// Asks the owner of this account to prove who they are before private content is shown. The answer
// is one of four outcomes, delivered once on the main thread.
class Authenticator {
public:
    enum class Outcome {
        success,
        failed,       // the owner did not prove who they are (wrong password)
        cancelled,    // the owner dismissed the prompt
        unavailable,  // there is no way to ask on this system right now
    };
    struct Availability {
        bool available = false;
        QString reason;  // why not, for the log
    };
    // detail: for unavailable, the explanation for the log; otherwise empty.
    using Completion = std::function<void(Outcome outcome, const QString& detail)>;

    virtual ~Authenticator() = default;

    virtual Availability availability() = 0;
    // Shows the reason in the prompt; done runs exactly once, on the main thread, never before
    // evaluate has returned.
    virtual void evaluate(const QString& reason, Completion done) = 0;

    // Capability texts for settings and onboarding. Only the account password can be asked here:
    // there is no biometric path, so the texts are those of a machine without one.
    std::optional<QString> biometryName() const { return std::nullopt; }
    bool hasBiometrics() const { return false; }
    QString capabilityDescription();
    QString authSymbol() const { return QStringLiteral("key.fill"); }
};
