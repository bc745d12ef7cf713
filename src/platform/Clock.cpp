#include "platform/Clock.h"

#include <time.h>
#include <QCoreApplication>
#include <QPointer>
#include <QTimer>
#include <algorithm>

namespace {
// A QTimer counts on the monotonic clock, which stops while the machine is suspended. To keep a
// deadline on boot time, wake at most every 15 seconds and compare with the boot-time clock.
constexpr qint64 kMaxStepMs = 15000;

void armStep(const std::shared_ptr<bool>& cancelled, QPointer<QObject> context, bool hasContext, qint64 deadline,
             std::shared_ptr<std::function<void()>> fn, const SystemClock* clock)
{
    const qint64 remaining = deadline - clock->elapsedMs();
    if (*cancelled || (hasContext && !context)) return;
    if (remaining <= 0) {
        *cancelled = true;
        (*fn)();
        return;
    }
    QTimer::singleShot(int(std::min(remaining, kMaxStepMs)), Qt::PreciseTimer, context ? context.data() : qApp,
                       [=] { armStep(cancelled, context, hasContext, deadline, fn, clock); });
}
}  // namespace

Clock& Clock::system()
{
    static SystemClock clock;
    return clock;
}

QDateTime SystemClock::now() const
{
    return QDateTime::currentDateTimeUtc();
}

qint64 SystemClock::elapsedMs() const
{
    timespec ts{};
    clock_gettime(CLOCK_BOOTTIME, &ts);
    return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

TimerHandle SystemClock::after(qint64 delayMs, QObject* context, std::function<void()> fn)
{
    auto cancelled = std::make_shared<bool>(false);
    const qint64 delay = std::clamp<qint64>(delayMs, 0, longestDelayMs);
    const qint64 deadline = elapsedMs() + delay;
    QPointer<QObject> guard(context);
    const bool hasContext = context != nullptr;
    auto shared = std::make_shared<std::function<void()>>(std::move(fn));
    // Never call back synchronously, even for a zero delay.
    QTimer::singleShot(int(std::min(delay, kMaxStepMs)), Qt::PreciseTimer, context ? context : qApp,
                       [=, this] { armStep(cancelled, guard, hasContext, deadline, shared, this); });
    return TimerHandle(cancelled);
}

namespace MainQueue {
void nextTurn(QObject* context, std::function<void()> fn)
{
    QMetaObject::invokeMethod(context ? context : qApp, std::move(fn), Qt::QueuedConnection);
}
}  // namespace MainQueue
