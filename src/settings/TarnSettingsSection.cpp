#include "settings/TarnSettingsSection.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include "design/TarnRowDivider.h"
#include "design/TarnwickTheme.h"
#include "design/TarnwickType.h"

namespace {

class Card : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), 10, 10);
        p.fillPath(path, TarnwickTheme::canvas());
    }
};

}  // namespace

TarnSettingsSection::TarnSettingsSection(const QString& title, QWidget* parent) : QWidget(parent)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(7);
    if (!title.isEmpty()) {
        m_title = new QLabel(title.toUpper(), this);
        m_title->setTextFormat(Qt::PlainText);
        QFont font = TarnwickType::system(11, QFont::DemiBold);
        font.setLetterSpacing(QFont::AbsoluteSpacing, 0.5);
        m_title->setFont(font);
        QPalette palette = m_title->palette();
        palette.setColor(QPalette::WindowText, TarnwickTheme::textSecondary());
        m_title->setPalette(palette);
        m_title->setContentsMargins(2, 0, 0, 0);
        m_title->setAccessibleName(title);
        column->addWidget(m_title);
    }
    m_card = new Card(this);
    m_rows = new QVBoxLayout(m_card);
    m_rows->setContentsMargins(14, 12, 14, 12);
    m_rows->setSpacing(12);
    column->addWidget(m_card);
}

void TarnSettingsSection::addRow(QWidget* row)
{
    m_rows->addWidget(row);
}

void TarnSettingsSection::addRow(QLayout* row)
{
    m_rows->addLayout(row);
}

void TarnSettingsSection::addDivider()
{
    m_rows->addWidget(new TarnRowDivider(m_card));
}
