#include "settings/TarnSettingsScreen.h"

#include <QVBoxLayout>

#include "design/LightPalette.h"
#include "design/TarnwickTheme.h"

TarnSettingsScreen::TarnSettingsScreen(QWidget* parent) : QScrollArea(parent)
{
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::NoFocus);  // the Tab walk goes through the page's controls only
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setPalette(LightPalette::make());
    setBackgroundRole(QPalette::Window);
    viewport()->setAutoFillBackground(true);

    auto* content = new QWidget(this);
    content->setAutoFillBackground(false);
    m_column = new QVBoxLayout(content);
    m_column->setContentsMargins(24, 24, 24, 24);
    m_column->setSpacing(22);
    m_column->addStretch(1);
    setWidget(content);
}

void TarnSettingsScreen::addSection(QWidget* section)
{
    // Before the closing stretch, so short pages keep their sections at the top.
    m_column->insertWidget(m_column->count() - 1, section);
}
