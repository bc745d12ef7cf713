#include "design/FocusRingToolButton.h"

#include <QPainter>

#include "design/TarnwickStyle.h"

void FocusRingToolButton::paintEvent(QPaintEvent* event)
{
    QToolButton::paintEvent(event);
    if (!hasFocus()) return;
    QPainter p(this);
    const qreal inset = TarnwickStyle::kFocusRingWidth;
    TarnwickStyle::drawFocusRing(p, QRectF(rect()).adjusted(inset, inset, -inset, -inset), 5);
}
