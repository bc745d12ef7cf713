#include "settings/TarnSwitchToggleStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "design/TarnwickStyle.h"
#include "design/TarnwickTheme.h"
#include "design/TarnwickType.h"

namespace {

constexpr int kTrackWidth = TarnwickStyle::kSwitchWidth;
constexpr int kTrackHeight = TarnwickStyle::kSwitchHeight;

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
    TarnwickStyle::drawSwitch(p, QRectF(2, (height() - kTrackHeight) / 2.0, kTrackWidth, kTrackHeight), isChecked(),
                              isEnabled(), hasFocus());
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
