#include "editor/text/RichNSTextAccessible.h"

#include <QAbstractTextDocumentLayout>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include "editor/text/RichNSTextView.h"

namespace {

QAccessibleInterface* factory(const QString&, QObject* object)
{
    if (auto* view = qobject_cast<RichNSTextView*>(object)) return new RichNSTextAccessible(view);
    return nullptr;
}

// A piece of text for the toolkit's own rules of characters, words and sentences.
class Stretch : public QAccessibleTextInterface {
public:
    explicit Stretch(QString text) : m_text(std::move(text)) {}
    QString text(int startOffset, int endOffset) const override
    {
        return m_text.mid(startOffset, endOffset - startOffset);
    }
    int characterCount() const override { return int(m_text.size()); }
    void selection(int, int* startOffset, int* endOffset) const override { *startOffset = *endOffset = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int, int* startOffset, int* endOffset) const override
    {
        *startOffset = *endOffset = 0;
        return {};
    }

private:
    QString m_text;
};

}  // namespace

RichNSTextAccessible::RichNSTextAccessible(RichNSTextView* view) : QAccessibleWidget(view, QAccessible::EditableText) {}

void RichNSTextAccessible::attach(RichNSTextView* view)
{
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        return true;
    }();
    Q_UNUSED(installed);
    // With the accessibility bus running, the text editor underneath may have been asked for while it was
    // being built, and the stock interface made and kept: it is dropped, so the next to ask gets ours.
    QAccessibleInterface* current = QAccessible::queryAccessibleInterface(view);
    if (current && !dynamic_cast<RichNSTextAccessible*>(current))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(current));
}

RichNSTextView* RichNSTextAccessible::view() const
{
    return static_cast<RichNSTextView*>(widget());
}

void* RichNSTextAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
    if (type == QAccessible::EditableTextInterface) return static_cast<QAccessibleEditableTextInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

QAccessible::State RichNSTextAccessible::state() const
{
    QAccessible::State s = QAccessibleWidget::state();
    const bool editable = view()->takesEdits();
    s.editable = editable;
    s.readOnly = !editable;
    s.multiLine = true;
    s.selectableText = true;
    return s;
}

QString RichNSTextAccessible::text(QAccessible::Text t) const
{
    if (t == QAccessible::Value) return view()->toPlainText();
    return QAccessibleWidget::text(t);
}

void RichNSTextAccessible::setText(QAccessible::Text t, const QString& text)
{
    if (t != QAccessible::Value) {
        QAccessibleWidget::setText(t, text);
        return;
    }
    view()->editFromAssistiveTool(0, characterCount(), text);
}

// ---- Reading ----

int RichNSTextAccessible::characterCount() const
{
    return std::max(0, view()->document()->characterCount() - 1);
}

QString RichNSTextAccessible::text(int startOffset, int endOffset) const
{
    const int count = characterCount();
    startOffset = std::clamp(startOffset, 0, count);
    endOffset = endOffset < 0 ? count : std::clamp(endOffset, startOffset, count);
    QTextCursor cursor(view()->document());
    cursor.setPosition(startOffset);
    cursor.setPosition(endOffset, QTextCursor::KeepAnchor);
    return cursor.selectedText().replace(QChar::ParagraphSeparator, u'\n');
}

int RichNSTextAccessible::cursorPosition() const
{
    return view()->textCursor().position();
}

void RichNSTextAccessible::setCursorPosition(int position)
{
    // As a click there: the view tells the model where the caret went.
    QTextCursor cursor = view()->textCursor();
    cursor.setPosition(std::clamp(position, 0, characterCount()));
    view()->setTextCursor(cursor);
}

void RichNSTextAccessible::selection(int selectionIndex, int* startOffset, int* endOffset) const
{
    *startOffset = *endOffset = 0;
    const QTextCursor cursor = view()->textCursor();
    if (selectionIndex != 0 || !cursor.hasSelection()) return;
    *startOffset = cursor.selectionStart();
    *endOffset = cursor.selectionEnd();
}

int RichNSTextAccessible::selectionCount() const
{
    return view()->textCursor().hasSelection() ? 1 : 0;
}

void RichNSTextAccessible::addSelection(int startOffset, int endOffset)
{
    setSelection(0, startOffset, endOffset);
}

void RichNSTextAccessible::removeSelection(int selectionIndex)
{
    if (selectionIndex != 0) return;
    setCursorPosition(cursorPosition());
}

void RichNSTextAccessible::setSelection(int selectionIndex, int startOffset, int endOffset)
{
    if (selectionIndex != 0) return;
    const int count = characterCount();
    QTextCursor cursor = view()->textCursor();
    cursor.setPosition(std::clamp(startOffset, 0, count));
    cursor.setPosition(std::clamp(endOffset, 0, count), QTextCursor::KeepAnchor);
    view()->setTextCursor(cursor);
}

QString RichNSTextAccessible::textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
                                               int* endOffset) const
{
    return textNear(Side::before, offset, boundaryType, startOffset, endOffset);
}

QString RichNSTextAccessible::textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
                                              int* endOffset) const
{
    return textNear(Side::after, offset, boundaryType, startOffset, endOffset);
}

QString RichNSTextAccessible::textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
                                           int* endOffset) const
{
    return textNear(Side::at, offset, boundaryType, startOffset, endOffset);
}

QString RichNSTextAccessible::textNear(Side side, int offset, QAccessible::TextBoundaryType boundaryType,
                                       int* startOffset, int* endOffset) const
{
    *startOffset = *endOffset = -1;
    const int count = characterCount();
    if (offset < 0 || offset > count) return {};
    QTextDocument* document = view()->document();
    switch (boundaryType) {
        case QAccessible::NoBoundary:
            if (side != Side::at) return {};
            *startOffset = 0;
            *endOffset = count;
            return text(0, count);
        case QAccessible::LineBoundary: {
            // Lines as they are drawn, wrapped.
            QTextCursor cursor(document);
            cursor.setPosition(offset);
            if (side == Side::before && !cursor.movePosition(QTextCursor::Up)) return {};
            if (side == Side::after && !cursor.movePosition(QTextCursor::Down)) return {};
            cursor.movePosition(QTextCursor::StartOfLine);
            *startOffset = cursor.position();
            cursor.movePosition(QTextCursor::EndOfLine);
            *endOffset = cursor.position();
            return text(*startOffset, *endOffset);
        }
        case QAccessible::ParagraphBoundary: {
            QTextBlock block = document->findBlock(offset);
            if (side == Side::before) block = block.previous();
            if (side == Side::after) block = block.next();
            if (!block.isValid()) return {};
            *startOffset = block.position();
            *endOffset = block.position() + block.length() - 1;
            return text(*startOffset, *endOffset);
        }
        default:
            break;
    }
    // Characters, words and sentences never reach past the paragraphs beside the offset's own: the
    // toolkit's rules are run over those three alone, not the whole of a long note.
    const QTextBlock block = document->findBlock(offset);
    const QTextBlock first = block.previous().isValid() ? block.previous() : block;
    const QTextBlock last = block.next().isValid() ? block.next() : block;
    const int from = first.position();
    const Stretch stretch(text(from, last.position() + last.length() - 1));
    int start = -1, end = -1;
    QString found;
    if (side == Side::before)
        found = stretch.textBeforeOffset(offset - from, boundaryType, &start, &end);
    else if (side == Side::after)
        found = stretch.textAfterOffset(offset - from, boundaryType, &start, &end);
    else
        found = stretch.textAtOffset(offset - from, boundaryType, &start, &end);
    if (start >= 0) {
        *startOffset = start + from;
        *endOffset = end + from;
    }
    return found;
}

QRect RichNSTextAccessible::characterRect(int offset) const
{
    RichNSTextView* v = view();
    QTextCursor cursor(v->document());
    cursor.setPosition(std::clamp(offset, 0, characterCount()));
    QRect r = v->cursorRect(cursor);
    const int height = r.height();
    if (cursor.movePosition(QTextCursor::NextCharacter)) {
        const QRect next = v->cursorRect(cursor);
        if (next.top() == r.top()) r.setWidth(next.x() - r.x());
    } else {
        r.setWidth(QFontMetrics(cursor.charFormat().font()).averageCharWidth());
    }
    r.setHeight(std::max(height, r.height()));
    r.moveTo(v->viewport()->mapToGlobal(r.topLeft()));
    return r;
}

int RichNSTextAccessible::offsetAtPoint(const QPoint& point) const
{
    RichNSTextView* v = view();
    QPoint p = v->viewport()->mapFromGlobal(point);
    p += QPoint(v->horizontalScrollBar()->value(), v->verticalScrollBar()->value());
    return v->document()->documentLayout()->hitTest(p, Qt::ExactHit);
}

void RichNSTextAccessible::scrollToSubstring(int, int)
{
    // The note's body scrolls, not its text blocks, and it keeps the caret in sight: a tool brings a
    // range into view by moving the caret there.
}

QString RichNSTextAccessible::attributes(int offset, int* startOffset, int* endOffset) const
{
    *startOffset = *endOffset = -1;
    const int count = characterCount();
    if (offset < 0 || offset > count) return {};
    // The run of one style holding the character at offset (the one before it at the end).
    const QTextBlock block = view()->document()->findBlock(std::min(offset, std::max(0, count - 1)));
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (offset < fragment.position() || offset >= fragment.position() + fragment.length()) continue;
        *startOffset = fragment.position();
        *endOffset = fragment.position() + fragment.length();
        const QTextCharFormat format = fragment.charFormat();
        const QFont font = format.font();
        QString out = QStringLiteral("font-family:\"%1\";").arg(font.family());
        if (font.pointSizeF() > 0) out += QStringLiteral("font-size:%1pt;").arg(font.pointSizeF());
        if (font.bold()) out += QStringLiteral("font-weight:bold;");
        if (font.italic()) out += QStringLiteral("font-style:italic;");
        if (font.underline()) out += QStringLiteral("text-underline-style:solid;");
        if (font.strikeOut()) out += QStringLiteral("text-line-through-type:single;");
        return out;
    }
    *startOffset = *endOffset = offset;
    return {};
}

// ---- Editing ----

void RichNSTextAccessible::deleteText(int startOffset, int endOffset)
{
    view()->editFromAssistiveTool(startOffset, endOffset, QString());
}

void RichNSTextAccessible::insertText(int offset, const QString& text)
{
    view()->editFromAssistiveTool(offset, offset, text);
}

void RichNSTextAccessible::replaceText(int startOffset, int endOffset, const QString& text)
{
    view()->editFromAssistiveTool(startOffset, endOffset, text);
}
