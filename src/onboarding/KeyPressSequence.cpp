#include "onboarding/KeyPressSequence.h"

KeyPressSequence::KeyPressSequence(Clock& clock, bool reduceMotion, QObject* parent)
    : QObject(parent), m_clock(clock), m_reduceMotion(reduceMotion)
{
}

void KeyPressSequence::play(int keyCount)
{
    if (m_reduceMotion || keyCount <= 0) return;
    for (int i = 0; i < keyCount; ++i) {
        m_clock.after(i * kStaggerMs, this, [this, i] {
            m_depressed.insert(i);
            Q_EMIT changed();
            // Each release lifts its key, also when an overlapping press put it down again.
            m_clock.after(kHoldMs, this, [this, i] {
                m_depressed.remove(i);
                Q_EMIT changed();
            });
        });
    }
}
