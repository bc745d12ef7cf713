#pragma once

#include <QToolButton>

// A quiet tool button that draws the focus ring inside its own bounds while it has the keyboard: for
// rows too tight for a ring outside the button (the shelf's footer, a note's head row).
class FocusRingToolButton : public QToolButton {
public:
    using QToolButton::QToolButton;

protected:
    void paintEvent(QPaintEvent* event) override;
};
