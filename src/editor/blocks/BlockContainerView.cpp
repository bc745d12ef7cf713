#include "editor/blocks/BlockContainerView.h"

#include <QAbstractScrollArea>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>
#include <utility>

#include "design/TarnwickTheme.h"
#include "editor/BlockView.h"
#include "editor/DropPictures.h"
#include "editor/blocks/BlockContainer.h"
#include "editor/blocks/ImageBlockController.h"
#include "editor/blocks/ImageBlockView.h"
#include "editor/text/RichNSTextView.h"
#include "editor/text/TextStorage.h"
#include "platform/Clock.h"

BlockContainerView::BlockContainerView(BlockContainer& container, QWidget* parent)
    : QWidget(parent), m_container(container), m_dropLine(new QWidget(this))
{
    setAcceptDrops(true);
    setFocusPolicy(Qt::ClickFocus);
    m_dropLine->setAutoFillBackground(true);
    QPalette palette = m_dropLine->palette();
    palette.setColor(QPalette::Window, TarnwickTheme::accent());
    m_dropLine->setPalette(palette);
    m_dropLine->hide();
    m_autoscroll.setInterval(50);
    connect(&m_autoscroll, &QTimer::timeout, this, [this] {
        // The pointer rests on the screen while the body moves under it.
        const qreal before = m_container.viewportTop();
        if (!m_container.autoscroll(m_dragPoint)) {
            m_autoscroll.stop();
            return;
        }
        m_dragPoint.ry() += m_container.viewportTop() - before;
    });
    m_container.setStorageFactory([] { return std::make_unique<DocumentTextStorage>(); });
    connect(&m_container, &BlockContainer::blockAdded, this, &BlockContainerView::blockAdded);
    connect(&m_container, &BlockContainer::blockRemoving, this, &BlockContainerView::blockRemoving);
    connect(&m_container, &BlockContainer::laidOut, this, &BlockContainerView::place);
    connect(&m_container, &BlockContainer::containerFocusRequested, this, [this] { setFocus(); });
    for (const auto& entry : m_container.entries()) blockAdded(entry.controller.get(), entry.storage.get());
}

void BlockContainerView::blockAdded(BlockController* controller, TextStorage* storage)
{
    QWidget* view = nullptr;
    if (auto* text = dynamic_cast<TextBlockController*>(controller)) {
        auto* document = dynamic_cast<DocumentTextStorage*>(storage);
        if (!document) return;
        auto* rich = new RichNSTextView(*text, *document, this);
        // The text view takes the keyboard, so it is what a screen reader names: the body's own name.
        rich->setAccessibleName(QStringLiteral("Note body"));
        text->spelling().setChecker(m_container.spellChecker());
        rich->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        rich->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        // The note view paints the paper behind every block.
        QPalette palette = rich->palette();
        palette.setColor(QPalette::Base, Qt::transparent);
        rich->setPalette(palette);
        rich->viewport()->setAutoFillBackground(false);
        rich->viewport()->installEventFilter(this);
        // Text views never scroll: the editor keeps the caret in sight.
        const auto revealCaret = [this, rich] {
            if (rich->hasFocus()) Q_EMIT revealRequested(QRectF(rich->cursorRect()).translated(rich->pos()));
        };
        connect(&text->textView(), &TextViewModel::selectionChanged, rich, revealCaret);
        connect(document, &TextStorage::changed, rich, [this, rich, text] {
            if (!text->isLoading()) m_revealAfterLayout = rich;
        });
        // A long text shows its caret once the last slice of it entered the view and the blocks were
        // laid out again (on the next turn, as the slice asked).
        connect(document, &DocumentTextStorage::filled, rich,
                [rich, revealCaret] { MainQueue::nextTurn(rich, revealCaret); });
        view = rich;
    } else if (auto* picture = dynamic_cast<ImageBlockController*>(controller)) {
        view = new ImageBlockView(*picture, m_container, this);
    }
    if (view) view->show();
}

namespace {
bool isUndoKey(const QKeyEvent* e)
{
    return e->matches(QKeySequence::Undo);
}
bool isRedoKey(const QKeyEvent* e)
{
    return e->matches(QKeySequence::Redo) || (e->key() == Qt::Key_Z && (e->modifiers() & ~Qt::KeypadModifier) ==
                                                                           (Qt::ControlModifier | Qt::ShiftModifier));
}
}  // namespace

bool BlockContainerView::answerHistoryKey(const QKeyEvent* e)
{
    if (isUndoKey(e)) {
        m_container.undo();
        return true;
    }
    if (isRedoKey(e)) {
        m_container.redo();
        return true;
    }
    return false;
}

bool BlockContainerView::event(QEvent* e)
{
    // The history keys are the body's own, not a window shortcut's.
    if (e->type() == QEvent::ShortcutOverride) {
        const auto* key = static_cast<QKeyEvent*>(e);
        if (isUndoKey(key) || isRedoKey(key)) {
            e->accept();
            return true;
        }
    }
    return QWidget::event(e);
}

void BlockContainerView::keyPressEvent(QKeyEvent* e)
{
    if (answerHistoryKey(e)) {
        e->accept();
        return;
    }
    QWidget::keyPressEvent(e);
}

bool BlockContainerView::eventFilter(QObject* watched, QEvent* event)
{
    // Text views never scroll: the wheel over a block scrolls the note.
    if (event->type() == QEvent::Wheel) {
        for (QWidget* w = parentWidget(); w; w = w->parentWidget()) {
            if (auto* area = qobject_cast<QAbstractScrollArea*>(w)) {
                QCoreApplication::sendEvent(area->verticalScrollBar(), event);
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void BlockContainerView::blockRemoving(BlockController* controller)
{
    QWidget* view = controller->view();
    if (!view) return;
    if (view->hasFocus()) setFocus();
    if (m_container.isTearingDown()) {
        delete view;
        return;
    }
    view->hide();
    if (auto* block = dynamic_cast<BlockView*>(view)) block->detach();
    retire(view, controller);
}

void BlockContainerView::retire(QPointer<QWidget> view, BlockController* controller)
{
    QTimer::singleShot(0, this, [this, view, controller] {
        if (view) {
            auto* block = dynamic_cast<BlockView*>(view.data());
            if (block && block->isHandlingEvent()) {
                // Still inside one of its events (a menu it opened is open): look again shortly.
                QTimer::singleShot(50, this, [this, view, controller] { retire(view, controller); });
                return;
            }
            delete view.data();
        }
        m_container.viewGone(controller);
    });
}

void BlockContainerView::place()
{
    for (const auto& entry : m_container.entries()) {
        QWidget* view = entry.controller->view();
        if (!view) continue;
        const auto* block = dynamic_cast<const BlockView*>(view);
        const int bleed = block ? block->horizontalBleed() : 0;
        view->setGeometry(entry.frame.toAlignedRect().adjusted(-bleed, 0, bleed, 0));
    }
    const int h = int(std::ceil(m_container.contentHeight()));
    if (height() != h) setFixedHeight(h);
    m_dropLine->raise();
    if (auto* rich = qobject_cast<RichNSTextView*>(std::exchange(m_revealAfterLayout, nullptr).data());
        rich && rich->hasFocus())
        Q_EMIT revealRequested(QRectF(rich->cursorRect()).translated(rich->pos()));
}

void BlockContainerView::focusInEvent(QFocusEvent* e)
{
    QWidget::focusInEvent(e);
    m_focusByPress = e->reason() == Qt::MouseFocusReason;
}

void BlockContainerView::mousePressEvent(QMouseEvent* e)
{
    const bool tookFocus = std::exchange(m_focusByPress, false);
    if (e->button() == Qt::LeftButton) {
        m_container.clickAt(e->position());
    } else if (tookFocus) {
        // A right or middle click beside the text places no caret: the keys stay with the text block
        // they went to, and so does the focus once the menu the click opens has closed.
        if (TextBlockController* text = m_container.focusedTextController())
            if (QWidget* view = text->view(); view && view->isVisible()) view->setFocus(Qt::MouseFocusReason);
    }
    QWidget::mousePressEvent(e);
}

bool BlockContainerView::acceptDrag(QDropEvent* e)
{
    const QMimeData* data = e->mimeData();
    if (m_container.isReadOnly() || !data || !DropPictures::carriesPicture(data->urls(), data->formats())) {
        hideDropLine();
        e->ignore();
        return false;
    }
    m_dragPoint = e->position();
    if (m_container.autoscroll(m_dragPoint)) m_autoscroll.start();
    const qreal y = m_container.dropLineY(m_container.dropTarget(m_dragPoint));
    const qreal gutter = m_container.gutterWidth();
    m_dropLine->setGeometry(int(gutter), int(std::max<qreal>(0, y - 1)), int(std::max<qreal>(width() - gutter, 40)), 2);
    m_dropLine->show();
    m_dropLine->raise();
    e->setDropAction(Qt::CopyAction);
    e->accept();
    return true;
}

void BlockContainerView::dragEnterEvent(QDragEnterEvent* e)
{
    acceptDrag(e);
}

void BlockContainerView::dragMoveEvent(QDragMoveEvent* e)
{
    acceptDrag(e);
}

void BlockContainerView::dragLeaveEvent(QDragLeaveEvent*)
{
    hideDropLine();
}

void BlockContainerView::hideDropLine()
{
    m_dropLine->hide();
    m_autoscroll.stop();
}

void BlockContainerView::dropEvent(QDropEvent* e)
{
    hideDropLine();
    const QMimeData* data = e->mimeData();
    if (!data || m_container.isReadOnly()) {
        e->ignore();
        return;
    }
    DropPictures pictures = DropPictures::readFiles(data->urls());
    if (pictures.images.empty() && pictures.skipped.isEmpty()) {
        for (const QString& format : data->formats())
            if (format.startsWith(QLatin1String("image/"))) {
                pictures.addData(data->data(format), QStringLiteral("dropped picture"));
                break;
            }
    }
    if (!pictures.skipped.isEmpty()) m_container.reportSkipped(DropPictures::notice(pictures.skipped));
    if (!m_container.drop(pictures.images, e->position())) {
        e->ignore();
        return;
    }
    e->setDropAction(Qt::CopyAction);
    e->accept();
}
