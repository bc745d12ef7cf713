#pragma once

#include <QPointer>

#include "note/NotePopovers.h"
#include "platform/NotificationCenter.h"
#include "themes/NotePalette.h"

class ColorField;
class QAbstractButton;
class QComboBox;
class QLabel;
#include <QLineEdit>
class QPropertyAnimation;
class QPushButton;
class QScrollArea;
class ThemeGrid;
class ThemeWindowController;

// A note's look palette, titled "Note design": the theme grid, and a drawer in which this one note
// gets its own paper, ink and typeface, drops them, or saves its look as a theme. Changes are written
// at once; it closes only as a popup does (Escape, a click elsewhere) or when the theme window opens.
class NotePalettePopover : public NotePopover {
    Q_OBJECT
public:
    static constexpr int contentWidth = 246;

    NotePalettePopover(NoteStore& store, Note& note, ThemeWindowController* themeWindow, QWidget* anchor,
                       bool startCustomising = false);

    NotePalette& palette() { return m_palette; }
    ThemeGrid* grid() const { return m_grid; }
    // The grid scrolls in here once it is taller than the screen under the anchor leaves room for.
    QScrollArea* gridScroll() const { return m_gridScroll; }
    bool customising() const { return m_customising; }
    void setCustomising(bool customising);
    ColorField* paperField() const { return m_paper; }
    ColorField* inkField() const { return m_ink; }
    QComboBox* familyBox() const { return m_family; }
    QLabel* familyTrailing() const { return m_familyTrailing; }
    QWidget* resetRow() const { return m_resetRow; }
    QPushButton* resetButton() const { return m_reset; }
    QPushButton* saveAsButton() const { return m_saveAs; }
    // The naming popup while it is open.
    NotePopover* namingPopover() const { return m_naming; }
    QLineEdit* nameField() const { return m_nameField; }
    // Reads the note's look again.
    void refresh();

private:
    void showNaming();
    void saveAsTheme();
    // The tallest the grid may be drawn so the whole palette, drawer open, fits on the anchor's screen.
    int gridHeightLimit() const;
    void fitGrid();

    NotePalette m_palette;
    QPointer<ThemeWindowController> m_themeWindow;
    QPointer<QWidget> m_anchor;
    ThemeGrid* m_grid;
    QScrollArea* m_gridScroll;
    QWidget* m_themeHeader;
    QLabel* m_themeTrailing;
    QAbstractButton* m_disclosure;
    QWidget* m_drawer;
    ColorField* m_paper;
    ColorField* m_ink;
    QComboBox* m_family;
    QLabel* m_familyTrailing;
    QWidget* m_resetRow;
    QPushButton* m_reset;
    QWidget* m_footer;
    QPushButton* m_saveAs;
    QPointer<NotePopover> m_naming;
    QPointer<QLineEdit> m_nameField;
    QPropertyAnimation* m_drawerAnimation;
    bool m_customising = false;
    ObserverToken m_themeObserver;
};
