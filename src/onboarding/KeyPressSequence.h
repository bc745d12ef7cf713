#pragma once

#include <QObject>
#include <QSet>
#include <vector>

#include "platform/Clock.h"

// The press played over a chord's key caps when its hot key was used: key i goes down i × 40 ms
// after the start (each key 40 ms after the one before it went down) and springs back 90 ms later, so
// the keys go down left to right. A second press while one is running plays alongside it. With Reduce
// Motion nothing moves.
class KeyPressSequence : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 kStaggerMs = 40, kHoldMs = 90;

    KeyPressSequence(Clock& clock, bool reduceMotion, QObject* parent = nullptr);

    void play(int keyCount);
    // The clock the press is timed by: what moves with the press keeps step with it.
    Clock& clock() const { return m_clock; }
    bool isDepressed(int index) const { return m_depressed.contains(index); }
    QSet<int> depressed() const { return m_depressed; }

Q_SIGNALS:
    void changed();

private:
    void press(int index, int keyCount, qint64 delayMs);

    Clock& m_clock;
    bool m_reduceMotion;
    QSet<int> m_depressed;
};
