#pragma once

#include <QWidget>
#include <functional>

struct ResolvedNoteTheme;
class Note;
class QMenu;

// The slot for the editor of a note's body inside the note view. The block editor fills it; it loads,
// edits and writes the note's blocks itself. The note view hands it the note, the resolved theme
// (again after every theme change) and the keyboard.
class NoteBody : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    virtual void setNote(Note* note) = 0;
    virtual void setTheme(const ResolvedNoteTheme& theme) = 0;
    // Puts the caret into the body (the last focused block, else the start of the body).
    virtual void focusBody() = 0;
    // Opens the editor's find bar, when it has one.
    virtual void showFindBar() {}
    // Keeps the scroll bar this far above the body's bottom edge (the resize grip's square).
    virtual void setScrollBarBottomInset(int inset) { Q_UNUSED(inset); }
    // Brings the editor up to the note at once, the caret included (after an unlock revealed the body),
    // rather than on a later turn: keys already waiting then reach the text.
    virtual void catchUp() {}
    // Puts the caret at the start of the note, on its title line.
    virtual void focusTitle() { focusBody(); }
    // The editor's own edit menu for a right-click at `pos` (in this widget), or null when there is none
    // there; the note's commands follow its items after a separator, in one menu. The caller owns it.
    virtual QMenu* createEditMenu(const QPoint& pos)
    {
        Q_UNUSED(pos);
        return nullptr;
    }

Q_SIGNALS:
    // Something the owner should read (input left out of a paste or drop): shown as the note's notice.
    void notice(const QString& message);
};

using NoteBodyFactory = std::function<NoteBody*(QWidget* parent)>;
