#include "editor/text/TextViewModel.h"

#include "model/text/GraphemeMap.h"
#include "platform/UndoManager.h"

TextViewModel::TextViewModel(TextStorage& storage, QObject* parent) : QObject(parent), m_storage(storage)
{
    // Connected before any view: whoever hears of a change next finds a selection that fits the text.
    connect(&storage, &TextStorage::changed, this, &TextViewModel::followChange);
}

void TextViewModel::followChange(qsizetype start, qsizetype removed, qsizetype added)
{
    // The selection moves with the text around it; a position inside the replaced range stays where it
    // was while the new characters reach it (a change of attributes moves nothing).
    auto map = [&](qsizetype p) {
        if (p <= start) return p;
        if (p >= start + removed) return p + added - removed;
        return std::min(p, start + added);
    };
    const qsizetype from = map(m_selection.location);
    const TextRange moved{from, std::max<qsizetype>(0, map(m_selection.end()) - from)};
    if (moved == m_selection) return;
    // Not the user's move: the typing step stays open.
    m_selection = moved;
    Q_EMIT selectionChanged();
    if (m_delegate) m_delegate->selectionDidChange();
}

void TextViewModel::setUndoManager(UndoManager* undoManager)
{
    m_undoManager = undoManager;
}

void TextViewModel::setSelection(TextRange range)
{
    const qsizetype n = length();
    range.location = std::clamp<qsizetype>(range.location, 0, n);
    range.length = std::clamp<qsizetype>(range.length, 0, n - range.location);
    if (range == m_selection) return;
    // Moving the caret ends the word being typed: the next keystroke starts a new undo step.
    if (!m_typing) breakUndoCoalescing();
    m_selection = range;
    Q_EMIT selectionChanged();
    if (m_delegate) m_delegate->selectionDidChange();
}

bool TextViewModel::shouldChangeText(TextRange range, const std::optional<QString>& replacement)
{
    if (!m_editable) return false;
    if (range.location < 0 || range.end() > length()) return false;
    return !m_delegate || m_delegate->textShouldChange(range, replacement);
}

void TextViewModel::replaceCharacters(TextRange range, const AttributedText& with, bool coalesce)
{
    range.location = std::clamp<qsizetype>(range.location, 0, length());
    range.length = std::clamp<qsizetype>(range.length, 0, length() - range.location);
    const AttributedText inserted = TextStorage::normalizedLineBreaks(with);
    const AttributedText old = m_storage.attributedSubstring(range.location, range.length);
    // The selection follows the change (followChange); callers place it where the edit wants it.
    m_storage.replace(range.location, range.length, inserted);
    if (m_undoManager) {
        m_undoManager->registerUndo(
            this, [this, location = range.location, n = inserted.length(), old] { revert(location, n, old); },
            coalesce);
    }
}

void TextViewModel::revert(qsizetype location, qsizetype length, const AttributedText& old)
{
    replaceCharacters({location, length}, old);
    // After the restored text, as editors leave it: a selection there would be replaced by the next key.
    setCaret(location + old.length());
    didChangeText();
}

void TextViewModel::didChangeText()
{
    if (m_delegate) m_delegate->textDidChange();
}

void TextViewModel::breakUndoCoalescing()
{
    if (m_undoManager) m_undoManager->breakCoalescing();
}

bool TextViewModel::insertText(const QString& text)
{
    const TextRange range = m_selection;
    if (text.isEmpty() && range.length == 0) return false;
    if (!shouldChangeText(range, text)) return false;
    const AttributedText with = TextStorage::normalizedLineBreaks(AttributedText(text, m_typingAttributes));
    replaceCharacters(range, with, true);
    m_typing = true;
    setCaret(range.location + with.length());
    m_typing = false;
    didChangeText();
    return true;
}

bool TextViewModel::insertAttributedText(const AttributedText& text)
{
    const TextRange range = m_selection;
    const AttributedText with = TextStorage::normalizedLineBreaks(text);
    if (with.isEmpty() && range.length == 0) return false;
    if (!shouldChangeText(range, with.text())) return false;
    replaceCharacters(range, with);
    setCaret(range.location + with.length());
    didChangeText();
    return true;
}

bool TextViewModel::deleteRange(TextRange range)
{
    if (range.length <= 0 || !shouldChangeText(range, QString())) return false;
    replaceCharacters(range, AttributedText());
    setCaret(range.location);
    didChangeText();
    return true;
}

namespace {

// Clusters never reach back past two neighbouring characters below U+0300, so a few hundred units
// before the caret (widened to such a pair) decide the cluster there without walking a long paragraph.
qsizetype clusterWindowStart(const QString& text, qsizetype lineStart, qsizetype caret)
{
    qsizetype from = std::max(lineStart, caret - 256);
    while (from > lineStart && !(text[from].unicode() < 0x300 && text[from - 1].unicode() < 0x300)) --from;
    return from;
}

}  // namespace

bool TextViewModel::deleteBackward()
{
    if (m_selection.length > 0) return deleteRange(m_selection);
    const qsizetype caret = m_selection.location;
    if (caret == 0) return false;
    // One user-perceived character; a line break is one of its own.
    const qsizetype lineStart = text().lastIndexOf(u'\n', caret - 1) + 1;
    if (lineStart == caret) return deleteRange({caret - 1, 1});
    const qsizetype from = clusterWindowStart(text(), lineStart, caret);
    const GraphemeMap map(text().mid(from, caret - from));
    const qsizetype previous = from + map.toUtf16(map.toGrapheme(caret - from - 1));
    return deleteRange({previous, caret - previous});
}

bool TextViewModel::deleteForward()
{
    if (m_selection.length > 0) return deleteRange(m_selection);
    const qsizetype caret = m_selection.location;
    if (caret >= length()) return false;
    qsizetype lineEnd = text().indexOf(u'\n', caret);
    lineEnd = lineEnd < 0 ? length() : std::max(lineEnd, caret + 1);
    const GraphemeMap map(text().mid(caret, std::min(lineEnd - caret, qsizetype(256))));
    return deleteRange({caret, std::max<qsizetype>(1, map.toUtf16(1))});
}

bool TextViewModel::moveSelection(qsizetype to)
{
    const TextRange from = m_selection;
    if (from.length == 0 || (to > from.location && to < from.end())) return false;
    if (!shouldChangeText(from, QString())) return false;
    const AttributedText moved = selectedText();
    const qsizetype at = to >= from.end() ? to - from.length : to;
    if (m_undoManager) m_undoManager->beginGroup();
    replaceCharacters(from, AttributedText());
    replaceCharacters({at, 0}, moved);
    if (m_undoManager) m_undoManager->endGroup();
    setSelection({at, moved.length()});
    didChangeText();
    return true;
}

AttributedText TextViewModel::selectedText() const
{
    return m_storage.attributedSubstring(m_selection.location, m_selection.length);
}

void TextViewModel::undo()
{
    if (m_undoManager && m_editable) m_undoManager->undo();
}

void TextViewModel::redo()
{
    if (m_undoManager && m_editable) m_undoManager->redo();
}
