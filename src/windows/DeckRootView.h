#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <optional>

class DeckModel;
#include "model/Note.h"
class NoteStore;

// One card of the deck: the view of one note. The note view takes this slot when it lands.
class DeckCard : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    virtual void setNote(Note* note) = 0;
    // The window is key (the current card) or not (the peek card is never active).
    virtual void setActive(bool active) = 0;
    // The same, drawn over `animationMs` (the deck's own key change) where the card animates it.
    virtual void changeActive(bool active, int animationMs)
    {
        Q_UNUSED(animationMs);
        setActive(active);
    }
    virtual void setWindowOpacity(double opacity) = 0;
    // The window is rolled up to its title strip.
    virtual void setRolled(bool rolled) { Q_UNUSED(rolled); }
    // Opens the find bar of the card's editor; false when it shows none (no editor, or a locked note).
    virtual bool showFindBar() { return false; }
};

// The card a deck shows when it is given no factory (the window tests use it): the note's paper with its
// title in a strip on top. Dragging the strip and double-clicking it post the same requests the note view does.
class PlaceholderNoteCard : public DeckCard {
    Q_OBJECT
public:
    PlaceholderNoteCard(NoteStore& store, bool translucent, QWidget* parent = nullptr);
    void setNote(Note* note) override;
    void setActive(bool active) override;
    void setWindowOpacity(double opacity) override;
    // The title the card shows: the locked title for a locked note.
    static QString shownTitle(const Note& note);

    static constexpr int stripHeight = 44;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void postDrag(const QPointF& globalPos, bool ended);

    NoteStore& m_store;
    bool m_translucent;
    QPointer<Note> m_note;
    bool m_active = false;
    double m_opacity = 1.0;
    std::optional<QPointF> m_pressAt;
};

// What a note window shows: the current card shifted by the model's drag offset and, during a swipe,
// the neighbour one width beside it or the blank "New note" sheet past the last note.
class DeckRootView : public QWidget {
    Q_OBJECT
public:
    using CardFactory = std::function<DeckCard*(QWidget* parent)>;
    // The window gaining or losing key state is drawn over this long.
    static constexpr int keyChangeMs = 150;
    DeckRootView(DeckModel& model, CardFactory makeCard, bool translucent, QWidget* parent = nullptr);

    DeckCard* currentCard() const { return m_current; }
    DeckCard* peekCard() const { return m_peek; }
    // Whether the "New note" sheet is drawn now, and where.
    bool showsNewNoteSheet() const;
    QRect newNoteSheetRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void layoutCards();

    DeckModel& m_model;
    bool m_translucent;
    DeckCard* m_current;
    DeckCard* m_peek;
};
