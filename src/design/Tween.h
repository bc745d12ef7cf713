#pragma once

#include <QEasingCurve>
#include <QObject>
#include <functional>

#include "platform/Clock.h"

// One drawn value that eases (out-cubic, unless given another curve) toward its target over a duration.
// The state it stands for changes at once elsewhere; only the drawing follows. A new target mid-way starts
// from the value drawn at that moment. With reduced motion every change is immediate. Frames come from
// the clock, and stop with this object, so nothing runs against a widget that is gone.
class Tween : public QObject {
    Q_OBJECT
public:
    static constexpr int frameMs = 16;

    explicit Tween(Clock& clock, double value = 0.0, QObject* parent = nullptr);

    // Asked at each change; by default the desktop's setting.
    void setReduceMotion(std::function<bool()> reduceMotion) { m_reduceMotion = std::move(reduceMotion); }
    // The curve it eases along.
    void setCurve(const QEasingCurve& curve) { m_curve = curve; }

    // The value to draw now.
    double value() const;
    double target() const { return m_to; }
    bool isRunning() const { return m_frames.isActive(); }

    // Eases from the drawn value to `target` over `durationMs`; a non-finite target is ignored.
    void animateTo(double target, int durationMs);
    // Goes to `value` at once (a new note: nothing carries over from the last one).
    void jumpTo(double value);

Q_SIGNALS:
    // A new value to draw (each frame, and at the end).
    void valueChanged(double value);

private:
    void frame();

    Clock& m_clock;
    std::function<bool()> m_reduceMotion;
    QEasingCurve m_curve{QEasingCurve::OutCubic};
    double m_from = 0.0, m_to = 0.0;
    qint64 m_start = 0;
    int m_duration = 0;
    TimerHandle m_frames;
};
