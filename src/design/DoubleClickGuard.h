#pragma once

#include <QPointF>
#include <QVariant>

class QMouseEvent;
class QWidget;

// Qt delivers a double click as press, release, double-click, release, and a triple click as a double
// click followed by a plain press. A list that acts on a release (or takes the double-click for a
// press, as QWidget does by default) acts two or three times, and when the first act moved the rows,
// the later ones land on whatever slid under the pointer. A double or triple click on a list acts
// once: the guard follows one button's presses of a list whose items act on release, and lets a
// release act only when it ends a single press on the target it began on. A press that follows a
// double click on the same spot within the double-click time belongs to that click and aims at nothing.
// Targets are comparable values naming what a press aims at (a row's identity with its command); a
// null QVariant aims at nothing.
class DoubleClickGuard {
public:
    // A press (MouseButtonPress) on `target`.
    void press(const QVariant& target, const QMouseEvent& event);
    // The second press of a double click (MouseButtonDblClick): it aims at nothing.
    void doublePress(const QMouseEvent& event);
    // The release on `target`: true when it ends a single press that began on that same target.
    bool release(const QVariant& target)
    {
        const QVariant pressed = m_pressed;
        m_pressed = QVariant();
        return pressed.isValid() && pressed == target;
    }
    // Forgets the press under way (what it aimed at has changed), not the double click it may follow.
    void forgetPress() { m_pressed = QVariant(); }

    // The same, from an event's time (milliseconds) and global position. pressAt answers whether the
    // press belongs to the double click before it (and so aims at nothing).
    bool pressAt(const QVariant& target, quint64 timestamp, const QPointF& globalPos);
    void doublePressAt(quint64 timestamp, const QPointF& globalPos);

    // For lists of buttons, which act on their own release: the second press of a double click, and
    // any press that follows it on the same spot within the double-click time, never reach `widget`,
    // so the button under it (the neighbour that slid up) is not pressed.
    static void guardButton(QWidget* widget);

private:
    QVariant m_pressed;
    // The last press of the double (or longer) click under way: when and where.
    bool m_inMultiClick = false;
    quint64 m_lastAt = 0;
    QPointF m_lastPos;
};
