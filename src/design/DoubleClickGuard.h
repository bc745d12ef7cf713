#pragma once

#include <QVariant>

class QWidget;

// Qt delivers a double click as press, release, double-click, release. A list that acts on a release
// (or takes the double-click for a press, as QWidget does by default) acts twice, and when the first
// act moved the rows, the second lands on whatever slid under the pointer. A double click on a list
// acts once: the guard follows one button's presses of a list whose items act on release, and lets a
// release act only when it ends a single press on the target it began on.
// Targets are comparable values naming what a press aims at (a row's identity with its command); a
// null QVariant aims at nothing.
class DoubleClickGuard {
public:
    // A press (MouseButtonPress) on `target`.
    void press(const QVariant& target) { m_pressed = target; }
    // The second press of a double click (MouseButtonDblClick): it aims at nothing.
    void doublePress() { m_pressed = QVariant(); }
    // The release on `target`: true when it ends a single press that began on that same target.
    bool release(const QVariant& target)
    {
        const QVariant pressed = m_pressed;
        m_pressed = QVariant();
        return pressed.isValid() && pressed == target;
    }

    // For lists of buttons, which act on their own release: the second press of a double click never
    // reaches `widget`, so the button under it (the neighbour that slid up) is not pressed.
    static void guardButton(QWidget* widget);

private:
    QVariant m_pressed;
};
