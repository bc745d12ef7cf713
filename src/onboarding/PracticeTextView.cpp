#include "onboarding/PracticeTextView.h"

#include <QTextBlock>
#include <QTextCursor>

#include "design/TarnwickTheme.h"
#include "design/TarnwickType.h"

PracticeTextView::PracticeTextView(const QString& text, PracticeSelection* selection, QWidget* parent)
    : QTextEdit(parent), m_selection(selection)
{
    setFrameShape(QFrame::NoFrame);
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    // Read-only text shows no caret: the keys still select, but nothing suggests typing here.
    setCursorWidth(0);
    setTabChangesFocus(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QTextEdit::NoWrap);
    setAutoFillBackground(false);
    viewport()->setAutoFillBackground(false);
    document()->setDocumentMargin(0);
    setFont(TarnwickType::system(14.5));
    QPalette palette = this->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    palette.setColor(QPalette::Text, TarnwickTheme::textPrimary());
    QColor highlight = TarnwickTheme::accent();
    highlight.setAlphaF(0.25f);
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Highlight, highlight);
        palette.setColor(group, QPalette::HighlightedText, TarnwickTheme::textPrimary());
    }
    setPalette(palette);
    setPlainText(text);
    QTextCursor all(document());
    all.select(QTextCursor::Document);
    QTextBlockFormat centred;
    centred.setAlignment(Qt::AlignCenter);
    all.mergeBlockFormat(centred);
    setAccessibleName(text);
    connect(this, &QTextEdit::selectionChanged, this, &PracticeTextView::report);
}

void PracticeTextView::report()
{
    if (!m_selection) return;
    const QTextCursor cursor = textCursor();
    m_selection->setSelectedText(
        PracticeSelection::trimmedRange(document()->toPlainText(), cursor.anchor(), cursor.position()));
}
