#include "design/Tween.h"

#include <algorithm>
#include <cmath>

#include "platform/X11Desktop.h"

Tween::Tween(Clock& clock, double value, QObject* parent)
    : QObject(parent), m_clock(clock), m_reduceMotion(&X11Desktop::reduceMotion)
{
    if (!std::isfinite(value)) value = 0.0;
    m_from = m_to = value;
}

double Tween::value() const
{
    if (m_duration <= 0) return m_to;
    const qint64 elapsed = m_clock.elapsedMs() - m_start;
    if (elapsed >= m_duration) return m_to;
    const double progress = std::clamp(double(elapsed) / m_duration, 0.0, 1.0);
    return m_from + (m_to - m_from) * m_curve.valueForProgress(progress);
}

void Tween::animateTo(double target, int durationMs)
{
    if (!std::isfinite(target)) return;
    if (target == m_to) return;
    if (durationMs <= 0 || (m_reduceMotion && m_reduceMotion())) {
        jumpTo(target);
        return;
    }
    m_from = value();
    m_to = target;
    m_start = m_clock.elapsedMs();
    m_duration = durationMs;
    if (!m_frames.isActive()) m_frames = m_clock.after(frameMs, this, [this] { frame(); });
    Q_EMIT valueChanged(m_from);
}

void Tween::jumpTo(double value)
{
    if (!std::isfinite(value)) return;
    m_frames.cancel();
    m_duration = 0;
    const bool changed = value != m_to || m_from != m_to;
    m_from = m_to = value;
    if (changed) Q_EMIT valueChanged(value);
}

void Tween::frame()
{
    const double now = value();
    if (m_clock.elapsedMs() - m_start >= m_duration) {
        m_duration = 0;
        m_from = m_to;
        m_frames = TimerHandle();
    } else {
        m_frames = m_clock.after(frameMs, this, [this] { frame(); });
    }
    Q_EMIT valueChanged(now);
}
