#include "design/LinkButton.h"

#include <QStyleOptionButton>
#include <QStylePainter>

#include "design/TarnwickStyle.h"

LinkButton::LinkButton(const QString& title, QWidget* parent) : QPushButton(title, parent)
{
    setFlat(true);
    setAutoDefault(false);
    setCursor(Qt::PointingHandCursor);
    setStyleSheet(QStringLiteral("QPushButton { border: none; background: transparent; padding: %1px %2px; }")
                      .arg(kRoomAbove)
                      .arg(kRoomAcross));
}

void LinkButton::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    // The style would ring the title's own box; the ring is drawn below, at the button's edge.
    option.state &= ~QStyle::State_HasFocus;
    painter.drawControl(QStyle::CE_PushButton, option);
    if (!hasFocus()) return;
    const qreal inset = TarnwickStyle::kFocusRingWidth;
    TarnwickStyle::drawFocusRing(painter, QRectF(rect()).adjusted(inset, inset, -inset, -inset), 3);
}
