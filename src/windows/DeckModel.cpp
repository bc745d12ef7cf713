#include "windows/DeckModel.h"

#include "design/TarnwickTheme.h"
#include "model/Note.h"

namespace {

template <typename T, typename Signal>
void assign(DeckModel* model, T& field, const T& value, Signal signal)
{
    if (field == value) return;
    field = value;
    Q_EMIT(model->*signal)();
}

}  // namespace

DeckModel::DeckModel(Note* note, QObject* parent)
    : QObject(parent), m_note(note), m_newNotePaper(TarnwickTheme::paper())
{
}

void DeckModel::setNote(Note* note)
{
    if (m_note == note) return;
    m_note = note;
    Q_EMIT noteChanged();
}

void DeckModel::setOpacity(double opacity)
{
    assign(this, m_opacity, opacity, &DeckModel::opacityChanged);
}

void DeckModel::setSlideDirection(int direction)
{
    assign(this, m_slideDirection, direction, &DeckModel::slideDirectionChanged);
}

void DeckModel::setDragOffset(double offset)
{
    assign(this, m_dragOffset, offset, &DeckModel::dragOffsetChanged);
}

void DeckModel::setPeekNote(Note* note)
{
    if (m_peekNote == note) return;
    m_peekNote = note;
    Q_EMIT peekNoteChanged();
}

void DeckModel::setPeekIsTrailing(bool trailing)
{
    assign(this, m_peekIsTrailing, trailing, &DeckModel::peekIsTrailingChanged);
}

void DeckModel::setPeekIsNewNote(bool isNewNote)
{
    assign(this, m_peekIsNewNote, isNewNote, &DeckModel::peekIsNewNoteChanged);
}

void DeckModel::setNewNotePaper(const QColor& paper)
{
    assign(this, m_newNotePaper, paper, &DeckModel::newNotePaperChanged);
}

void DeckModel::setIsKey(bool isKey)
{
    assign(this, m_isKey, isKey, &DeckModel::isKeyChanged);
}

void DeckModel::setIsRolled(bool isRolled)
{
    assign(this, m_isRolled, isRolled, &DeckModel::isRolledChanged);
}
