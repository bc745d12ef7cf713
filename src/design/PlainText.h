#pragma once

#include <QString>

// Text that comes from data (theme and client names, versions, addresses) shown exactly as it is.
// Labels take it with Qt::PlainText; these cover the two places Qt would otherwise read markup or
// mnemonics into it.
struct PlainText {
    // A tooltip that shows `text` literally: Qt guesses rich text from tags in a tooltip, so the text
    // is escaped and marked as rich text explicitly.
    static QString toolTip(const QString& text);
    // Sets `widget`'s tooltip to toolTip(text), and its accessible description to `text` itself: a
    // screen reader takes the tooltip as the description and would read the markup out.
    // (A template, so this header asks nothing of the widgets library.)
    template <class Widget>
    static void setToolTip(Widget* widget, const QString& text)
    {
        widget->setToolTip(toolTip(text));
        widget->setAccessibleDescription(text);
    }
    // A button title: "&" would underline the next letter and vanish, so it is doubled.
    static QString buttonTitle(const QString& text);
};
