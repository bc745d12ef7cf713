#pragma once

class QColor;
class QWidget;

// The colour a widget's text is drawn in, whichever role the widget draws it with: labels use
// WindowText, buttons ButtonText, fields Text.
struct TextColor {
    static void set(QWidget* widget, const QColor& color);
};
