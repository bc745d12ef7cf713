#include "settings/TarnSwitchToggleStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "design/TarnwickTheme.h"
#include "design/TarnwickType.h"

namespace {

constexpr int kTrackWidth = 30;
constexpr int kTrackHeight = 17;

QLabel* plainLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

}  // namespace

TarnSwitch::TarnSwitch(QWidget* parent) : QAbstractButton(parent)
{
    setCheckable(true);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize TarnSwitch::sizeHint() const
{
    return {kTrackWidth + 4, kTrackHeight + 4};
}

void TarnSwitch::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled()) p.setOpacity(0.45);
    const QRectF track(2, (height() - kTrackHeight) / 2.0, kTrackWidth, kTrackHeight);
    const qreal radius = kTrackHeight / 2.0;
    QColor off = TarnwickTheme::textPrimary();
    off.setAlphaF(0.18);
    p.setPen(Qt::NoPen);
    p.setBrush(isChecked() ? TarnwickTheme::accent() : off);
    p.drawRoundedRect(track, radius, radius);
    const qreal knob = kTrackHeight - 4;
    const qreal x = isChecked() ? track.right() - 2 - knob : track.left() + 2;
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(x, track.top() + 2, knob, knob));
    if (hasFocus()) {
        QPen ring(TarnwickTheme::accent(), 2);
        ring.setCosmetic(true);
        p.setPen(ring);
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(track.adjusted(-1.5, -1.5, 1.5, 1.5), radius + 1.5, radius + 1.5);
    }
}

TarnSwitchToggleStyle::TarnSwitchToggleStyle(const QString& title, const QString& subtitle, QWidget* parent)
    : QWidget(parent)
{
    auto* label = new QWidget(this);
    auto* column = new QVBoxLayout(label);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    m_title = plainLabel(title, label);
    m_title->setWordWrap(true);
    column->addWidget(m_title);
    if (!subtitle.isEmpty()) {
        m_subtitle = plainLabel(subtitle, label);
        m_subtitle->setWordWrap(true);
        m_subtitle->setFont(TarnwickType::caption());
        QPalette palette = m_subtitle->palette();
        palette.setColor(QPalette::WindowText, TarnwickTheme::textSecondary());
        m_subtitle->setPalette(palette);
        column->addWidget(m_subtitle);
    }
    build(label);
    m_switch->setAccessibleName(title);
    if (!subtitle.isEmpty()) m_switch->setAccessibleDescription(subtitle);
}

TarnSwitchToggleStyle::TarnSwitchToggleStyle(QWidget* label, QWidget* parent) : QWidget(parent)
{
    label->setParent(this);
    build(label);
}

void TarnSwitchToggleStyle::build(QWidget* label)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(16);
    label->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    row->addWidget(label, 1);
    m_switch = new TarnSwitch(this);
    row->addWidget(m_switch, 0, Qt::AlignVCenter);
}
