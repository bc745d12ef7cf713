#pragma once

#include <QAbstractButton>
#include <QPointer>
#include <QWidget>

#include "note/NotePopovers.h"
#include "themes/ColorPickerModel.h"

class QLabel;
class QLineEdit;
class ColorPickerPopover;

// One colour of a form: its title, its hex code and a swatch button that opens the picker. Every
// pick is written through the binding at once; what a write means is the owner's business.
class ColorField : public QWidget {
    Q_OBJECT
public:
    ColorField(const QString& title, QList<QColor> swatches, ColorPickerModel::Binding binding,
               QWidget* parent = nullptr);

    QString title() const { return m_title; }
    QAbstractButton* swatchButton() const { return m_button; }
    ColorPickerPopover* picker() const { return m_picker; }
    // Reads the colour again (the owner calls this when it changed).
    void refresh();
    // Opens the picker under the swatch button; does nothing while it is open.
    void showPicker();

private:
    QString m_title;
    QList<QColor> m_swatches;
    ColorPickerModel::Binding m_binding;
    QLabel* m_hex;
    QAbstractButton* m_button;
    QPointer<ColorPickerPopover> m_picker;
};

// The picker: the caller's swatches, the colour wheel, the hex field and the brightness slider. The
// hex field has the focus and its text selected when the picker opens.
class ColorPickerPopover : public NotePopover {
    Q_OBJECT
public:
    static constexpr int contentWidth = 214;

    ColorPickerPopover(const QString& title, QList<QColor> swatches, ColorPickerModel::Binding binding,
                       QWidget* anchor);
    ColorPickerModel& model() { return m_model; }
    QLineEdit* hexField() const { return m_hexField; }
    QWidget* wheel() const { return m_wheel; }
    QWidget* slider() const { return m_slider; }
    QList<QAbstractButton*> swatchButtons() const { return m_swatchButtons; }
    void popUp();
    // Redraws marks, wheel and slider from the colour; the field keeps its text.
    void sync();

Q_SIGNALS:
    // After every write of the colour.
    void wrote();

private:
    ColorPickerModel m_model;
    QLineEdit* m_hexField;
    QWidget* m_wheel;
    QWidget* m_slider;
    QList<QAbstractButton*> m_swatchButtons;
};
