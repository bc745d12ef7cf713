#pragma once

#include <QDateTime>
#include <QObject>
#include <functional>
#include <limits>
#include <memory>

// A scheduled call that can be cancelled. Copies share the same call.
class TimerHandle {
public:
    TimerHandle() = default;
    explicit TimerHandle(std::shared_ptr<bool> cancelled) : m_cancelled(std::move(cancelled)) {}
    void cancel()
    {
        if (m_cancelled) *m_cancelled = true;
    }
    bool isActive() const { return m_cancelled && !*m_cancelled; }

private:
    std::shared_ptr<bool> m_cancelled;
};

// Time as the services see it. Injected so tests can drive it.
class Clock {
public:
    virtual ~Clock() = default;
    // Wall-clock time.
    virtual QDateTime now() const = 0;
    // Milliseconds on a clock that keeps counting while the machine sleeps (boot time).
    virtual qint64 elapsedMs() const = 0;
    // Calls fn once on the main thread when delayMs have passed on the boot-time clock, unless the
    // handle was cancelled or `context` was destroyed first. A delay beyond longestDelayMs waits that
    // long: the deadline is kept as boot time plus the delay, which must not overflow.
    virtual TimerHandle after(qint64 delayMs, QObject* context, std::function<void()> fn) = 0;

    // About 73 million years: far past any wait that matters, and far from the end of qint64.
    static constexpr qint64 longestDelayMs = std::numeric_limits<qint64>::max() / 4;
    // `minutes` as a delay for after(), saturated at longestDelayMs; zero for none or fewer.
    static constexpr qint64 minutesAsDelay(qint64 minutes)
    {
        constexpr qint64 minuteMs = 60 * 1000;
        if (minutes <= 0) return 0;
        return minutes >= longestDelayMs / minuteMs ? longestDelayMs : minutes * minuteMs;
    }

    // The real clock.
    static Clock& system();
};

class SystemClock : public Clock {
public:
    QDateTime now() const override;
    qint64 elapsedMs() const override;
    TimerHandle after(qint64 delayMs, QObject* context, std::function<void()> fn) override;
};

// Calls on the main thread's event loop.
namespace MainQueue {
// Runs fn on the next turn of the event loop, unless `context` is destroyed first.
void nextTurn(QObject* context, std::function<void()> fn);
}  // namespace MainQueue
