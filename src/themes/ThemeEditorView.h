#pragma once

#include <QWidget>

#include "themes/ThemeEditor.h"

class ColorField;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class ThemePreviewNote;

// The theme window's content: the form (name, paper, ink, typeface, line height) on the left, the
// sample note on the right, Delete Theme and Save below the form. Return saves.
class ThemeEditorView : public QWidget {
    Q_OBJECT
public:
    static constexpr int contentWidth = 704;
    static constexpr int contentHeight = 460;  // the least height; taller when the form needs it
    static constexpr int formWidth = 372;

    ThemeEditorView(ThemeEditor editor, QWidget* parent = nullptr);

    // The height at which the whole form shows without scrolling (never below contentHeight).
    int fittingHeight() const { return m_fittingHeight; }
    // The height the view is given: the fitting height where the screen has room, else what it has.
    void setHeightWithin(int available);

    ThemeEditor& editor() { return m_editor; }
    QLineEdit* nameField() const { return m_name; }
    ColorField* paperField() const { return m_paper; }
    ColorField* inkField() const { return m_ink; }
    QComboBox* familyBox() const { return m_family; }
    QComboBox* lineHeightBox() const { return m_lineHeight; }
    QPushButton* deleteButton() const { return m_delete; }
    // The line under the form that says a save failed; hidden otherwise.
    QLabel* failureLine() const { return m_failure; }

    void save();

private:
    void formChanged();

    ThemeEditor m_editor;
    QLineEdit* m_name;
    ColorField* m_paper;
    ColorField* m_ink;
    QComboBox* m_family;
    QComboBox* m_lineHeight;
    QPushButton* m_save;
    QPushButton* m_delete = nullptr;
    QLabel* m_failure;
    ThemePreviewNote* m_preview;
    QWidget* m_scroll = nullptr;
    int m_fittingHeight = contentHeight;
};
