#include "design/TarnwickButton.h"

#include <algorithm>

#include <QEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVariantAnimation>

#include "design/TarnwickTheme.h"

TarnwickButton::TarnwickButton(const QString& text, QWidget* parent) : QPushButton(text, parent)
{
    m_press = new QVariantAnimation(this);
    m_press->setDuration(ButtonLook::kPressAnimationMs);
    m_press->setEasingCurve(QEasingCurve::OutCubic);
    connect(m_press, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        m_pressProgress = v.toReal();
        update();
    });
    connect(this, &QPushButton::pressed, this, [this] { pressedChanged(true); });
    connect(this, &QPushButton::released, this, [this] { pressedChanged(false); });
    setAttribute(Qt::WA_Hover, false);
    setFlat(true);
    applyGeometry();
}

void TarnwickButton::setPrimaryStyle(const TarnwickPrimaryButtonStyle& style)
{
    m_style = style;
    applyGeometry();
}

void TarnwickButton::setQuietStyle(const TarnwickQuietButtonStyle& style)
{
    m_style = style;
    applyGeometry();
}

ButtonLook TarnwickButton::lookFor(bool pressed) const
{
    return std::visit(
        [&](auto style) {
            if constexpr (std::is_same_v<decltype(style), TarnwickPrimaryButtonStyle>) style.isEnabled = isEnabled();
            return style.makeBody(pressed);
        },
        m_style);
}

ButtonLook TarnwickButton::currentLook() const
{
    return ButtonLook::blend(lookFor(false), lookFor(true), m_pressProgress);
}

void TarnwickButton::applyGeometry()
{
    const ButtonLook look = lookFor(false);
    setFont(look.font);
    setFixedHeight(qRound(look.height));
    setSizePolicy(look.fullWidth ? QSizePolicy::Expanding : QSizePolicy::Fixed, QSizePolicy::Fixed);
    updateGeometry();
    update();
}

void TarnwickButton::pressedChanged(bool pressed)
{
    m_press->stop();
    m_press->setStartValue(m_pressProgress);
    m_press->setEndValue(pressed ? 1.0 : 0.0);
    m_press->start();
}

QSize TarnwickButton::sizeHint() const
{
    const ButtonLook look = lookFor(false);
    // The painted text is elided against its bounding width, which a glyph overhanging its advance
    // (the "y" of "Next key" in some faces) makes wider than the advance: measure what is painted.
    const QFontMetrics metrics(look.font);
    const int textWidth = std::max(metrics.horizontalAdvance(text()), metrics.boundingRect(text()).width()) + 1;
    return {textWidth + qRound(2 * look.horizontalPadding), qRound(look.height)};
}

QSize TarnwickButton::minimumSizeHint() const
{
    const ButtonLook look = lookFor(false);
    return {qRound(2 * look.horizontalPadding), qRound(look.height)};
}

void TarnwickButton::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange) update();
    QPushButton::changeEvent(event);
}

bool TarnwickButton::hitButton(const QPoint& pos) const
{
    const ButtonLook look = lookFor(false);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), look.cornerRadius, look.cornerRadius);
    return shape.contains(QPointF(pos));
}

void TarnwickButton::paintEvent(QPaintEvent*)
{
    const ButtonLook look = currentLook();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setOpacity(look.opacity);
    const QPointF centre = QRectF(rect()).center();
    p.translate(centre);
    p.scale(look.scale, look.scale);
    p.translate(-centre);

    QRectF bounds(rect());
    if (hasFocus()) {
        // The focus ring in the accent around the body, which gives it room: visible on a filled
        // button of the same colour too.
        constexpr qreal ring = 2, gap = 1.5;
        p.setPen(QPen(TarnwickTheme::accent(), ring));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(bounds.adjusted(ring / 2, ring / 2, -ring / 2, -ring / 2), look.cornerRadius,
                          look.cornerRadius);
        bounds = bounds.adjusted(ring + gap, ring + gap, -(ring + gap), -(ring + gap));
    }
    if (look.background.alpha() > 0) {
        QPainterPath shape;
        const qreal radius = std::max<qreal>(0, look.cornerRadius - (bounds.left() - rect().left()));
        shape.addRoundedRect(bounds, radius, radius);
        p.fillPath(shape, look.background);
    }
    p.setFont(look.font);
    p.setPen(look.foreground);
    // The label keeps the whole button's room: the ring narrows the body, never the text.
    const QRectF textRect = QRectF(rect()).adjusted(look.horizontalPadding, 0, -look.horizontalPadding, 0);
    const QString label = QFontMetrics(look.font).elidedText(text(), Qt::ElideRight, int(textRect.width()));
    p.drawText(textRect, Qt::AlignCenter, label);
}
