#include "windows/FloatingNotePanel.h"

#include <QPainterPath>
#include <QRegion>
#include <QWindow>

FloatingNotePanel::FloatingNotePanel(bool floatOnTop, bool translucent)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | (floatOnTop ? Qt::WindowStaysOnTopHint : Qt::Widget)),
      m_translucent(translucent)
{
    if (translucent) setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating, false);
    setMouseTracking(true);
}

Qt::Edges FloatingNotePanel::edgesAt(const QPoint& pos) const
{
    Qt::Edges edges;
    if (pos.x() < resizeBand) edges |= Qt::LeftEdge;
    if (pos.x() >= width() - resizeBand) edges |= Qt::RightEdge;
    if (pos.y() < resizeBand) edges |= Qt::TopEdge;
    if (pos.y() >= height() - resizeBand) edges |= Qt::BottomEdge;
    return edges;
}

bool FloatingNotePanel::beginEdgeResize(const QPoint& pos)
{
    const Qt::Edges edges = edgesAt(pos);
    if (!edges || !windowHandle() || !windowHandle()->startSystemResize(edges)) return false;
    Q_EMIT edgeResizeStarted();
    return true;
}

void FloatingNotePanel::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    Q_EMIT moved();
}

void FloatingNotePanel::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    updateMask();
    Q_EMIT resized();
}

void FloatingNotePanel::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange) Q_EMIT activationChanged(isActiveWindow());
}

void FloatingNotePanel::updateMask()
{
    // With a compositor the corners are antialiased in paint; without one, cut them.
    if (m_translucent) return;
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
    setMask(QRegion(path.toFillPolygon().toPolygon()));
}
