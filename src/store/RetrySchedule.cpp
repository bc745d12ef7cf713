#include "store/RetrySchedule.h"

#include <algorithm>

void RetrySchedule::schedule(std::function<void()> attempt)
{
    if (isWaiting()) return;
    m_waiting = m_clock.after(m_delayMs, m_context, [this, attempt = std::move(attempt)] {
        m_waiting = TimerHandle();  // fired: the outcome of this try may schedule the next
        attempt();
    });
    m_delayMs = std::min(m_delayMs * 2, longestDelayMs);
}

void RetrySchedule::reset()
{
    m_waiting.cancel();
    m_delayMs = firstDelayMs;
}
