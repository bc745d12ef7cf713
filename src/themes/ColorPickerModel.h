#pragma once

#include <QColor>
#include <QList>
#include <QPointF>
#include <QString>
#include <functional>
#include <optional>

// What the colour picker does with its colour: a two-way binding (read the current colour, write a
// new one) and the text of its hex field. Only the user's own acts write, one write each: a swatch
// pick, typed or pasted text that reads as a colour, Return, and each step on the wheel or slider.
// Showing the picker, or a wheel or slider change putting its code into the field, writes nothing.
class ColorPickerModel {
public:
    struct Binding {
        std::function<QColor()> get;
        std::function<void(const QColor&)> set;
    };

    ColorPickerModel(QList<QColor> swatches, Binding binding);

    const QList<QColor>& swatches() const { return m_swatches; }
    QColor color() const;
    QString hex() const;
    const QString& draft() const { return m_draft; }

    // The picker is shown: the field shows the colour's code.
    void shown();
    // The user changed the field's text (typing, pasting, cutting): written when it reads as a colour,
    // else kept as typed and nothing is written.
    void edited(const QString& text);
    // Return in the field: the field's colour, when it reads as one and differs from the colour.
    void submitted();
    // A swatch was clicked: its colour is written and its code put into the field.
    void pickSwatch(int index);
    bool isSwatchSelected(int index) const;

    // A press or drag step on the wheel or the slider (nothing written when the input is unusable).
    void wheelStep(const QPointF& point, double radius);
    void sliderStep(double x, double width);
    // Reads the colour's hue, saturation and brightness again, for the wheel and the slider to work
    // from (after each write, and when the colour changed elsewhere).
    void refreshHsb();

private:
    void write(const QColor& color);

    QList<QColor> m_swatches;
    Binding m_binding;
    QString m_draft;
    double m_h = 0, m_s = 0, m_b = 1;
};
