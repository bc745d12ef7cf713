#include "onboarding/KeyPressSequence.h"

KeyPressSequence::KeyPressSequence(Clock& clock, bool reduceMotion, QObject* parent)
    : QObject(parent), m_clock(clock), m_reduceMotion(reduceMotion)
{
}

void KeyPressSequence::play(int keyCount)
{
    if (m_reduceMotion || keyCount <= 0) return;
    press(0, keyCount, 0);
}

void KeyPressSequence::press(int index, int keyCount, qint64 delayMs)
{
    m_clock.after(delayMs, this, [this, index, keyCount] {
        m_depressed.insert(index);
        Q_EMIT changed();
        // Each release lifts its key, also when an overlapping press put it down again.
        m_clock.after(kHoldMs, this, [this, index] {
            m_depressed.remove(index);
            Q_EMIT changed();
        });
        // The next key is timed from this one: when the main thread is held up (the new note opening as
        // its key is pressed), the row goes down later, never all at once.
        if (index + 1 < keyCount) press(index + 1, keyCount, kStaggerMs);
    });
}
