#include "design/TarnRowDivider.h"

#include <QPainter>

#include "design/TarnwickTheme.h"

TarnRowDivider::TarnRowDivider(QWidget* parent) : QWidget(parent)
{
    setFixedHeight(1);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void TarnRowDivider::paintEvent(QPaintEvent*)
{
    QPainter(this).fillRect(rect(), TarnwickTheme::hairline());
}
