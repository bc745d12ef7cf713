#pragma once

#include <QObject>
#include <functional>

#include "platform/Clock.h"

// When a write the disk refused is tried again: after 1 s, then 2 s, 4 s and every 5 s while it keeps
// failing. A disk that frees up tells nobody, so it is looked at often at first and then seldom, and a
// failure that lasts costs little. Starts over from 1 s once the write got through.
class RetrySchedule {
public:
    static constexpr qint64 firstDelayMs = 1000;
    static constexpr qint64 longestDelayMs = 5000;

    // The tries run on `context`'s thread, and not once it is gone.
    RetrySchedule(Clock& clock, QObject* context) : m_clock(clock), m_context(context) {}

    // Has `attempt` run after the current wait, which the next one doubles; nothing when a try already
    // waits (the one waiting is kept, at its time).
    void schedule(std::function<void()> attempt);
    bool isWaiting() const { return m_waiting.isActive(); }
    // The waiting try does not run; the next keeps the wait it would have had.
    void cancel() { m_waiting.cancel(); }
    // It got through: nothing waits, and a later failure is tried again after the first wait.
    void reset();
    // No failure since the last reset.
    bool atFirst() const { return m_delayMs == firstDelayMs; }

private:
    Clock& m_clock;
    QObject* m_context;
    qint64 m_delayMs = firstDelayMs;
    TimerHandle m_waiting;
};
