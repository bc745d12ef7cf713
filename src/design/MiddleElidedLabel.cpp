#include "design/MiddleElidedLabel.h"

#include <QPainter>
#include <QStyle>

#include "design/PlainText.h"

MiddleElidedLabel::MiddleElidedLabel(QWidget* parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void MiddleElidedLabel::setFullText(const QString& text)
{
    setText(text);
    setAccessibleName(text);
    updateToolTip();
}

QString MiddleElidedLabel::shownText() const
{
    return fontMetrics().elidedText(text(), Qt::ElideMiddle, contentsRect().width());
}

QSize MiddleElidedLabel::minimumSizeHint() const
{
    // Room for a few letters each side of the ellipsis; the layout gives more when it has it.
    const QMargins m = contentsMargins();
    const int few = fontMetrics().horizontalAdvance(QStringLiteral("Mmmm…Mmmm"));
    return {std::min(few, sizeHint().width()) + m.left() + m.right(), sizeHint().height()};
}

void MiddleElidedLabel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    style()->drawItemText(&p, contentsRect(), int(alignment()) | Qt::TextSingleLine, palette(), isEnabled(),
                          shownText(), foregroundRole());
}

void MiddleElidedLabel::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    updateToolTip();
}

void MiddleElidedLabel::updateToolTip()
{
    PlainText::setToolTip(this, isElided() ? text() : QString());
}
