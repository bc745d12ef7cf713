#include "note/PlaceholderNoteBody.h"

#include <QLabel>
#include <QVBoxLayout>

#include "design/TarnwickType.h"
#include "model/Note.h"
#include "model/ResolvedNoteTheme.h"

PlaceholderNoteBody::PlaceholderNoteBody(QWidget* parent) : NoteBody(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 0, 0, 0);
    layout->setSpacing(4);
    m_title = new QLabel(this);
    m_text = new QLabel(this);
    for (QLabel* label : {m_title, m_text}) {
        // Note text is plain text, never markup.
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(true);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        layout->addWidget(label);
    }
    m_title->setFont(TarnwickType::noteTitle());
    m_text->setFont(TarnwickType::noteBody());
    layout->addStretch(1);
    setAccessibleName(tr("Note body"));
}

void PlaceholderNoteBody::setNote(Note* note)
{
    disconnect(m_watch);
    m_note = note;
    if (note) m_watch = connect(note, &ManagedObject::attributeChanged, this, &PlaceholderNoteBody::refresh);
    refresh();
}

void PlaceholderNoteBody::setTheme(const ResolvedNoteTheme& theme)
{
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, theme.ink);
    setPalette(palette);
}

void PlaceholderNoteBody::focusBody()
{
    m_text->setFocus(Qt::OtherFocusReason);
}

void PlaceholderNoteBody::refresh()
{
    m_title->setText(m_note ? m_note->title() : QString());
    m_text->setText(m_note ? m_note->body() : QString());
}
