#include "editor/text/RichNSTextView.h"

#include "editor/DropPictures.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QDesktopServices>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextFrame>
#include <QTimer>

#include "editor/text/LongTextLayout.h"
#include "editor/text/MarkdownAutoFormat.h"
#include "editor/text/PastedHtml.h"
#include "editor/text/RichNSTextAccessible.h"
#include "editor/text/TextBlockController.h"
#include "editor/text/TextStorage.h"
#include "model/text/RichTextBridge.h"
#include "model/text/TextPictures.h"
#include "platform/KeyboardMap.h"
#include "platform/SpellChecker.h"
#include "platform/UndoManager.h"

namespace {

constexpr qreal kPadding = 5;

std::optional<QByteArray> boundedPng(const QImage& image)
{
    // A decoded image of more than 64 MiB is refused before it is encoded.
    if (image.isNull() || image.sizeInBytes() > TextPictures::maximumBytes) return std::nullopt;
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!QImageWriter(&buffer, "png").write(image) || png.size() > TextPictures::maximumBytes) return std::nullopt;
    return png;
}

// Keys typed while the slash menu is open. The menu's own (moving through it, choosing, Escape) and bare
// modifiers stay with it; any other key closes it and is handed on, so typing "/usr" at a line start loses
// nothing. Return chooses only once an item is highlighted; before that it is the typist's new line.
class SlashMenuKeys : public QObject {
public:
    using Handler = std::function<void(QKeyEvent* key, bool first)>;
    SlashMenuKeys(QMenu& menu, Handler handler) : m_menu(menu), m_handler(std::move(handler))
    {
        menu.installEventFilter(this);
    }

    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress) return false;
        auto* key = static_cast<QKeyEvent*>(event);
        if (!m_left && menusOwn(key)) return false;
        const bool first = !std::exchange(m_left, true);
        if (first) m_menu.hide();
        m_handler(key, first);
        return true;
    }

private:
    bool menusOwn(const QKeyEvent* key) const
    {
        switch (key->key()) {
            case Qt::Key_Up:
            case Qt::Key_Down:
            case Qt::Key_Home:
            case Qt::Key_End:
            case Qt::Key_PageUp:
            case Qt::Key_PageDown:
            case Qt::Key_Escape:
                return true;
            case Qt::Key_Return:
            case Qt::Key_Enter:
                return m_menu.activeAction() != nullptr;
            case Qt::Key_unknown:
                return key->text().isEmpty();
            default:
                return KeyboardMap::isModifierKey(key->key());
        }
    }

    QMenu& m_menu;
    Handler m_handler;
    bool m_left = false;
};

// Whether a key's text is typed. Judged by code point: the halves of a surrogate pair (an emoji, most
// symbols beyond the BMP) are not printable on their own, the character they make is.
bool isPrintable(const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        } else if (QChar::isSurrogate(c)) {
            return false;  // half a character
        }
        // Format characters are text too: the joiner inside an emoji sequence, a Persian layout's ZWNJ key.
        if (!QChar::isPrint(c) && QChar::category(c) != QChar::Other_Format && c != u'\t') return false;
    }
    return true;
}

}  // namespace

RichNSTextView::RichNSTextView(TextBlockController& controller, DocumentTextStorage& storage, QWidget* parent)
    : QTextEdit(parent), m_controller(controller), m_storage(storage), m_model(controller.textView())
{
    // The block container gives the text its width (heightForWidth): a resize then never lays a long
    // text out again at the width it already has.
    setLineWrapMode(QTextEdit::FixedPixelWidth);
    setLineWrapColumnOrWidth(std::max(40, width()));
    setDocument(storage.document());
    setUndoRedoEnabled(false);
    setAcceptRichText(true);
    setFrameShape(QFrame::NoFrame);
    // The block container scrolls; a scroll bar of the view's own, shown while it is shorter than its text,
    // would narrow the text and lay a long text out a second time.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTabChangesFocus(false);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
    document()->setDefaultFont(controller.bodyFont().toQFont());
    // Text sits 5 points in from either side, with no inset above or below.
    QTextFrameFormat frame = document()->rootFrame()->frameFormat();
    frame.setLeftMargin(kPadding);
    frame.setRightMargin(kPadding);
    document()->rootFrame()->setFrameFormat(frame);
    m_model.setGeometry(this);
    m_controller.setView(this);
    m_controller.setFocusTaker([this] { setFocus(Qt::OtherFocusReason); });
    m_controller.setMenuPresenter([this](const std::vector<TextBlockController::MenuItem>& items) {
        std::vector<std::pair<QString, std::function<void()>>> entries;
        for (const auto& item : items) entries.emplace_back(item.title, item.action);
        const QRect caret = cursorRect();
        showMenu(entries, viewport()->mapToGlobal(caret.bottomLeft()));
    });
    // The title block's empty first line reads "Title", in the ink of the theme it has now.
    setTitlePlaceholder(m_controller.titlePlaceholder());
    connect(&m_controller, &TextBlockController::placeholderChanged, this, [this] {
        setTitlePlaceholder(m_controller.titlePlaceholder());
        viewport()->update();
    });
    connect(&m_model, &TextViewModel::selectionChanged, this, &RichNSTextView::syncFromModel);
    connect(&m_controller.spelling(), &SpellingMarks::marksChanged, this, &RichNSTextView::updateExtraSelections);
    // A long insertion enters the document in slices: the block grows with each, and the caret is shown
    // where the model has it once the document holds the whole text.
    connect(&m_storage, &DocumentTextStorage::documentGrew, this, [this] { m_controller.viewFrameChanged(); });
    connect(document(), &QTextDocument::documentLayoutChanged, this, &RichNSTextView::watchDocumentLayout);
    connect(&m_storage, &TextStorage::changed, this, [this] {
        if (m_storage.isFilling() && !extraSelections().isEmpty()) updateExtraSelections();
    });
    connect(&m_storage, &DocumentTextStorage::filled, this, [this] {
        syncFromModel();
        // A caret in the part held back is shown where that part would be: it goes there, so what is
        // typed next is stored where it shows.
        if (m_storage.isHeldBack()) syncToModel();
        updateExtraSelections();
        if (m_storage.isHeldBack())
            m_controller.reportSkipped(QStringLiteral("This note is too long to show whole: the editor shows all but "
                                                      "%1 characters of it, and keeps them as they are.")
                                           .arg(m_storage.heldBackLength()));
    });
    // The storage's edits move the document's cursor under us (a replaced range collapses it): after
    // every edit the view shows the selection the model holds, which is the one typing replaces.
    connect(&storage, &TextStorage::changed, this, &RichNSTextView::syncFromModel);
    connect(this, &QTextEdit::cursorPositionChanged, this, &RichNSTextView::syncToModel);
    connect(this, &QTextEdit::selectionChanged, this, &RichNSTextView::syncToModel);
    syncFromModel();
    RichNSTextAccessible::attach(this);
}

RichNSTextView::~RichNSTextView()
{
    detach();
}

void RichNSTextView::detach()
{
    if (isDetached()) return;
    markDetached();
    setReadOnly(true);
    disconnect(&m_model, nullptr, this, nullptr);
    disconnect(&m_storage, nullptr, this, nullptr);
    disconnect(&m_controller, nullptr, this, nullptr);
    disconnect(this, &QTextEdit::cursorPositionChanged, this, &RichNSTextView::syncToModel);
    disconnect(this, &QTextEdit::selectionChanged, this, &RichNSTextView::syncToModel);
    // A view made since for the same block keeps its place in the controller and the model.
    if (m_model.geometry() == this) m_model.setGeometry(nullptr);
    if (m_controller.view() == this) {
        m_controller.setView(nullptr);
        m_controller.setFocusTaker(nullptr);
        m_controller.setMenuPresenter(nullptr);
    }
}

void RichNSTextView::syncFromModel()
{
    if (m_syncing || m_storage.isEditing()) return;
    m_syncing = true;
    const TextRange sel = m_model.selection();
    // A selection in text held back (a match the find bar went to) is brought into view.
    m_storage.show(sel.location);
    QTextCursor cursor(document());
    cursor.setPosition(int(m_storage.toDocument(sel.location)));
    cursor.setPosition(int(m_storage.toDocument(sel.end())), QTextCursor::KeepAnchor);
    setTextCursor(cursor);
    m_syncing = false;
    // One it cannot bring (a text more than twice what can be shown) leaves a caret where the view
    // shows one, so nothing typed replaces or joins text out of sight.
    if (m_storage.isHidden(sel.location)) syncToModel();
}

void RichNSTextView::syncToModel()
{
    // The document moves the cursor while the storage writes; the model places the caret afterwards.
    if (m_syncing || m_storage.isEditing()) return;
    m_syncing = true;
    // In a document still filling, the positions map past the stretch still to come: the caret the user
    // placed stays where it was put while the rest enters.
    const QTextCursor cursor = textCursor();
    const TextRange before = m_model.selection();
    const qsizetype start = m_storage.toText(cursor.selectionStart());
    m_model.setSelection({start, m_storage.toText(cursor.selectionEnd()) - start});
    // A caret the user placed types in the style of the character before it, as in any editor.
    if (m_model.selection() != before) takeTypingStyleBeforeCaret();
    m_syncing = false;
}

void RichNSTextView::takeTypingStyleBeforeCaret()
{
    // A link is not carried on, nor a picture's attachment.
    const TextRange caret = m_model.selection();
    if (caret.length != 0 || m_model.length() == 0) return;
    TextAttributes typing = m_model.storage().attributesAt(std::max<qsizetype>(0, caret.location - 1));
    typing.link.reset();
    typing.attachment.reset();
    m_model.setTypingAttributes(typing);
}

void RichNSTextView::placeCaretForInsertion(qsizetype at)
{
    // Placing the caret in code reaches syncToModel only while it is syncing (or not at all when the
    // caret was already there): the style is taken here, so nothing put in keeps the old caret's style.
    m_model.setCaret(at);
    takeTypingStyleBeforeCaret();
}

// ---- Geometry ----

QRectF RichNSTextView::caretRect(qsizetype position) const
{
    QTextCursor cursor(document());
    cursor.setPosition(int(m_storage.toDocument(std::clamp<qsizetype>(position, 0, m_model.length()))));
    return cursorRect(cursor);
}

qsizetype RichNSTextView::characterIndexAt(const QPointF& point) const
{
    return m_storage.toText(cursorForPosition(point.toPoint()).position());
}

qreal RichNSTextView::heightForWidth(qreal width) const
{
    QTextDocument* doc = document();
    const int w = int(std::lround(width));
    if (lineWrapColumnOrWidth() != w || std::abs(doc->textWidth() - w) > 0.5)
        const_cast<RichNSTextView*>(this)->setLineWrapColumnOrWidth(w);
    return doc->size().height();
}

QPointF RichNSTextView::mapToGlobal(const QPointF& point) const
{
    return viewport()->mapToGlobal(point);
}

QPointF RichNSTextView::mapFromGlobal(const QPointF& point) const
{
    return viewport()->mapFromGlobal(point);
}

QSizeF RichNSTextView::size() const
{
    return viewport()->size();
}

// ---- Keys ----

bool RichNSTextView::viewportEvent(QEvent* e)
{
    const EventScope scope(*this);
    return QTextEdit::viewportEvent(e);
}

bool RichNSTextView::event(QEvent* e)
{
    const EventScope scope(*this);
    // A removed block's view only waits to be deleted.
    if (isDetached() && (e->type() == QEvent::KeyPress || e->type() == QEvent::ShortcutOverride ||
                         e->type() == QEvent::InputMethod || e->type() == QEvent::Drop)) {
        e->ignore();
        return true;
    }
    if (e->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(e);
        // The editor's own chords reach keyPressEvent rather than a window's shortcuts; any other chord
        // is left to the window.
        const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
        const bool ours = FormatCommands::forKey(key->key(), mods).has_value() || key->matches(QKeySequence::Undo) ||
                          key->matches(QKeySequence::Redo) || key->matches(QKeySequence::Cut) ||
                          key->matches(QKeySequence::Copy) || key->matches(QKeySequence::Paste) ||
                          key->matches(QKeySequence::SelectAll) || key->matches(QKeySequence::DeleteEndOfLine) ||
                          key->matches(QKeySequence::DeleteStartOfWord) ||
                          key->matches(QKeySequence::DeleteEndOfWord) ||
                          (key->key() == Qt::Key_Z && mods == (Qt::ControlModifier | Qt::ShiftModifier)) ||
                          key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab;
        if (ours) {
            e->accept();
            return true;
        }
    }
    return QTextEdit::event(e);
}

void RichNSTextView::keyPressEvent(QKeyEvent* e)
{
    int key = e->key();
    Qt::KeyboardModifiers mods = e->modifiers();
    // Keypad Enter and Shift+Return are Return; QTextEdit would insert a line separator for the latter.
    if (key == Qt::Key_Enter) key = Qt::Key_Return;
    if (key == Qt::Key_Return) mods &= ~(Qt::ShiftModifier | Qt::KeypadModifier);
    if (m_controller.handleKeyDown(key, mods, e->text())) {
        e->accept();
        return;
    }
    if (key == Qt::Key_Return && !(mods & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) {
        m_model.insertText(QStringLiteral("\n"));
        e->accept();
        return;
    }
    if (handleEditingKey(e)) {
        e->accept();
        return;
    }
    // Only keys that move the caret or the selection reach QTextEdit; anything else that would edit is
    // dropped rather than let past the model.
    const bool navigation =
        e->matches(QKeySequence::SelectAll) || e->matches(QKeySequence::MoveToNextChar) ||
        e->matches(QKeySequence::MoveToPreviousChar) || e->matches(QKeySequence::MoveToNextWord) ||
        e->matches(QKeySequence::MoveToPreviousWord) || e->matches(QKeySequence::MoveToNextLine) ||
        e->matches(QKeySequence::MoveToPreviousLine) || e->matches(QKeySequence::MoveToStartOfLine) ||
        e->matches(QKeySequence::MoveToEndOfLine) || e->matches(QKeySequence::MoveToStartOfDocument) ||
        e->matches(QKeySequence::MoveToEndOfDocument) || e->matches(QKeySequence::MoveToNextPage) ||
        e->matches(QKeySequence::MoveToPreviousPage) || e->matches(QKeySequence::MoveToStartOfBlock) ||
        e->matches(QKeySequence::MoveToEndOfBlock) || e->matches(QKeySequence::SelectNextChar) ||
        e->matches(QKeySequence::SelectPreviousChar) || e->matches(QKeySequence::SelectNextWord) ||
        e->matches(QKeySequence::SelectPreviousWord) || e->matches(QKeySequence::SelectNextLine) ||
        e->matches(QKeySequence::SelectPreviousLine) || e->matches(QKeySequence::SelectStartOfLine) ||
        e->matches(QKeySequence::SelectEndOfLine) || e->matches(QKeySequence::SelectStartOfDocument) ||
        e->matches(QKeySequence::SelectEndOfDocument) || e->matches(QKeySequence::SelectNextPage) ||
        e->matches(QKeySequence::SelectPreviousPage) || e->matches(QKeySequence::SelectStartOfBlock) ||
        e->matches(QKeySequence::SelectEndOfBlock);
    if (navigation) {
        QTextEdit::keyPressEvent(e);
        return;
    }
    e->ignore();
}

bool RichNSTextView::handleEditingKey(QKeyEvent* e)
{
    const Qt::KeyboardModifiers mods = e->modifiers() & ~Qt::KeypadModifier;
    const TextRange sel = m_model.selection();
    if (e->matches(QKeySequence::Undo)) {
        m_model.undo();
    } else if (e->matches(QKeySequence::Redo) ||
               (e->key() == Qt::Key_Z && mods == (Qt::ControlModifier | Qt::ShiftModifier))) {
        m_model.redo();
    } else if (e->matches(QKeySequence::Cut)) {
        cut();
    } else if (e->matches(QKeySequence::Copy)) {
        copy();
    } else if (e->matches(QKeySequence::Paste)) {
        pasteMimeData(QApplication::clipboard()->mimeData(QClipboard::Clipboard));
    } else if (e->matches(QKeySequence::DeleteEndOfLine)) {
        deleteTo(QTextCursor::EndOfLine);
    } else if (e->matches(QKeySequence::DeleteStartOfWord)) {
        deleteTo(QTextCursor::PreviousWord);
    } else if (e->matches(QKeySequence::DeleteEndOfWord)) {
        deleteTo(QTextCursor::NextWord);
    } else if (e->key() == Qt::Key_Backspace && !(mods & ~Qt::ShiftModifier)) {
        if (sel == TextRange{0, 0} && m_controller.backspaceAtStart()) return true;
        m_model.deleteBackward();
    } else if (e->key() == Qt::Key_Delete && mods == Qt::NoModifier) {
        if (sel.length == 0 && sel.location == m_model.length() && m_controller.deleteForwardAtEnd()) return true;
        m_model.deleteForward();
    } else if (mods == Qt::NoModifier && (e->key() == Qt::Key_Up || e->key() == Qt::Key_Down ||
                                          e->key() == Qt::Key_Left || e->key() == Qt::Key_Right)) {
        const BlockFocusDirection direction = e->key() == Qt::Key_Up     ? BlockFocusDirection::up
                                              : e->key() == Qt::Key_Down ? BlockFocusDirection::down
                                              : e->key() == Qt::Key_Left ? BlockFocusDirection::left
                                                                         : BlockFocusDirection::right;
        return m_controller.boundaryMove(direction);
    } else if (e->key() == Qt::Key_Tab && mods == Qt::NoModifier) {
        m_model.insertText(QStringLiteral("\t"));
    } else if (e->key() == Qt::Key_Backtab) {
        // Shift+Tab outside a list does nothing.
    } else {
        const QString text = e->text();
        if (text.isEmpty() || (mods & (Qt::ControlModifier | Qt::MetaModifier)) || !isPrintable(text)) return false;
        m_model.insertText(text);
    }
    return true;
}

void RichNSTextView::deleteTo(QTextCursor::MoveOperation operation)
{
    const TextRange sel = m_model.selection();
    if (sel.length > 0) {
        m_model.deleteRange(sel);
        return;
    }
    QTextCursor cursor(document());
    cursor.setPosition(int(sel.location));
    cursor.movePosition(operation, QTextCursor::KeepAnchor);
    // At the end of a line, Ctrl+K joins the next one, as in other X11 editors.
    if (operation == QTextCursor::EndOfLine && cursor.selectionEnd() == sel.location && sel.location < m_model.length())
        cursor.setPosition(int(sel.location + 1), QTextCursor::KeepAnchor);
    m_model.deleteRange({cursor.selectionStart(), cursor.selectionEnd() - cursor.selectionStart()});
}

void RichNSTextView::inputMethodEvent(QInputMethodEvent* e)
{
    if (!e->commitString().isEmpty() || e->replacementLength() > 0) {
        TextRange sel = m_model.selection();
        if (e->replacementLength() > 0) {
            const qsizetype start = std::clamp<qsizetype>(sel.location + e->replacementStart(), 0, m_model.length());
            const qsizetype end = std::clamp<qsizetype>(start + e->replacementLength(), start, m_model.length());
            m_model.setSelection({start, end - start});
        }
        if (!e->commitString().isEmpty())
            m_model.insertText(e->commitString());
        else
            m_model.deleteRange(m_model.selection());
    }
    // The composing text is drawn by the layout and never enters the document.
    QInputMethodEvent preedit(e->preeditString(), e->attributes());
    m_model.setHasMarkedText(!e->preeditString().isEmpty());
    QTextEdit::inputMethodEvent(&preedit);
    e->accept();
}

// ---- Mouse ----

std::optional<qsizetype> RichNSTextView::todoGlyphParagraph(const QPoint& point) const
{
    const QString& text = m_model.text();
    if (text.isEmpty()) return std::nullopt;
    const qsizetype i = cursorForPosition(point).position();
    if (i < 0 || i > text.size()) return std::nullopt;
    const qsizetype at = std::min(i, text.size() - 1);
    const qsizetype start = at == 0 ? 0 : text.lastIndexOf(u'\n', at - 1) + 1;
    qsizetype lead = 0;
    while (start + lead < text.size() && text[start + lead] == u' ') ++lead;
    const qsizetype m = start + lead;
    if (i < start || i > m + 1) return std::nullopt;
    const QStringView glyph = QStringView(text).mid(m, 2);
    if (glyph != MarkdownAutoFormat::openMarker && glyph != MarkdownAutoFormat::doneMarker) return std::nullopt;
    return start;
}

void RichNSTextView::mousePressEvent(QMouseEvent* e)
{
    const QPoint point = e->position().toPoint();
    // The toolkit hands the third press of a triple click over as a plain one.
    const bool ofMultiClick =
        e->button() == Qt::LeftButton && m_clicks.pressAt(QVariant(), e->timestamp(), e->globalPosition());
    if (e->button() == Qt::LeftButton && !ofMultiClick &&
        !(e->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) {
        if (const auto paragraph = todoGlyphParagraph(point)) {
            m_controller.toggleTodo(*paragraph);
            e->accept();
            return;
        }
    }
    if (e->button() == Qt::LeftButton && e->modifiers() == Qt::ControlModifier) {
        // Only web and mail addresses open; other schemes could start programs.
        const QUrl url(anchorAt(point));
        if (url.isValid() && (url.scheme() == u"http" || url.scheme() == u"https" || url.scheme() == u"mailto")) {
            QDesktopServices::openUrl(url);
            e->accept();
            return;
        }
    }
    QTextEdit::mousePressEvent(e);
}

void RichNSTextView::mouseDoubleClickEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton) m_clicks.doublePress(*e);
    QTextEdit::mouseDoubleClickEvent(e);
}

void RichNSTextView::mouseMoveEvent(QMouseEvent* e)
{
    const QPoint point = e->position().toPoint();
    const bool overLink = !anchorAt(point).isEmpty();
    viewport()->setCursor(todoGlyphParagraph(point) || overLink ? Qt::PointingHandCursor : Qt::IBeamCursor);
    QTextEdit::mouseMoveEvent(e);
}

void RichNSTextView::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() == Qt::MiddleButton) {
        // The PRIMARY selection is pasted where the pointer is, through the model like any paste.
        const QClipboard* clipboard = QApplication::clipboard();
        if (clipboard->supportsSelection()) {
            placeCaretForInsertion(characterIndexAt(e->position()));
            pasteMimeData(clipboard->mimeData(QClipboard::Selection));
        }
        e->accept();
        return;
    }
    QTextEdit::mouseReleaseEvent(e);
}

// ---- Painting, focus, size ----

void RichNSTextView::paintEvent(QPaintEvent* e)
{
    const int scrolled = verticalScrollBar()->value();
    if ((e->rect().top() + scrolled < m_marksTop || e->rect().bottom() + scrolled > m_marksBottom) &&
        !m_controller.spelling().marks().empty() && !m_storage.isFilling())
        buildExtraSelections(e->rect());
    QTextEdit::paintEvent(e);
    if (!placeholderShown()) return;
    const TextAttributes attributes = m_controller.titlePlaceholderAttributes();
    QPainter painter(viewport());
    painter.setFont(attributes.font->toQFont());
    painter.setPen(*attributes.foreground);
    const QRectF first = caretRect(0);
    painter.drawText(
        QPointF(kPadding - horizontalScrollBar()->value(), first.top() + QFontMetricsF(painter.font()).ascent()),
        m_placeholder);
}

bool RichNSTextView::placeholderShown() const
{
    const QString& text = m_model.text();
    return !m_placeholder.isEmpty() && (text.isEmpty() || text[0] == u'\n');
}

void RichNSTextView::focusInEvent(QFocusEvent* e)
{
    QTextEdit::focusInEvent(e);
    m_controller.setFocused(true);
}

void RichNSTextView::focusOutEvent(QFocusEvent* e)
{
    QTextEdit::focusOutEvent(e);
    m_controller.setFocused(false);
}

void RichNSTextView::resizeEvent(QResizeEvent* e)
{
    QTextEdit::resizeEvent(e);
    const QSize old = e->oldSize();
    if (std::abs(old.width() - e->size().width()) > 0 || std::abs(old.height() - e->size().height()) > 0)
        m_controller.viewFrameChanged();
}

// ---- Menus ----

void RichNSTextView::showMenu(const std::vector<std::pair<QString, std::function<void()>>>& items, const QPoint& at)
{
    QMenu menu(this);
    std::vector<std::pair<QAction*, std::function<void()>>> actions;
    for (const auto& [title, action] : items) {
        if (title.isEmpty()) {
            menu.addSeparator();
            continue;
        }
        // Titles come from our own code, but a menu would still read "&" as a mnemonic.
        QAction* a = menu.addAction(QString(title).replace(u'&', QStringLiteral("&&")));
        actions.emplace_back(a, action);
    }
    const SlashMenuKeys keys(menu, [this](QKeyEvent* key, bool first) {
        // The first key that leaves the menu was typing: the "/" that opened it is typed before it, except
        // for Backspace, which takes the "/" back. Later keys reaching the closed menu go to the text as they are.
        if (first && key->key() == Qt::Key_Backspace) return;
        if (first) m_model.insertText(QStringLiteral("/"));
        if (isDetached()) return;
        QKeyEvent again(key->type(), key->key(), key->modifiers(), key->nativeScanCode(), key->nativeVirtualKey(),
                        key->nativeModifiers(), key->text(), key->isAutoRepeat(), ushort(key->count()));
        QCoreApplication::sendEvent(this, &again);
    });
    // The chosen item runs once the menu has closed, not from inside its event loop: it may change
    // the note this view belongs to.
    QAction* chosen = menu.exec(at);
    if (!chosen || isDetached()) return;
    for (const auto& [a, action] : actions)
        if (a == chosen && action) action();
}

void RichNSTextView::contextMenuEvent(QContextMenuEvent* e)
{
    QMenu menu(this);
    populateContextMenu(&menu, viewport()->mapFrom(this, e->pos()));
    menu.exec(e->globalPos());
}

void RichNSTextView::acceptedElsewhere(const QString& word)
{
    // The other blocks of the same note stop marking the word too.
    if (QWidget* parent = parentWidget())
        for (RichNSTextView* sibling : parent->findChildren<RichNSTextView*>(Qt::FindDirectChildrenOnly))
            if (sibling != this && !sibling->isDetached()) sibling->m_controller.spelling().accepted(word);
}

void RichNSTextView::flash(TextRange range)
{
    m_flash = range;
    const int serial = ++m_flashSerial;
    updateExtraSelections();
    QPointer<RichNSTextView> guard(this);
    QTimer::singleShot(1000, this, [guard, serial] {
        if (!guard || guard->m_flashSerial != serial) return;
        guard->m_flash.reset();
        guard->updateExtraSelections();
    });
}

void RichNSTextView::watchDocumentLayout()
{
    // A long text's layout settles its paragraphs' heights over a few turns: the block grows or shrinks
    // with them.
    if (auto* layout = qobject_cast<LongTextLayout*>(document()->documentLayout()))
        connect(layout, &LongTextLayout::documentSizeChanged, this, [this] { m_controller.viewFrameChanged(); });
}

void RichNSTextView::updateExtraSelections()
{
    buildExtraSelections(viewport()->visibleRegion().boundingRect());
}

void RichNSTextView::buildExtraSelections(const QRect& seen)
{
    if (isDetached()) return;
    // Each mark holds a cursor that every insertion into the document moves: while a long text fills
    // (thousands of insertions, maybe thousands of misspelt words) the marks wait until it is in.
    if (m_storage.isFilling()) {
        if (!extraSelections().isEmpty()) setExtraSelections({});
        return;
    }
    QList<QTextEdit::ExtraSelection> selections;
    const qsizetype n = m_model.length();
    const qsizetype shown = document()->characterCount() - 1;
    auto add = [&](TextRange r, const QTextCharFormat& format) {
        if (r.location < 0 || r.end() > n || r.length <= 0) return;
        // Ranges in text the document does not hold (a long text still filling in, or held back) are
        // drawn once it does.
        const qsizetype from = m_storage.toDocument(r.location);
        const qsizetype to = m_storage.toDocument(r.end());
        if (to - from != r.length || to > shown) return;
        QTextEdit::ExtraSelection s;
        s.cursor = QTextCursor(document());
        s.cursor.setPosition(int(from));
        s.cursor.setPosition(int(to), QTextCursor::KeepAnchor);
        s.format = format;
        selections << s;
    };
    QTextCharFormat misspelt;
    misspelt.setUnderlineStyle(QTextCharFormat::SpellCheckUnderline);
    misspelt.setUnderlineColor(QColor(0xE0, 0x30, 0x30));
    // Only the marks on and near the part of the view on screen become selections: every selection holds
    // a cursor that each key moves and that painting looks at, so the thousands of marks of a long note
    // would cost every key. Painting a part beyond them builds them anew there.
    const int scrolled = verticalScrollBar()->value();
    const int margin = std::max(600, seen.height());
    m_marksTop = seen.isEmpty() ? 0 : seen.top() + scrolled - margin;
    m_marksBottom = seen.isEmpty() ? -1 : seen.bottom() + scrolled + margin;
    const std::vector<TextRange>& marks = m_controller.spelling().marks();
    if (!seen.isEmpty() && !marks.empty()) {
        QAbstractTextDocumentLayout* layout = document()->documentLayout();
        const QTextBlock top =
            document()->findBlock(layout->hitTest(QPointF(0, std::max(0, m_marksTop)), Qt::FuzzyHit));
        const QTextBlock bottom = document()->findBlock(layout->hitTest(QPointF(0, m_marksBottom), Qt::FuzzyHit));
        const qsizetype from = m_storage.toText(top.isValid() ? top.position() : 0);
        const qsizetype to = m_storage.toText(bottom.isValid() ? bottom.position() + bottom.length() : shown);
        auto it = std::lower_bound(marks.begin(), marks.end(), from,
                                   [](const TextRange& r, qsizetype p) { return r.end() < p; });
        for (; it != marks.end() && it->location <= to; ++it) add(*it, misspelt);
    }
    if (m_flash) {
        QTextCharFormat highlight;
        highlight.setBackground(QColor(255, 214, 10, 160));
        add(*m_flash, highlight);
    }
    // Unchanged selections are not set again: setting them repaints, and painting may build them.
    const QList<QTextEdit::ExtraSelection> current = extraSelections();
    const bool same = std::equal(selections.begin(), selections.end(), current.begin(), current.end(),
                                 [](const QTextEdit::ExtraSelection& a, const QTextEdit::ExtraSelection& b) {
                                     return a.cursor.anchor() == b.cursor.anchor() &&
                                            a.cursor.position() == b.cursor.position() && a.format == b.format;
                                 });
    if (!same) setExtraSelections(selections);
}

void RichNSTextView::populateContextMenu(QMenu* menu, std::optional<QPoint> at)
{
    // A misspelt word under the pointer: its suggestions first, then ignoring or learning it.
    SpellingMarks& spelling = m_controller.spelling();
    if (at && spelling.checker()) {
        if (const auto word = spelling.markAt(cursorForPosition(*at).position())) {
            const QString text = m_model.text().mid(word->location, word->length);
            const QStringList suggestions = spelling.checker()->suggestions(text, 5);
            for (const QString& suggestion : suggestions) {
                QAction* a = menu->addAction(QString(suggestion).replace(u'&', QStringLiteral("&&")));
                a->setEnabled(m_model.isEditable());
                connect(a, &QAction::triggered, this,
                        [this, w = *word, suggestion] { m_controller.replaceWord(w, suggestion); });
            }
            if (suggestions.isEmpty()) menu->addAction(QStringLiteral("No Guesses Found"))->setEnabled(false);
            // Words of a private note go to no word list: the personal one is a file in the clear.
            if (!m_controller.inPrivateNote()) {
                connect(menu->addAction(QStringLiteral("Ignore Spelling")), &QAction::triggered, this,
                        [this, w = *word, text] {
                            m_controller.spelling().ignore(w);
                            acceptedElsewhere(text);
                        });
                connect(menu->addAction(QStringLiteral("Learn Spelling")), &QAction::triggered, this,
                        [this, w = *word, text] {
                            m_controller.spelling().learn(w);
                            acceptedElsewhere(text);
                        });
            }
            menu->addSeparator();
        }
    }
    const bool editable = m_model.isEditable();
    const bool selected = m_model.selection().length > 0;
    UndoManager* undo = m_model.undoManager();
    auto add = [&](const QString& title, const QKeySequence& keys, bool enabled, std::function<void()> action) {
        QAction* a = menu->addAction(title);
        a->setShortcut(keys);
        a->setEnabled(enabled);
        connect(a, &QAction::triggered, this, std::move(action));
    };
    add(QStringLiteral("Undo"), QKeySequence::Undo, editable && undo && undo->canUndo(), [this] { m_model.undo(); });
    add(QStringLiteral("Redo"), QKeySequence(QStringLiteral("Ctrl+Shift+Z")), editable && undo && undo->canRedo(),
        [this] { m_model.redo(); });
    menu->addSeparator();
    add(QStringLiteral("Cut"), QKeySequence::Cut, editable && selected, [this] { cut(); });
    add(QStringLiteral("Copy"), QKeySequence::Copy, selected, [this] { copy(); });
    add(QStringLiteral("Paste"), QKeySequence::Paste, editable,
        [this] { pasteMimeData(QApplication::clipboard()->mimeData()); });
    add(QStringLiteral("Paste as Plain Text"), QKeySequence(QStringLiteral("Ctrl+Shift+V")), editable,
        [this] { m_controller.apply(FormatCommand::pasteMatchStyle); });
    add(QStringLiteral("Delete"), QKeySequence(), editable && selected,
        [this] { m_model.deleteRange(m_model.selection()); });
    menu->addSeparator();
    add(QStringLiteral("Select All"), QKeySequence::SelectAll, m_model.length() > 0, [this] {
        m_model.setSelection({0, m_model.length()});
    });
    if (m_contextMenuHook) m_contextMenuHook(menu);
}

// ---- Assistive tools ----

bool RichNSTextView::takesEdits() const
{
    return !isDetached() && m_model.isEditable();
}

void RichNSTextView::editFromAssistiveTool(int from, int to, const QString& text)
{
    if (!takesEdits()) return;
    const qsizetype shown = document()->characterCount() - 1;
    const qsizetype start = m_storage.toText(std::clamp<qsizetype>(std::min(from, to), 0, shown));
    const qsizetype end = m_storage.toText(std::clamp<qsizetype>(std::max(from, to), 0, shown));
    // Each of a tool's edits is a step of its own to undo, not part of the typing before it.
    m_model.breakUndoCoalescing();
    if (text.isEmpty()) {
        m_model.deleteRange({start, end - start});
        return;
    }
    // Put in where the tool points, in the style of the character before, as typing after a click there.
    if (start == end)
        placeCaretForInsertion(start);
    else
        m_model.setSelection({start, end - start});
    m_model.insertText(text);
}

// ---- Clipboard and drops ----

void RichNSTextView::copy()
{
    if (m_model.selection().length == 0) return;
    QApplication::clipboard()->setMimeData(createMimeDataFromSelection());
}

void RichNSTextView::cut()
{
    const TextRange sel = m_model.selection();
    if (sel.length == 0 || !m_model.isEditable()) return;
    copy();
    m_model.deleteRange(sel);
}

QMimeData* RichNSTextView::createMimeDataFromSelection() const
{
    auto* data = new QMimeData;
    const TextRange sel = m_model.selection();
    // The storage's text, not the document's plain text, which turns no-break spaces into spaces.
    data->setText(m_model.text().mid(sel.location, sel.length));
    // The styled copy comes from the document, which may not hold all of a long text yet: a selection
    // reaching into what it lacks is copied as text alone, whole, rather than styled and cut short.
    const qsizetype from = m_storage.toDocument(sel.location);
    const qsizetype to = m_storage.toDocument(sel.end());
    if (to - from != sel.length || to >= document()->characterCount()) return data;
    QTextCursor cursor(document());
    cursor.setPosition(int(from));
    cursor.setPosition(int(to), QTextCursor::KeepAnchor);
    data->setHtml(QTextDocumentFragment(cursor).toHtml());
    return data;
}

bool RichNSTextView::canInsertFromMimeData(const QMimeData* source) const
{
    // Drags of pictures alone are left to the block container around the view.
    return source && (source->hasText() || source->hasHtml());
}

void RichNSTextView::insertFromMimeData(const QMimeData* source)
{
    pasteMimeData(source);
}

// Picture drags are the block container's: ignored here, they reach it (the path would arrive as text).
// Drags of other files are ignored too, and the container refuses them: a file manager offers a file's
// address as text beside it, which would otherwise land in the body.
static bool isLeftToContainer(const QDropEvent* e)
{
    const QMimeData* data = e->mimeData();
    if (!data) return false;
    const QList<QUrl> urls = data->urls();
    const QStringList formats = data->formats();
    return DropPictures::carriesPicture(urls, formats) || DropPictures::refusedOnBody(urls, formats);
}

void RichNSTextView::dragEnterEvent(QDragEnterEvent* e)
{
    if (isLeftToContainer(e)) {
        e->ignore();
        return;
    }
    QTextEdit::dragEnterEvent(e);
}

void RichNSTextView::dragMoveEvent(QDragMoveEvent* e)
{
    if (isLeftToContainer(e)) {
        e->ignore();
        return;
    }
    QTextEdit::dragMoveEvent(e);
}

void RichNSTextView::dropEvent(QDropEvent* e)
{
    const QMimeData* data = e->mimeData();
    if (isLeftToContainer(e)) {
        e->ignore();
        return;
    }
    const qsizetype at = characterIndexAt(e->position());
    if (e->dropAction() == Qt::MoveAction && moveDroppedText(e->source(), at)) {
        // Moved through the models; the dragging view must not remove the text a second time.
        e->setDropAction(Qt::CopyAction);
        e->accept();
        return;
    }
    if (!data->hasText() && !data->hasHtml()) {
        // Pictures dropped on a note body are the block container's.
        e->ignore();
        return;
    }
    placeCaretForInsertion(at);
    pasteMimeData(data);
    e->acceptProposedAction();
}

bool RichNSTextView::moveDroppedText(QObject* source, qsizetype at)
{
    // QTextEdit drags from its viewport. A drag from a text block of the same note moves; any other
    // source (another note, another application) is pasted like a copy.
    auto* sourceWidget = qobject_cast<QWidget*>(source);
    auto* from = sourceWidget ? qobject_cast<RichNSTextView*>(sourceWidget->parentWidget()) : nullptr;
    if (!from || from->isDetached() || isDetached() || (from != this && from->parentWidget() != parentWidget()))
        return false;
    const TextRange selection = from->m_model.selection();
    if (selection.length == 0) return false;
    if (from == this) {
        // Dropped on itself: nothing to do, and nothing to copy either.
        m_model.moveSelection(at);
        return true;
    }
    const AttributedText moved = from->m_model.selectedText();
    UndoManager* undo = m_model.undoManager();
    if (undo) undo->beginGroup();
    m_model.setCaret(at);
    if (m_model.insertAttributedText(moved)) {
        from->m_model.deleteRange(selection);
        m_model.setSelection({at, moved.length()});
    }
    if (undo) undo->endGroup();
    setFocus(Qt::OtherFocusReason);
    return true;
}

RichNSTextView::Pictures RichNSTextView::imageData(const QMimeData* data)
{
    Pictures pictures;
    if (!data) return pictures;
    // Files are read as a drop reads them: at most 50 pictures and 256 MiB together, each judged
    // without opening anything that could block. A file that is no picture (a text file a file
    // manager copied) is left to be pasted as its name.
    if (data->hasUrls()) {
        const DropPictures files = DropPictures::readPastedFiles(data->urls());
        if (!files.images.empty() || !files.skipped.isEmpty()) return {files.images, files.skipped};
    }
    DropPictures direct;
    if (data->hasFormat(QStringLiteral("image/png"))) {
        direct.addData(data->data(QStringLiteral("image/png")), QStringLiteral("clipboard picture"));
        return {direct.images, direct.skipped};
    }
    // A drawing is taken as its bytes, judged before anything draws it: decoding it through imageData()
    // would open whatever files it names on this thread.
    for (const QString& format : data->formats()) {
        if (!format.startsWith(QLatin1String("image/")) || !format.contains(QLatin1String("svg"))) continue;
        direct.addData(data->data(format), QStringLiteral("clipboard picture"));
        return {direct.images, direct.skipped};
    }
    if (data->hasImage()) {
        if (const auto png = boundedPng(qvariant_cast<QImage>(data->imageData())))
            pictures.images.push_back(*png);
        else
            pictures.skipped << QStringLiteral("clipboard picture: it is larger than 64 MiB or unreadable");
    }
    return pictures;
}

void RichNSTextView::pasteMimeData(const QMimeData* data, bool plainOnly)
{
    if (!data || !m_model.isEditable()) return;
    TextAttributes typing = m_model.typingAttributes();
    // Put in on the title line, the text is the body's: the title's face is given to the title's part
    // alone after the change, and what reaches the body keeps its own bold and italic.
    if (m_controller.isTitleBlock()) {
        const qsizetype titleEnd = m_model.text().indexOf(u'\n');
        if (titleEnd < 0 || m_model.selection().location <= titleEnd)
            typing = RichTextBridge::typingAttributes(m_controller.theme());
    }
    // A file manager's copy names picture files: those are pictures, not the text of their paths.
    if (!plainOnly && data->hasUrls()) {
        const Pictures pictures = imageData(data);
        if (!pictures.images.empty() || !pictures.skipped.isEmpty()) {
            if (!pictures.skipped.isEmpty()) m_controller.reportSkipped(DropPictures::notice(pictures.skipped));
            if (!pictures.images.empty()) m_controller.pasteImages(pictures.images);
            return;
        }
    }
    // Pictures found beside (or instead of) text: true when there were any, pasted or reported.
    const auto pastePictures = [&] {
        const Pictures pictures = imageData(data);
        if (!pictures.skipped.isEmpty()) m_controller.reportSkipped(DropPictures::notice(pictures.skipped));
        if (!pictures.images.empty()) m_controller.pasteImages(pictures.images);
        return !pictures.images.empty() || !pictures.skipped.isEmpty();
    };
    if (!plainOnly && data->hasHtml()) {
        const qsizetype at = m_model.selection().location;
        const bool atLineStart = at == 0 || m_model.text().at(at - 1) == u'\n';
        const AttributedText text = PastedHtml::text(data->html(), typing, atLineStart);
        // A browser's "Copy Image" is markup holding only the picture, with the picture's bytes beside it.
        if (text.text().trimmed().isEmpty() && pastePictures()) return;
        if (!text.isEmpty()) m_controller.pasteText(text);
        return;
    }
    if (data->hasText() && !data->text().isEmpty()) {
        m_controller.pasteText(AttributedText(data->text(), typing));
        return;
    }
    if (plainOnly) return;
    pastePictures();
}
