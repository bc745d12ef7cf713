#include "note/BlockNoteBody.h"

#include <QAbstractScrollArea>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QMenu>
#include <QVBoxLayout>

#include "design/OverlayScrollBar.h"
#include "editor/blocks/BlockContainerView.h"
#include "editor/blocks/BlockEditorView.h"
#include "editor/blocks/ImageBlockView.h"
#include "editor/text/RichNSTextView.h"
#include "model/ResolvedNoteTheme.h"

BlockNoteBody::BlockNoteBody(const EditorServices& services, int gutter, QWidget* parent)
    : NoteBody(parent), m_editor(new BlockEditorView(services, this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_editor);
    m_editor->setGutterWidth(gutter);
    m_scrollBar = OverlayScrollBar::install(m_editor, services.clock);
    setFocusProxy(m_editor);
    watchForMenus(m_editor->viewport());
    connect(m_editor, &BlockEditorView::notice, this, &NoteBody::notice);
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
    m_scrollBar->setInk(theme.ink);
}

void BlockNoteBody::setScrollBarBottomInset(int inset)
{
    m_scrollBar->setBottomInset(inset);
}

void BlockNoteBody::focusBody()
{
    m_editor->focusBody();
}

void BlockNoteBody::catchUp()
{
    if (BlockContainer* container = m_editor->container()) container->catchUp();
}

void BlockNoteBody::focusTitle()
{
    BlockContainer* container = m_editor->container();
    // The title is the first line of the first block when that block is text.
    if (!container || container->blockCount() == 0 || !container->textController(0)) {
        focusBody();
        return;
    }
    container->requestFocus(FocusDescriptor{container->controllerAt(0)->id(), 0}, CaretPlacement::documentStart());
}

QMenu* BlockNoteBody::createEditMenu(const QPoint& pos)
{
    QWidget* under = childAt(pos);
    for (QWidget* w = under; w && w != this; w = w->parentWidget()) {
        if (auto* picture = qobject_cast<ImageBlockView*>(w)) {
            QMenu* menu = picture->createMenu();
            menu->setParent(nullptr, menu->windowFlags());  // the caller owns it
            return menu;
        }
        if (auto* text = qobject_cast<RichNSTextView*>(w)) {
            auto* menu = new QMenu;
            text->populateContextMenu(menu, text->viewport()->mapFrom(this, pos));
            return menu;
        }
    }
    return nullptr;
}

void BlockNoteBody::watchForMenus(QWidget* widget)
{
    widget->installEventFilter(this);  // installing again replaces, never doubles
    if (auto* area = qobject_cast<QAbstractScrollArea*>(widget)) area->viewport()->installEventFilter(this);
    for (QWidget* child : widget->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) watchForMenus(child);
}

bool BlockNoteBody::eventFilter(QObject* watched, QEvent* event)
{
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget) return false;
    // Blocks come and go with the note: each new widget is watched once it is shown.
    if (event->type() == QEvent::ChildPolished) {
        if (auto* child = qobject_cast<QWidget*>(static_cast<QChildEvent*>(event)->child())) watchForMenus(child);
        return false;
    }
    // The blocks' own menus would show alone; the note view builds the one menu, with its items after the
    // editor's, so the right-click goes up to it from here.
    if (event->type() == QEvent::ContextMenu) {
        auto* e = static_cast<QContextMenuEvent*>(event);
        QContextMenuEvent up(e->reason(), widget->mapTo(this, e->pos()), e->globalPos(), e->modifiers());
        QCoreApplication::sendEvent(this, &up);
        return true;
    }
    return false;
}

void BlockNoteBody::showFindBar()
{
    m_editor->showFindBar();
}
