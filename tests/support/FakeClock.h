#pragma once

#include <QPointer>
#include <QTimeZone>
#include <algorithm>
#include <vector>

#include "platform/Clock.h"

// A clock that moves only when told. Scheduled calls run, in deadline order, inside advance().
class FakeClock : public Clock {
public:
    explicit FakeClock(QDateTime start = QDateTime(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC)) : m_now(start) {}

    QDateTime now() const override { return m_now; }
    qint64 elapsedMs() const override { return m_elapsed; }

    TimerHandle after(qint64 delayMs, QObject* context, std::function<void()> fn) override
    {
        auto cancelled = std::make_shared<bool>(false);
        m_pending.push_back({m_elapsed + std::clamp<qint64>(delayMs, 0, longestDelayMs), m_seq++, cancelled,
                             QPointer<QObject>(context), context != nullptr, std::move(fn)});
        return TimerHandle(cancelled);
    }

    void setNow(const QDateTime& t) { m_now = t; }

    // Moves wall and boot time forward, running every call that falls due on the way.
    void advance(qint64 ms)
    {
        const qint64 target = m_elapsed + ms;
        for (;;) {
            auto due = std::min_element(m_pending.begin(), m_pending.end(), [](const Pending& a, const Pending& b) {
                return a.deadline != b.deadline ? a.deadline < b.deadline : a.seq < b.seq;
            });
            if (due == m_pending.end() || due->deadline > target) break;
            Pending p = std::move(*due);
            m_pending.erase(due);
            // A call that is late (see stall()) runs at the time it is run, never back at its deadline.
            if (p.deadline > m_elapsed) {
                m_now = m_now.addMSecs(p.deadline - m_elapsed);
                m_elapsed = p.deadline;
            }
            if (*p.cancelled || (p.hasContext && !p.context)) continue;
            *p.cancelled = true;
            p.fn();
        }
        m_now = m_now.addMSecs(target - m_elapsed);
        m_elapsed = target;
    }
    void advanceSeconds(double s) { advance(qint64(s * 1000)); }

    // The main thread held up for `ms`: time moves on, then every call that fell due meanwhile runs, late,
    // in deadline order; what they schedule is timed from the later time.
    void stall(qint64 ms)
    {
        m_now = m_now.addMSecs(ms);
        m_elapsed += ms;
        advance(0);
    }

    // Boot time moves on but the wall clock does not (or the other way round), as across a suspend.
    void advanceElapsedOnly(qint64 ms)
    {
        const QDateTime keep = m_now;
        advance(ms);
        m_now = keep;
    }

    int pendingCount() const
    {
        return int(std::count_if(m_pending.begin(), m_pending.end(), [](const Pending& p) { return !*p.cancelled; }));
    }

private:
    struct Pending {
        qint64 deadline;
        quint64 seq;
        std::shared_ptr<bool> cancelled;
        QPointer<QObject> context;
        bool hasContext;
        std::function<void()> fn;
    };
    QDateTime m_now;
    qint64 m_elapsed = 1000000;
    quint64 m_seq = 0;
    std::vector<Pending> m_pending;
};
