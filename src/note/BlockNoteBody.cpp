#include "note/BlockNoteBody.h"

#include <QMenu>
#include <QVBoxLayout>

#include "editor/blocks/BlockContainerView.h"
#include "editor/blocks/BlockEditorView.h"
#include "editor/blocks/ImageBlockView.h"

BlockNoteBody::BlockNoteBody(NoteStore& store, PreviewFiles& previews, int gutter, QWidget* parent)
    : NoteBody(parent), m_editor(new BlockEditorView(store, previews, this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_editor);
    m_editor->setGutterWidth(gutter);
    setFocusProxy(m_editor);
}

BlockNoteBody::~BlockNoteBody()
{
    // Pictures the body no longer names and the note's preview files go with the editor.
    m_editor->closeNote();
}

void BlockNoteBody::setNote(Note* note)
{
    m_editor->setNote(note);
}

void BlockNoteBody::setTheme(const ResolvedNoteTheme& theme)
{
    m_editor->setTheme(theme);
}

void BlockNoteBody::focusBody()
{
    m_editor->focusBody();
}

QMenu* BlockNoteBody::createEditMenu(const QPoint& pos)
{
    QWidget* under = childAt(pos);
    for (QWidget* w = under; w && w != this; w = w->parentWidget())
        if (auto* picture = qobject_cast<ImageBlockView*>(w)) {
            QMenu* menu = picture->createMenu();
            menu->setParent(nullptr, menu->windowFlags());  // the caller owns it
            return menu;
        }
    return nullptr;
}
