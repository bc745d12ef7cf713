#pragma once

#include <QWidget>

// The frameless floating window of one note. It translates window events into signals for its
// controller and starts a system resize from a thin band along its edges (there is no border to grab).
// Without a compositing manager it is painted opaque and its corners are cut with a mask.
class FloatingNotePanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int cornerRadius = 12;
    static constexpr int resizeBand = 4;

    FloatingNotePanel(bool floatOnTop, bool translucent);

    // A press at this point (panel coordinates) within the edge band starts a system resize. True
    // when it did; the press is then the window manager's.
    bool beginEdgeResize(const QPoint& pos);

Q_SIGNALS:
    void moved();
    void resized();
    void activationChanged(bool active);
    // The user started resizing from an edge band.
    void edgeResizeStarted();

protected:
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    Qt::Edges edgesAt(const QPoint& pos) const;
    void updateMask();

    bool m_translucent;
};
