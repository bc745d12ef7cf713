#include "shelf/ShelfLensChip.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>

#include "design/Symbols.h"
#include "design/TarnwickTheme.h"
#include "design/TarnwickType.h"

ShelfLensChip::ShelfLensChip(const QString& title, const QString& icon, QWidget* parent)
    : QAbstractButton(parent), m_icon(icon)
{
    setText(title);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(title);
}

void ShelfLensChip::setSelected(bool selected)
{
    if (m_selected == selected) return;
    m_selected = selected;
    setAccessibleName(text() + (selected ? QStringLiteral(", selected") : QString()));
    // The selected title is semibold, so wider.
    updateGeometry();
    update();
}

QFont ShelfLensChip::labelFont() const
{
    return TarnwickType::system(12, m_selected ? QFont::DemiBold : QFont::Normal);
}

qreal ShelfLensChip::contentWidth() const
{
    const qreal title = QFontMetricsF(labelFont()).horizontalAdvance(text());
    return (m_icon.isEmpty() ? 0 : iconSize + iconGap) + title;
}

QSize ShelfLensChip::sizeHint() const
{
    const QFontMetricsF metrics(labelFont());
    return {int(std::ceil(contentWidth())) + 2 * paddingX, int(std::ceil(metrics.height())) + 2 * paddingY};
}

QRect ShelfLensChip::iconRect() const
{
    if (m_icon.isEmpty()) return {};
    const qreal left = (width() - contentWidth()) / 2.0;
    return {int(std::lround(left)), (height() - iconSize) / 2, iconSize, iconSize};
}

QRectF ShelfLensChip::titleRect() const
{
    const qreal title = QFontMetricsF(labelFont()).horizontalAdvance(text());
    const qreal left = (width() - contentWidth()) / 2.0 + (m_icon.isEmpty() ? 0 : iconSize + iconGap);
    return {left, 0, title, qreal(height())};
}

void ShelfLensChip::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (m_selected) {
        QColor fill = TarnwickTheme::textPrimary();
        fill.setAlphaF(0.12);
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), radius, radius);
        p.fillPath(path, fill);
    }
    const QColor ink = m_selected ? TarnwickTheme::textPrimary() : TarnwickTheme::textSecondary();
    if (!m_icon.isEmpty()) {
        const QIcon symbol = Symbols::tinted(m_icon, ink, iconSize);
        p.drawPixmap(iconRect(), symbol.pixmap(iconSize, iconSize));
    }
    p.setFont(labelFont());
    p.setPen(ink);
    p.drawText(titleRect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text());
}
