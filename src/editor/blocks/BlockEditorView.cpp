#include "editor/blocks/BlockEditorView.h"

#include <QKeyEvent>
#include <QLabel>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimer>

#include "editor/blocks/BlockContainerView.h"
#include "editor/blocks/PreviewFiles.h"
#include "editor/text/FindBar.h"
#include "editor/text/RichNSTextView.h"
#include "editor/text/TextBlockController.h"
#include "model/Note.h"
#include "store/NoteStore.h"

BlockEditorView::BlockEditorView(const EditorServices& services, QWidget* parent)
    : QScrollArea(parent),
      m_store(services.store),
      m_previews(services.previews),
      m_clock(services.clock),
      m_notifications(services.notifications),
      m_spelling(services.spelling),
      m_readOnly(new QLabel(this)),
      m_findBar(new FindBar(this))
{
    m_findBar->setFlasher(
        [this](TextBlockController* text, qsizetype start, qsizetype length) { flash(text, start, length); });
    connect(m_findBar, &FindBar::closed, this, &BlockEditorView::showReadOnly);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setWidgetResizable(false);
    setAccessibleName(QStringLiteral("Note body"));
    viewport()->setAutoFillBackground(false);
    m_readOnly->setTextFormat(Qt::PlainText);
    m_readOnly->setWordWrap(true);
    m_readOnly->hide();
}

BlockEditorView::~BlockEditorView()
{
    closeNote();
}

void BlockEditorView::closeNote()
{
    m_findBar->close(false);
    if (!m_container) return;
    if (Note* note = m_container->note()) {
        const QUuid id = note->uuid();
        m_store.collectOrphanImages(id);
        m_previews.removeNote(id);
    }
    delete takeWidget();
    m_view = nullptr;
    m_container.reset();
}

void BlockEditorView::setNote(Note* note)
{
    if (m_container && m_container->note() == note) {
        m_container->reconcile();
        return;
    }
    if (!note) {
        closeNote();
        return;
    }
    if (!m_container) {
        m_container =
            std::make_unique<BlockContainer>(note, &m_store, m_clock, m_theme, BlockContainer::NoteStyle::floating);
        m_container->setPreviewFiles(&m_previews);
        m_container->observe(m_notifications);
        m_container->setSpellChecker(&m_spelling);
        // Pictures are decoded no larger than the screen can show them.
        if (const QScreen* screen = this->screen())
            m_container->pictures().setMaxSide(
                int(std::max(screen->size().width(), screen->size().height()) * screen->devicePixelRatio()));
        m_container->setGutterWidth(m_gutter);
        m_view = new BlockContainerView(*m_container);
        setWidget(m_view);
        // The note view paints the paper; the scroll area would fill the body with the window colour.
        m_view->setAutoFillBackground(false);
        connect(m_container.get(), &BlockContainer::scrollRequested, this,
                [this](qreal top) { verticalScrollBar()->setValue(int(std::lround(top))); });
        connect(m_container.get(), &BlockContainer::readOnlyChanged, this, &BlockEditorView::showReadOnly);
        // The note around the editor shows them where its notices stand.
        connect(m_container.get(), &BlockContainer::notice, this, &BlockEditorView::notice);
        connect(m_container.get(), &BlockContainer::textFocusRequested, this, [](TextBlockController* text) {
            if (QWidget* view = text->view()) view->setFocus(Qt::OtherFocusReason);
        });
        connect(m_view, &BlockContainerView::revealRequested, m_container.get(), &BlockContainer::reveal);
        connect(m_container.get(), &BlockContainer::flashRequested, this, &BlockEditorView::flash);
    } else {
        m_findBar->close(false);
        // Another note in the same window: the previous one's unreferenced pictures and previews go.
        if (Note* previous = m_container->note()) m_previews.removeNote(previous->uuid());
        m_container->setNote(note);
    }
    syncViewport();
    m_container->load(true);
    m_themeStamp.clear();
    setTheme(m_theme);
    showReadOnly();
}

void BlockEditorView::setTheme(const ResolvedNoteTheme& theme)
{
    m_theme = theme;
    if (!m_container) return;
    m_container->setTheme(theme);
    const QString stamp = BlockContainer::themeStamp(m_container->noteID(), theme);
    if (stamp == m_themeStamp) return;
    const std::optional<QColor> previous = m_appliedInk;
    m_themeStamp = stamp;
    m_appliedInk = theme.ink;
    if (m_container->isEditing()) return;
    for (const auto& entry : m_container->entries()) entry.controller->applyTheme(theme, previous);
    m_container->layout();
}

void BlockEditorView::setGutterWidth(qreal gutter)
{
    m_gutter = gutter;
    if (m_container) m_container->setGutterWidth(gutter);
}

void BlockEditorView::focusBody()
{
    if (m_container && !m_container->holdsFirstResponder()) m_container->takeFirstResponder();
}

QString BlockEditorView::readOnlyLine() const
{
    return m_readOnly->isVisible() ? m_readOnly->text() : QString();
}

void BlockEditorView::showReadOnly()
{
    const QString line = m_container ? m_container->readOnlyNotice() : QString();
    m_readOnly->setText(line);
    m_readOnly->setVisible(!line.isEmpty());
    // The find bar sits on top, the read-only line under it, the blocks below both.
    const int bar = m_findBar->isVisible() ? m_findBar->sizeHint().height() : 0;
    m_findBar->setGeometry(0, 0, width(), bar);
    const int h = line.isEmpty() ? 0 : m_readOnly->heightForWidth(std::max(100, width() - 16)) + 8;
    setViewportMargins(0, bar + h, 0, 0);
    m_readOnly->setGeometry(8, bar + 4, std::max(100, width() - 16), std::max(0, h - 8));
}

void BlockEditorView::showFindBar()
{
    if (!m_container || m_container->blockCount() == 0) return;
    TextBlockController* target = m_container->focusedTextController();
    for (int i = 0; !target && i < m_container->blockCount(); ++i) target = m_container->textController(i);
    if (!target) return;
    m_findBar->open(target);
    showReadOnly();
}

void BlockEditorView::flash(TextBlockController* text, qsizetype start, qsizetype length)
{
    // A one-second highlight of the range in sight, leaving the selection alone.
    auto* view = qobject_cast<RichNSTextView*>(text ? text->view() : nullptr);
    if (!view) return;
    // Scrolled into sight first: the range may lie below the fold of a long note.
    if (m_container) {
        const QRectF first = view->caretRect(start);
        const QRectF last = view->caretRect(start + length);
        m_container->reveal(first.united(last).translated(view->pos()));
    }
    view->flash({start, length});
}

void BlockEditorView::resizeEvent(QResizeEvent* e)
{
    QScrollArea::resizeEvent(e);
    if (m_readOnly->isVisible()) showReadOnly();
    syncViewport();
    // Made shorter (a notice standing above it), the editor keeps the line being typed in sight.
    if (m_container && e->size().height() < e->oldSize().height())
        if (TextBlockController* text = m_container->focusedTextController())
            if (auto* rich = qobject_cast<RichNSTextView*>(text->view()); rich && rich->hasFocus())
                m_container->reveal(QRectF(rich->cursorRect()).translated(rich->pos()));
}

void BlockEditorView::keyPressEvent(QKeyEvent* e)
{
    // The keyboard on the scroll view itself, or a key no block took, still reaches the note's history.
    if (m_view && m_view->answerHistoryKey(e)) {
        e->accept();
        return;
    }
    QScrollArea::keyPressEvent(e);
}

void BlockEditorView::scrollContentsBy(int dx, int dy)
{
    QScrollArea::scrollContentsBy(dx, dy);
    if (m_container) m_container->setViewport(verticalScrollBar()->value(), viewport()->height());
}

void BlockEditorView::syncViewport()
{
    if (!m_container || !m_view) return;
    m_view->setFixedWidth(viewport()->width());
    m_container->setViewport(verticalScrollBar()->value(), viewport()->height());
    m_container->setWidth(viewport()->width());
    m_view->place();
}
