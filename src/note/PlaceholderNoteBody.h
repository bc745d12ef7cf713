#pragma once

#include <QPointer>

#include "note/NoteBody.h"

class QLabel;

// A placeholder until the block editor lands in the body slot: the note's title line and plain body,
// shown read-only (no plain-text editing, which would rebuild the blocks and drop their formatting).
class PlaceholderNoteBody : public NoteBody {
    Q_OBJECT
public:
    explicit PlaceholderNoteBody(QWidget* parent = nullptr);
    void setNote(Note* note) override;
    void setTheme(const ResolvedNoteTheme& theme) override;
    void focusBody() override;

private:
    void refresh();

    QPointer<Note> m_note;
    QMetaObject::Connection m_watch;
    QLabel* m_title;
    QLabel* m_text;
};
