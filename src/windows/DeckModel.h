#pragma once

#include <QColor>
#include <QObject>
#include <QPointer>

class Note;

// What one note window shows: the current note, the window's backdrop opacity, and the sliding state of
// a note change or a swipe (the card's horizontal shift and the neighbour it uncovers). The window
// controller, the manager and the swipe write it; the deck view only reads it.
//
// Every setter stores the value and notifies only when it differs from the current one. Notes are
// held weakly: a note object that goes away reads as null rather than leaving a dangling pointer.
// Main thread only.
class DeckModel : public QObject {
    Q_OBJECT
public:
    explicit DeckModel(Note* note, QObject* parent = nullptr);

    Note* note() const { return m_note; }
    void setNote(Note* note);

    // Opacity of the window's backdrop, handed to the note view.
    double opacity() const { return m_opacity; }
    void setOpacity(double opacity);

    // Direction of the last note change: +1 forward, -1 back, 0 before any change.
    int slideDirection() const { return m_slideDirection; }
    void setSlideDirection(int direction);

    // Horizontal shift in points of the current card; negative moves it left.
    double dragOffset() const { return m_dragOffset; }
    void setDragOffset(double offset);

    // The neighbour uncovered by a swipe; null between swipes.
    Note* peekNote() const { return m_peekNote; }
    void setPeekNote(Note* note);

    // The peek card lies right of the current card (false: left).
    bool peekIsTrailing() const { return m_peekIsTrailing; }
    void setPeekIsTrailing(bool trailing);

    // The swipe went past the last note: the blank "New note" sheet shows instead of a note. A present
    // peek note wins over the sheet.
    bool peekIsNewNote() const { return m_peekIsNewNote; }
    void setPeekIsNewNote(bool isNewNote);

    QColor newNotePaper() const { return m_newNotePaper; }
    void setNewNotePaper(const QColor& paper);

    bool isKey() const { return m_isKey; }
    void setIsKey(bool isKey);

    bool isRolled() const { return m_isRolled; }
    void setIsRolled(bool isRolled);

Q_SIGNALS:
    void noteChanged();
    void opacityChanged();
    void slideDirectionChanged();
    void dragOffsetChanged();
    void peekNoteChanged();
    void peekIsTrailingChanged();
    void peekIsNewNoteChanged();
    void newNotePaperChanged();
    void isKeyChanged();
    void isRolledChanged();

private:
    QPointer<Note> m_note;
    double m_opacity = 1.0;
    int m_slideDirection = 0;
    double m_dragOffset = 0;
    QPointer<Note> m_peekNote;
    bool m_peekIsTrailing = true;
    bool m_peekIsNewNote = false;
    QColor m_newNotePaper;
    bool m_isKey = false;
    bool m_isRolled = false;
};
