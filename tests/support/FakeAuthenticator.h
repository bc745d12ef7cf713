#pragma once

#include <QCoreApplication>
#include <QStringList>
#include <deque>

#include "platform/Authenticator.h"

namespace tarnwick::test {

// An Authenticator whose answers the test gives. Each evaluation waits until the test calls
// complete(), unless autoOutcome is set, in which case it completes with that outcome on the next turn
// of the event loop (after evaluate has returned, as the real one does). The fake must outlive that turn.
class FakeAuthenticator : public Authenticator {
public:
    Availability available{true, {}};
    std::optional<Outcome> autoOutcome;
    QStringList reasons;  // every reason asked, in order

    Availability availability() override { return available; }

    void evaluate(const QString& reason, Completion done) override
    {
        reasons << reason;
        m_pending.push_back(std::move(done));
        if (autoOutcome) {
            const Outcome outcome = *autoOutcome;
            QMetaObject::invokeMethod(
                QCoreApplication::instance(), [this, outcome] { complete(outcome); }, Qt::QueuedConnection);
        }
    }

    int pendingCount() const { return int(m_pending.size()); }

    // Answers the oldest evaluation still waiting.
    void complete(Outcome outcome, const QString& detail = {})
    {
        if (m_pending.empty()) return;
        Completion done = std::move(m_pending.front());
        m_pending.pop_front();
        done(outcome, detail);
    }

private:
    std::deque<Completion> m_pending;
};

}  // namespace tarnwick::test
