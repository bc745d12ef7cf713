#include "editor/text/TextStorage.h"

#include <QAbstractTextDocumentLayout>
#include <QElapsedTimer>
#include <QFontDatabase>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

#include "design/TarnwickTheme.h"
#include "editor/text/LongTextLayout.h"

void TextStorage::replace(qsizetype start, qsizetype length, const AttributedText& with)
{
    start = std::clamp<qsizetype>(start, 0, m_text.length());
    length = std::clamp<qsizetype>(length, 0, m_text.length() - start);
    m_text.replace(start, length, with);
    didReplace(start, length, with.length());
    Q_EMIT changed(start, length, with.length());
}

void TextStorage::extend(const AttributedText& longer)
{
    const qsizetype start = m_text.length();
    if (longer.length() <= start || !longer.startsWith(m_text)) return;
    m_text = longer;
    didReplace(start, 0, longer.length() - start);
    Q_EMIT changed(start, 0, longer.length() - start);
}

void TextStorage::modify(qsizetype start, qsizetype length, const std::function<void(TextAttributes&)>& change)
{
    start = std::clamp<qsizetype>(start, 0, m_text.length());
    length = std::clamp<qsizetype>(length, 0, m_text.length() - start);
    if (length == 0) return;
    m_text.modify(start, length, change);
    didModify(start, length);
    Q_EMIT changed(start, length, length);
}

void TextStorage::setAttributes(qsizetype start, const AttributedText& sameCharacters)
{
    const qsizetype length = sameCharacters.length();
    if (length == 0 || start < 0 || start + length > m_text.length()) return;
    if (QStringView(m_text.text()).mid(start, length) != sameCharacters.text()) return;
    m_text.replace(start, length, sameCharacters);
    didModify(start, length);
    Q_EMIT changed(start, length, length);
}

void TextStorage::setParagraphStyles(const std::vector<StyledRange>& ranges)
{
    std::vector<std::pair<qsizetype, qsizetype>> spans;
    std::vector<const StyledRange*> kept;
    spans.reserve(ranges.size());
    for (const StyledRange& range : ranges) {
        const qsizetype start = std::clamp<qsizetype>(range.start, 0, m_text.length());
        const qsizetype end = std::clamp<qsizetype>(range.start + range.length, start, m_text.length());
        if (end <= start || (!spans.empty() && start < spans.back().first + spans.back().second)) continue;
        spans.emplace_back(start, end - start);
        kept.push_back(&range);
    }
    if (spans.empty()) return;
    m_text.modifyRanges(spans, [&kept](TextAttributes& a, size_t i) { a.paragraphStyle = kept[i]->style; });
    const qsizetype from = spans.front().first;
    const qsizetype to = spans.back().first + spans.back().second;
    didModify(from, to - from);
    Q_EMIT changed(from, to - from, to - from);
}

AttributedText TextStorage::normalizedLineBreaks(const AttributedText& text)
{
    const QString& s = text.text();
    if (!s.contains(u'\r') && !s.contains(QChar::ParagraphSeparator)) return text;
    AttributedText result;
    qsizetype from = 0;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c != u'\r' && c != QChar::ParagraphSeparator) continue;
        result.append(text.mid(from, i - from));
        result.append(QStringLiteral("\n"), text.attributesAt(i));
        from = i + 1;
        if (c == u'\r' && i + 1 < s.size() && s[i + 1] == u'\n') from = ++i + 1;
    }
    result.append(text.mid(from, s.size() - from));
    return result;
}

namespace {

// Our own copies of what a QTextCharFormat cannot hold exactly (design sizes, which link form, the style
// number of a line), so that attributes come back from the document as they went in.
enum Property {
    fontFamily = QTextFormat::UserProperty + 1,
    fontSize,
    fontWeight,
    fontItalic,
    underlineStyle,
    strikeStyle,
    linkIsText,
    lineSpacing,
    firstIndent,
    headIndent,
    paragraphSpacing,
    hasParagraph,
    hasFont,
    linkLook,
    storedForeground,
};

}  // namespace

DocumentTextStorage::DocumentTextStorage(QObject* parent)
    : TextStorage(parent), m_document(new QTextDocument(this)), m_fillTimer(new QTimer(this))
{
    m_document->setUndoRedoEnabled(false);
    m_document->setDocumentMargin(0);
    // Layout work (an input method's composing text) also reports a change; only a change of the
    // characters counts.
    connect(m_document, &QTextDocument::contentsChanged, this, [this] {
        if (m_ownEdits == 0 && m_document->characterCount() - 1 != m_text.length() - m_pendingLength)
            ++m_foreignChanges;
    });
    m_fillTimer->setSingleShot(true);
    m_fillTimer->setInterval(0);
    connect(m_fillTimer, &QTimer::timeout, this, &DocumentTextStorage::fillNextSlice);
}

DocumentTextStorage::~DocumentTextStorage() = default;

QTextCharFormat DocumentTextStorage::charFormat(const TextAttributes& a)
{
    QTextCharFormat format;
    if (a.font) {
        format.setFont(a.font->toQFont(), QTextCharFormat::FontPropertiesSpecifiedOnly);
        format.setProperty(hasFont, true);
        format.setProperty(fontFamily, a.font->family);
        format.setProperty(fontSize, a.font->pointSize);
        format.setProperty(fontWeight, a.font->weight);
        format.setProperty(fontItalic, a.font->italic);
    }
    if (a.foreground) format.setForeground(*a.foreground);
    if (a.background) format.setBackground(*a.background);
    if (a.underline) {
        format.setFontUnderline(true);
        format.setProperty(underlineStyle, a.underline);
    }
    if (a.strikethrough) {
        format.setFontStrikeOut(true);
        format.setProperty(strikeStyle, a.strikethrough);
    }
    if (a.link) {
        // Links are drawn in the accent with a single underline; the stored ink and underline are
        // kept aside so the attributes read back as they went in.
        format.setProperty(linkLook, true);
        if (a.foreground) format.setProperty(storedForeground, *a.foreground);
        format.setForeground(TarnwickTheme::accent());
        format.setFontUnderline(true);
        format.setAnchor(true);
        if (const QUrl* url = std::get_if<QUrl>(&*a.link)) {
            format.setAnchorHref(url->toString());
        } else {
            format.setAnchorHref(std::get<QString>(*a.link));
            format.setProperty(linkIsText, true);
        }
    }
    if (a.paragraphStyle) {
        format.setProperty(hasParagraph, true);
        format.setProperty(lineSpacing, a.paragraphStyle->lineSpacing);
        format.setProperty(firstIndent, a.paragraphStyle->firstLineHeadIndent);
        format.setProperty(headIndent, a.paragraphStyle->headIndent);
        format.setProperty(paragraphSpacing, a.paragraphStyle->paragraphSpacing);
    }
    return format;
}

TextAttributes DocumentTextStorage::attributes(const QTextCharFormat& format)
{
    TextAttributes a;
    if (format.boolProperty(hasFont)) {
        a.font = TextFont{format.stringProperty(fontFamily), format.doubleProperty(fontSize),
                          format.intProperty(fontWeight), format.boolProperty(fontItalic)};
    } else if (format.hasProperty(QTextFormat::FontPointSize) || format.hasProperty(QTextFormat::FontFamilies)) {
        a.font = TextFont::fromQFont(format.font());
    }
    const bool looksLikeLink = format.boolProperty(linkLook);
    if (looksLikeLink) {
        if (format.hasProperty(storedForeground)) a.foreground = format.colorProperty(storedForeground);
    } else if (format.hasProperty(QTextFormat::ForegroundBrush)) {
        a.foreground = format.foreground().color();
    }
    if (format.hasProperty(QTextFormat::BackgroundBrush)) a.background = format.background().color();
    if (looksLikeLink)
        a.underline = format.hasProperty(underlineStyle) ? format.intProperty(underlineStyle) : 0;
    else if (format.fontUnderline())
        a.underline = format.hasProperty(underlineStyle) ? format.intProperty(underlineStyle) : 1;
    if (format.fontStrikeOut()) a.strikethrough = format.hasProperty(strikeStyle) ? format.intProperty(strikeStyle) : 1;
    if (format.isAnchor() && !format.anchorHref().isEmpty()) {
        if (format.boolProperty(linkIsText))
            a.link = format.anchorHref();
        else
            a.link = QUrl(format.anchorHref());
    }
    if (format.boolProperty(hasParagraph))
        a.paragraphStyle = ParagraphStyle{format.doubleProperty(lineSpacing), format.doubleProperty(firstIndent),
                                          format.doubleProperty(headIndent), format.doubleProperty(paragraphSpacing)};
    return a;
}

void DocumentTextStorage::insertIntoDocument(QTextCursor& cursor, const AttributedText& text)
{
    for (const AttributedText::Run& run : text.runs()) {
        const QTextCharFormat format = charFormat(run.attributes);
        const QStringView piece = QStringView(text.text()).mid(run.start, run.length);
        qsizetype from = 0;
        for (qsizetype i = piece.indexOf(u'\n'); i >= 0; i = piece.indexOf(u'\n', i + 1)) {
            if (i > from) cursor.insertText(piece.mid(from, i - from).toString(), format);
            // The separator's format is the new block's character format.
            cursor.insertBlock(QTextBlockFormat(), format);
            from = i + 1;
        }
        if (from < piece.size()) cursor.insertText(piece.mid(from).toString(), format);
    }
}

qsizetype DocumentTextStorage::sliceEnd(qsizetype from, qsizetype end) const
{
    if (end - from <= fillSlice) return end;
    // Slices end after a line break, so that paragraphs enter the document whole.
    const QString& text = m_text.text();
    const qsizetype cut = text.indexOf(u'\n', from + fillSlice);
    if (cut >= 0 && cut < end) return cut + 1;
    // One long line: never between the halves of a surrogate pair.
    qsizetype at = from + fillSlice;
    if (text[at - 1].isHighSurrogate()) --at;
    return at;
}

qsizetype DocumentTextStorage::toDocument(qsizetype position) const
{
    if (m_pendingLength <= 0 || position < m_pendingFrom) return position;
    return position < m_pendingFrom + m_pendingLength ? m_pendingFrom : position - m_pendingLength;
}

qsizetype DocumentTextStorage::toText(qsizetype position) const
{
    if (m_pendingLength <= 0 || position < m_pendingFrom || (m_heldBack && position == m_pendingFrom)) return position;
    return position + m_pendingLength;
}

qreal DocumentTextStorage::shownHeight() const
{
    // Without a view the document has no page size and no layout: nothing to measure.
    if (m_document->pageSize().isNull()) return 0;
    return m_document->documentLayout()->blockBoundingRect(m_document->lastBlock()).bottom();
}

void DocumentTextStorage::didReplace(qsizetype start, qsizetype removed, qsizetype added)
{
    if (m_text.length() > longText && !qobject_cast<LongTextLayout*>(m_document->documentLayout()))
        m_document->setDocumentLayout(new LongTextLayout(m_document));
    ++m_ownEdits;
    QTextCursor cursor(m_document);
    cursor.beginEditBlock();
    const qsizetype end = start + removed;
    const qsizetype delta = added - removed;
    auto replaceInDocument = [&](qsizetype at, qsizetype length) {
        cursor.setPosition(int(at));
        cursor.setPosition(int(at + length), QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
        insertIntoDocument(cursor, m_text.mid(start, added));
        applyBlockFormats(at, at + added);
    };
    qsizetype documentEnd = end;
    if (m_pendingLength > 0 && start <= m_pendingFrom && end >= m_pendingFrom + m_pendingLength) {
        // Replaces all that was held back (a load, or everything selected and deleted).
        documentEnd = toDocument(end);
        m_pendingLength = 0;
        m_heldBack = false;
    }
    if (m_pendingLength > 0) {
        // Filling, or held back: the document shows the text around a stretch it does not hold (yet).
        // A short edit of what it shows lands there at once, without waiting for the stretch; any other
        // joins the stretch, which then runs from the nearer of the two starts to the farther end.
        const qsizetype hiddenEnd = m_pendingFrom + m_pendingLength;
        if (end <= m_pendingFrom && added <= fillSlice) {
            m_pendingFrom += delta;
            replaceInDocument(start, removed);
        } else if (start >= hiddenEnd && added <= fillSlice) {
            showLineAfterStretch(start);
            replaceInDocument(start - m_pendingLength, removed);
        } else {
            // Everything the joined stretch covers leaves the document, the shown text between the edit
            // and the old stretch too, or it would enter a second time.
            const qsizetype from = std::min(m_pendingFrom, start);
            const qsizetype to = std::max(hiddenEnd, end);
            cursor.setPosition(int(from < m_pendingFrom ? from : m_pendingFrom));
            cursor.setPosition(int(to > hiddenEnd ? to - m_pendingLength : m_pendingFrom), QTextCursor::KeepAnchor);
            cursor.removeSelectedText();
            m_pendingLength = to + delta - from;
            m_pendingFrom = from;
            applyBlockFormats(from, from);
            if (!m_heldBack) m_fillTimer->start();
        }
        if (m_pendingLength <= 0) {
            m_pendingLength = 0;
            m_heldBack = false;
        }
        cursor.endEditBlock();
        --m_ownEdits;
        return;
    }
    cursor.setPosition(int(start));
    cursor.setPosition(int(documentEnd), QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    qsizetype now = added;
    if (added > fillAtOnce || (added > fillSlice && shownHeight() > m_maxShownHeight / 2)) {
        // A long text enters the document a slice at a time on later turns of the event loop, so the
        // application keeps answering; the storage (and whoever reads it) has all of it already.
        now = sliceEnd(start, start + added) - start;
        m_pendingFrom = start + now;
        m_pendingLength = added - now;
        m_fillTimer->start();
    }
    insertIntoDocument(cursor, m_text.mid(start, now));
    applyBlockFormats(start, start + now);
    cursor.endEditBlock();
    --m_ownEdits;
}

bool DocumentTextStorage::insertNextSlice()
{
    if (!isFilling()) return false;
    if (shownHeight() > m_maxShownHeight) {
        // Qt lays out no document much taller than 2^23 pixels (it stops answering): the rest stays in
        // the storage, whole, and out of the document.
        holdBack();
        return false;
    }
    ++m_ownEdits;
    const qsizetype from = m_pendingFrom;
    const qsizetype end = sliceEnd(from, from + m_pendingLength);
    QTextCursor cursor(m_document);
    cursor.beginEditBlock();
    cursor.setPosition(int(from));
    m_pendingFrom = end;
    m_pendingLength -= end - from;
    insertIntoDocument(cursor, m_text.mid(from, end - from));
    // The paragraph after the slice may now start inside it.
    applyBlockFormats(from, end);
    cursor.endEditBlock();
    --m_ownEdits;
    return true;
}

void DocumentTextStorage::showLineAfterStretch(qsizetype position)
{
    // Text shown after the stretch (typed at the end while the rest fills) is shown with the start of
    // its line, so every character stands beside the ones it is stored beside; the line break that
    // begins that line makes the gap where the stretch enters (or stays out). A line longer than a
    // slice shows its last slice.
    const qsizetype hiddenEnd = m_pendingFrom + m_pendingLength;
    if (m_pendingLength <= 0 || position < hiddenEnd) return;
    const QString& text = m_text.text();
    qsizetype lineStart = text.lastIndexOf(u'\n', position - 1);
    if (lineStart >= hiddenEnd) return;
    if (lineStart < m_pendingFrom || hiddenEnd - lineStart > fillSlice) {
        lineStart = std::max(m_pendingFrom, hiddenEnd - fillSlice);
        if (lineStart > 0 && text[lineStart - 1].isHighSurrogate() && lineStart < hiddenEnd) ++lineStart;
    }
    if (lineStart >= hiddenEnd) return;
    ++m_ownEdits;
    QTextCursor cursor(m_document);
    cursor.beginEditBlock();
    cursor.setPosition(int(m_pendingFrom));
    m_pendingLength = lineStart - m_pendingFrom;
    insertIntoDocument(cursor, m_text.mid(lineStart, hiddenEnd - lineStart));
    applyBlockFormats(m_pendingFrom, m_pendingFrom + hiddenEnd - lineStart);
    cursor.endEditBlock();
    --m_ownEdits;
}

void DocumentTextStorage::holdBack()
{
    m_heldBack = true;
    if (m_pendingFrom + m_pendingLength < m_text.length()) showLineAfterStretch(m_pendingFrom + m_pendingLength);
    // The shown text ends with its last whole line: the line break after it is held back with the rest,
    // so the end shown is that line's end and what is typed there is stored there, not on the first
    // line held back.
    const QString& text = m_text.text();
    const qsizetype hiddenEnd = m_pendingFrom + m_pendingLength;
    if (m_pendingFrom <= 0 || m_pendingLength <= 0 || text[m_pendingFrom - 1] != u'\n') return;
    if (hiddenEnd < text.size() && text[hiddenEnd] != u'\n') return;
    ++m_ownEdits;
    QTextCursor cursor(m_document);
    cursor.beginEditBlock();
    cursor.setPosition(int(m_pendingFrom - 1));
    cursor.setPosition(int(m_pendingFrom), QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    --m_pendingFrom;
    ++m_pendingLength;
    applyBlockFormats(m_pendingFrom, m_pendingFrom);
    cursor.endEditBlock();
    --m_ownEdits;
}

bool DocumentTextStorage::isHidden(qsizetype position) const
{
    // The held-back stretch's own start is shown (the end of the line before it); its end is not: the
    // document shows that place at the stretch's start.
    return m_heldBack && position > m_pendingFrom && position <= m_pendingFrom + m_pendingLength;
}

void DocumentTextStorage::show(qsizetype position)
{
    if (!isHidden(position)) return;
    // The held-back stretch moves before the line holding `position`: the document shows that line and
    // the rest after it, and gives up as many characters of its own, whole lines before the old
    // stretch, so it grows no taller. The first line (a title) always stays.
    const QString& text = m_text.text();
    const qsizetype oldFrom = m_pendingFrom;
    const qsizetype hiddenEnd = m_pendingFrom + m_pendingLength;
    qsizetype lineStart = std::max(oldFrom, text.lastIndexOf(u'\n', position - 1));
    if (position - lineStart > fillSlice) {
        lineStart = position - fillSlice;
        if (text[lineStart].isLowSurrogate()) --lineStart;
    }
    // A line a little past the stretch's start is shown by letting the document grow by the lines up
    // to it, once and by an eighth at most.
    const qsizetype lineEnd = text.indexOf(u'\n', position) < 0 ? text.size() : text.indexOf(u'\n', position);
    if (lineEnd - oldFrom <= m_document->characterCount() / 8 && shownHeight() <= m_maxShownHeight) {
        ++m_ownEdits;
        QTextCursor cursor(m_document);
        cursor.beginEditBlock();
        cursor.setPosition(int(oldFrom));
        const qsizetype to = std::min(lineEnd, hiddenEnd);
        insertIntoDocument(cursor, m_text.mid(oldFrom, to - oldFrom));
        applyBlockFormats(oldFrom, to);
        m_pendingFrom = to;
        m_pendingLength = hiddenEnd - to;
        if (m_pendingLength == 0) m_heldBack = false;
        cursor.endEditBlock();
        --m_ownEdits;
        Q_EMIT documentGrew();
        return;
    }
    const qsizetype gained = hiddenEnd - lineStart;
    const qsizetype firstBreak = text.indexOf(u'\n');
    const qsizetype from = oldFrom - gained > firstBreak ? text.lastIndexOf(u'\n', oldFrom - gained) : -1;
    if (from <= firstBreak || from < 0) return;
    ++m_ownEdits;
    QTextCursor cursor(m_document);
    cursor.beginEditBlock();
    cursor.setPosition(int(from));
    cursor.setPosition(int(oldFrom), QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    m_pendingFrom = from;
    m_pendingLength = lineStart - from;
    insertIntoDocument(cursor, m_text.mid(lineStart, gained));
    applyBlockFormats(from, from + gained);
    cursor.endEditBlock();
    --m_ownEdits;
    Q_EMIT documentGrew();
}

void DocumentTextStorage::fillNextSlice()
{
    if (!isFilling()) return;
    // Slices of a few hundred paragraphs enter until this turn has had its share: a quick machine
    // fills in few turns, a slow or busy one keeps every turn short.
    QElapsedTimer turn;
    turn.start();
    do {
        insertNextSlice();
    } while (isFilling() && turn.elapsed() < fillTurnMilliseconds);
    Q_EMIT documentGrew();
    if (isFilling()) {
        m_fillTimer->start();
    } else {
        m_fillTimer->stop();
        Q_EMIT filled();
    }
}

void DocumentTextStorage::finishFilling()
{
    if (!isFilling()) return;
    m_fillTimer->stop();
    while (insertNextSlice()) {
    }
    Q_EMIT documentGrew();
    Q_EMIT filled();
}

void DocumentTextStorage::didModify(qsizetype start, qsizetype length)
{
    // Characters still waiting to enter the document take their attributes when they do.
    const qsizetype end = start + length;
    if (m_pendingLength <= 0) {
        restyleDocument(start, end, 0);
        return;
    }
    const qsizetype pendingEnd = m_pendingFrom + m_pendingLength;
    if (start < m_pendingFrom) restyleDocument(start, std::min(end, m_pendingFrom), 0);
    if (end > pendingEnd) restyleDocument(std::max(start, pendingEnd), end, m_pendingLength);
}

void DocumentTextStorage::restyleDocument(qsizetype start, qsizetype end, qsizetype shift)
{
    const qsizetype length = end - start;
    if (length <= 0) return;
    ++m_ownEdits;
    QTextCursor cursor(m_document);
    cursor.beginEditBlock();
    const AttributedText piece = m_text.mid(start, length);
    const qsizetype at = start - shift;
    for (const AttributedText::Run& run : piece.runs()) {
        const QTextCharFormat format = charFormat(run.attributes);
        const QString& s = piece.text();
        // A separator's format lives in the block after it; setCharFormat over it sets that too.
        cursor.setPosition(int(at + run.start));
        cursor.setPosition(int(at + run.start + run.length), QTextCursor::KeepAnchor);
        cursor.setCharFormat(format);
        for (qsizetype i = s.indexOf(u'\n', run.start); i >= 0 && i < run.start + run.length;
             i = s.indexOf(u'\n', i + 1)) {
            QTextBlock next = m_document->findBlock(int(at + i + 1));
            if (next.isValid()) {
                QTextCursor c(next);
                c.setBlockCharFormat(format);
            }
        }
    }
    applyBlockFormats(at, at + length);
    cursor.endEditBlock();
    --m_ownEdits;
}

void DocumentTextStorage::applyBlockFormats(qsizetype from, qsizetype to)
{
    // One document edit, and one block format for each stretch of neighbouring paragraphs that need the
    // same: the layout hears of the change once instead of relaying out after every paragraph.
    QTextCursor cursor(m_document);
    cursor.beginEditBlock();
    QTextBlock first;
    QTextBlock last;
    QTextBlockFormat pending;
    auto flush = [&] {
        if (!first.isValid()) return;
        cursor.setPosition(first.position());
        cursor.setPosition(last.position(), QTextCursor::KeepAnchor);
        cursor.setBlockFormat(pending);
        first = last = QTextBlock();
    };
    std::optional<ParagraphStyle> previousStyle;
    QTextBlockFormat format;
    bool haveFormat = false;
    for (QTextBlock block = m_document->findBlock(int(from)); block.isValid() && block.position() <= to;
         block = block.next()) {
        const qsizetype position =
            block.position() < m_pendingFrom ? block.position() : block.position() + m_pendingLength;
        // An empty last paragraph takes the style of the text before it.
        const qsizetype at = position < m_text.length() ? position : position - 1;
        const std::optional<ParagraphStyle> style = at >= 0 ? m_text.attributesAt(at).paragraphStyle : std::nullopt;
        if (!haveFormat || style != previousStyle) {
            format = QTextBlockFormat();
            if (style) {
                format.setLineHeight(style->lineSpacing, QTextBlockFormat::LineDistanceHeight);
                format.setLeftMargin(style->headIndent);
                format.setTextIndent(style->firstLineHeadIndent - style->headIndent);
                format.setBottomMargin(style->paragraphSpacing);
            }
            previousStyle = style;
            haveFormat = true;
        }
        if (block.blockFormat() == format) {
            flush();
            continue;
        }
        if (first.isValid() && format == pending) {
            last = block;
            continue;
        }
        flush();
        first = last = block;
        pending = format;
    }
    flush();
    cursor.endEditBlock();
}

AttributedText DocumentTextStorage::readDocument() const
{
    const_cast<DocumentTextStorage*>(this)->finishFilling();
    AttributedText result;
    for (QTextBlock block = m_document->begin(); block.isValid(); block = block.next()) {
        if (block != m_document->begin()) result.append(QStringLiteral("\n"), attributes(block.charFormat()));
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            result.append(fragment.text(), attributes(fragment.charFormat()));
        }
    }
    return result;
}
