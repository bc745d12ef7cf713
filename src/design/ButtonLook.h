#pragma once

#include <QColor>
#include <QFont>

// What a button style decides for one state of a button; TarnwickButton paints from it.
struct ButtonLook {
    QFont font;
    QColor foreground;
    QColor background;  // transparent for none
    qreal height = 0;
    qreal horizontalPadding = 0;
    qreal cornerRadius = 0;
    bool fullWidth = false;  // stretches to the available width, else its natural width
    qreal opacity = 1;
    qreal scale = 1;  // about the centre

    // Changes of the pressed state ease out over this time.
    static constexpr int kPressAnimationMs = 100;

    // The look part way (t in 0...1) from `from` to `to`: colours, opacity and scale blend; the
    // rest is taken from `to`.
    static ButtonLook blend(const ButtonLook& from, const ButtonLook& to, qreal t);
};
