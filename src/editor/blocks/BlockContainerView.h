#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>

class BlockContainer;
class BlockController;
class QKeyEvent;
class TextStorage;

// The widget of a note body: holds one widget per block where the container placed it, takes the
// clicks no block took, and is the drop target for pictures (the drop line, the edge scroll).
class BlockContainerView : public QWidget {
    Q_OBJECT

public:
    explicit BlockContainerView(BlockContainer& container, QWidget* parent = nullptr);

    BlockContainer& container() { return m_container; }
    QWidget* dropLine() const { return m_dropLine; }
    // Puts every block widget at its frame; the height follows the content.
    void place();
    // Undo and Redo walk the note's one history wherever the keyboard sits in the body: on this widget
    // once the focused block went (an undone paste), or on the scroll view around it. True when taken.
    bool answerHistoryKey(const QKeyEvent* event);

Q_SIGNALS:
    // A caret or selection rectangle, in this widget's coordinates, that must stay visible.
    void revealRequested(const QRectF& rect);

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void blockAdded(BlockController* controller, TextStorage* storage);
    void blockRemoving(BlockController* controller);
    // Deletes a removed block's widget once none of its own events is running.
    void retire(QPointer<QWidget> view, BlockController* controller);
    bool acceptDrag(QDropEvent* event);
    void hideDropLine();

    BlockContainer& m_container;
    QWidget* m_dropLine;
    QTimer m_autoscroll;  // repeats the edge step while the pointer rests in the band
    QPointF m_dragPoint;
    // The text view edited since the blocks were last placed: its caret is shown once they are, as an
    // edit that grew the body (a paste) has its caret beyond the old end until then. A text loaded from
    // the note (a capture arriving) moves no view.
    QPointer<QWidget> m_revealAfterLayout;
    bool m_focusByPress = false;  // the focus came with the mouse press being handled
};
