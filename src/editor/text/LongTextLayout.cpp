#include "editor/text/LongTextLayout.h"

#include <QElapsedTimer>
#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextLayout>
#include <QTextList>

#include <algorithm>
#include <cmath>

namespace {

// Qt's own layout counts in 1/64 of a pixel, truncating: so do we, so that a paragraph sits where it would.
qreal fixed(qreal value)
{
    return std::trunc(value * 64) / 64;
}

Qt::Alignment visualAlignment(Qt::LayoutDirection direction, Qt::Alignment alignment)
{
    if (!(alignment & Qt::AlignHorizontal_Mask)) alignment |= Qt::AlignLeft;
    if (!(alignment & Qt::AlignAbsolute) && (alignment & (Qt::AlignLeft | Qt::AlignRight)) &&
        direction == Qt::RightToLeft)
        alignment ^= (Qt::AlignLeft | Qt::AlignRight);
    return alignment;
}

// A document's layout is asked for the same paragraph's place many times in a row (a paint, then the
// caret's rectangle): the block is found by number once.
QTextBlock blockByNumber(const QTextDocument* document, int index, const QTextBlock& hint)
{
    if (hint.isValid() && hint.blockNumber() == index) return hint;
    return document->findBlockByNumber(index);
}

}  // namespace

LongTextLayout::LongTextLayout(QTextDocument* document) : QAbstractTextDocumentLayout(document)
{
    m_settleTimer.setSingleShot(true);
    m_settleTimer.setInterval(0);
    connect(&m_settleTimer, &QTimer::timeout, this, &LongTextLayout::settleSome);
}

LongTextLayout::~LongTextLayout() = default;

void LongTextLayout::setCursorWidth(int width)
{
    m_cursorWidth = width;
}

int LongTextLayout::pageCount() const
{
    return 1;
}

bool LongTextLayout::isSettled() const
{
    return m_firstEstimated >= int(m_rows.size());
}

// ---- Geometry of the root frame and of one paragraph ----

LongTextLayout::Frame LongTextLayout::frame() const
{
    const QTextFrameFormat format = document()->rootFrame()->frameFormat();
    const qreal border = format.border();
    const qreal padding = format.padding();
    Frame f;
    f.left = fixed(format.leftMargin() + border + padding);
    f.right = fixed(format.rightMargin() + border + padding);
    f.top = fixed(format.topMargin() + border + padding);
    f.bottom = fixed(format.bottomMargin() + border + padding);
    return f;
}

qreal LongTextLayout::contentWidth() const
{
    const qreal page = document()->pageSize().width();
    const Frame f = frame();
    // Without a page width nothing wraps: lines are as long as their text.
    return page > 0 ? std::max<qreal>(0, fixed(page) - f.left - f.right) : 1e9;
}

LongTextLayout::Row LongTextLayout::layoutBlock(const QTextBlock& block) const
{
    const QTextBlockFormat format = block.blockFormat();
    const qreal scale = paintDevice() ? qreal(paintDevice()->logicalDpiY()) / 96 : 1;
    Row row;
    row.exact = true;
    row.topMargin = format.topMargin() * scale;
    row.bottomMargin = format.bottomMargin() * scale;
    QTextLayout* layout = block.layout();
    if (!block.isVisible()) {
        layout->clearLayout();
        return row;
    }

    const Qt::LayoutDirection direction = block.textDirection();
    QTextOption option = document()->defaultTextOption();
    option.setTextDirection(direction);
    option.setTabs(format.tabPositions());
    Qt::Alignment alignment = option.alignment();
    if (format.hasProperty(QTextFormat::BlockAlignment)) alignment = format.alignment();
    option.setAlignment(visualAlignment(direction, alignment));
    if (format.nonBreakableLines() || document()->pageSize().width() < 0) option.setWrapMode(QTextOption::ManualWrap);
    layout->setTextOption(option);
    const bool wrapsAnywhereToo = option.wrapMode() == QTextOption::WrapAtWordBoundaryOrAnywhere;

    qreal indentLevels = format.indent();
    if (const QTextList* list = block.textList()) indentLevels += list->format().indent();
    const qreal indent = fixed(indentLevels * document()->indentWidth() * scale);
    const bool rightToLeft = direction == Qt::RightToLeft;
    const qreal left = fixed(format.leftMargin()) + (rightToLeft ? 0 : indent);
    const qreal right = contentWidth() - fixed(format.rightMargin()) - (rightToLeft ? indent : 0);
    const qreal lineScale =
        paintDevice() && paintDevice()->logicalDpiY() != 96 ? qreal(paintDevice()->logicalDpiY()) / 96 : 1;

    qreal y = 0;
    qreal bottom = 0;
    bool firstLine = true;
    layout->beginLayout();
    for (QTextLine line = layout->createLine(); line.isValid(); line = layout->createLine()) {
        line.setLeadingIncluded(true);
        qreal lineLeft = left;
        qreal lineRight = right;
        if (firstLine) {
            const qreal textIndent = fixed(format.textIndent());
            if (rightToLeft)
                lineRight -= textIndent;
            else
                lineLeft += textIndent;
            firstLine = false;
        }
        const qreal width = lineRight - lineLeft;
        line.setLineWidth(width);
        if (fixed(line.naturalTextWidth()) > width) {
            // Wider than the line even when broken anywhere (one glyph wider than the column): the line
            // keeps it whole.
            if (wrapsAnywhereToo) {
                option.setWrapMode(QTextOption::WrapAnywhere);
                layout->setTextOption(option);
            }
            line.setLineWidth(width);
            if (fixed(line.naturalTextWidth()) > width) line.setLineWidth(std::max(line.naturalTextWidth(), width));
            if (wrapsAnywhereToo) {
                option.setWrapMode(QTextOption::WordWrap);
                layout->setTextOption(option);
            }
        }

        const qreal rawHeight = std::ceil(line.ascent() + line.descent() + line.leading());
        const qreal lineHeight = fixed(format.lineHeight(rawHeight, lineScale));
        const qreal lineBottom = fixed(format.lineHeight(line.height(), lineScale));
        qreal adjustment = 0;
        if (format.lineHeightType() == QTextBlockFormat::FixedHeight)
            adjustment = fixed(line.ascent() + std::max<qreal>(line.leading(), 0)) - fixed(lineHeight * 4 / 5);
        else if (format.lineHeightType() == QTextBlockFormat::MinimumHeight)
            adjustment = fixed(line.height()) - lineHeight;
        line.setPosition(QPointF(lineLeft, y - adjustment));
        bottom = y + lineBottom;
        y += lineHeight;
    }
    layout->endLayout();
    row.height = std::max(y, bottom);
    return row;
}

LongTextLayout::Row LongTextLayout::estimate(const QTextBlock& block, qreal previousHeight) const
{
    const QTextBlockFormat format = block.blockFormat();
    Row row;
    row.topMargin = format.topMargin();
    row.bottomMargin = format.bottomMargin();
    if (!block.isVisible()) return row;
    if (previousHeight > 0) {
        row.height = previousHeight;
        return row;
    }
    const QFontMetricsF metrics(document()->defaultFont());
    const qreal lineHeight = format.lineHeight(std::ceil(metrics.ascent() + metrics.descent() + metrics.leading()), 1);
    const qreal width = std::max<qreal>(1, contentWidth() - format.leftMargin() - format.rightMargin());
    const qreal lines = std::max<qreal>(1, std::ceil(block.length() * metrics.averageCharWidth() / width));
    row.height = fixed(lines * lineHeight);
    return row;
}

// ---- Heights and tops ----

bool LongTextLayout::ensureExact(int index, const QTextBlock& block) const
{
    Row& row = m_rows[std::size_t(index)];
    if (row.exact) return false;
    const Row exact = layoutBlock(block);
    const bool changed =
        exact.height != row.height || exact.topMargin != row.topMargin || exact.bottomMargin != row.bottomMargin;
    row = exact;
    if (changed) markChanged(index + 1);
    return changed;
}

void LongTextLayout::markChanged(int index) const
{
    m_topsValid = std::min(m_topsValid, std::max(0, index));
    if (!m_sizeReportPending) {
        m_sizeReportPending = true;
        QMetaObject::invokeMethod(
            const_cast<LongTextLayout*>(this), [this] { reportSize(); }, Qt::QueuedConnection);
    }
}

void LongTextLayout::updateTops() const
{
    const int count = int(m_rows.size());
    if (m_topsValid > count) return;
    m_tops.resize(std::size_t(count) + 1);
    int i = m_topsValid;
    if (i == 0) {
        m_tops[0] = frame().top;
        i = 1;
    }
    for (; i < count; ++i) {
        const Row& above = m_rows[std::size_t(i) - 1];
        m_tops[std::size_t(i)] = m_tops[std::size_t(i) - 1] + above.height +
                                 fixed(std::max(m_rows[std::size_t(i)].topMargin, above.bottomMargin));
    }
    if (count > 0) {
        const Row& last = m_rows.back();
        m_tops[std::size_t(count)] = m_tops[std::size_t(count) - 1] + last.height + fixed(last.bottomMargin);
    }
    m_topsValid = count + 1;
}

qreal LongTextLayout::topOf(int index) const
{
    updateTops();
    return m_tops[std::size_t(std::clamp(index, 0, int(m_rows.size())))];
}

int LongTextLayout::indexAt(qreal y) const
{
    updateTops();
    const auto end = m_tops.begin() + qsizetype(m_rows.size());
    const auto at = std::upper_bound(m_tops.begin(), end, y);
    return std::clamp(int(at - m_tops.begin()) - 1, 0, std::max(0, int(m_rows.size()) - 1));
}

QTextBlock LongTextLayout::placedBlock(int index, const QTextBlock& hint) const
{
    const QTextBlock block = blockByNumber(document(), index, hint);
    if (!block.isValid() || index >= int(m_rows.size())) return QTextBlock();
    ensureExact(index, block);
    block.layout()->setPosition(QPointF(frame().left, topOf(index)));
    return block;
}

QSizeF LongTextLayout::documentSize() const
{
    if (m_rows.empty()) return QSizeF();
    const Frame f = frame();
    const qreal page = document()->pageSize().width();
    const qreal height = topOf(int(m_rows.size())) + f.bottom;
    return QSizeF(page > 0 ? page : f.left + f.right, height);
}

void LongTextLayout::reportSize() const
{
    m_sizeReportPending = false;
    const QSizeF size = documentSize();
    if (size == m_reportedSize) return;
    m_reportedSize = size;
    auto* self = const_cast<LongTextLayout*>(this);
    Q_EMIT self->documentSizeChanged(size);
    Q_EMIT self->update(QRectF(0, 0, 1e9, 1e9));
}

// ---- Changes ----

void LongTextLayout::documentChanged(int from, int charsRemoved, int charsAdded)
{
    QTextDocument* doc = document();
    const int count = doc->blockCount();
    const qreal width = doc->pageSize().width();
    const bool whole = from == 0 && charsAdded >= doc->characterCount();
    if (m_rows.empty() || width != m_width || whole) {
        // A new width, font or text for every paragraph: what they measured before is the best guess
        // until each is laid out again.
        const bool keepHeights = int(m_rows.size()) == count && !m_rows.empty();
        m_width = width;
        relayoutAll(keepHeights);
        return;
    }
    Q_UNUSED(charsRemoved);
    QTextBlock first = doc->findBlock(from);
    if (!first.isValid()) first = doc->lastBlock();
    QTextBlock last = doc->findBlock(std::min(from + charsAdded, doc->characterCount() - 1));
    if (!last.isValid()) last = doc->lastBlock();
    const int firstIndex = first.blockNumber();
    const int lastNew = last.blockNumber();
    // Paragraphs before the change keep their numbers, those after it shift by the change in count:
    // the paragraph that ends the change now ended it before too.
    const int lastOld = lastNew - (count - int(m_rows.size()));
    if (lastOld < firstIndex - 1 || lastOld >= int(m_rows.size())) {
        relayoutAll(false);
        return;
    }
    std::vector<Row> fresh;
    fresh.reserve(std::size_t(lastNew - firstIndex) + 1);
    QElapsedTimer clock;
    clock.start();
    int exact = 0;
    for (QTextBlock block = first;; block = block.next()) {
        // A change of many paragraphs lays out what fits in a turn; the rest is estimated and settles later.
        const bool inTime =
            exact == int(fresh.size()) && (exact % 16 != 15 || clock.elapsed() < settleTurnMilliseconds);
        fresh.push_back(inTime ? layoutBlock(block) : estimate(block, 0));
        if (inTime) ++exact;
        if (block == last) break;
    }
    const int delta = count - int(m_rows.size());
    m_rows.erase(m_rows.begin() + firstIndex, m_rows.begin() + lastOld + 1);
    m_rows.insert(m_rows.begin() + firstIndex, fresh.begin(), fresh.end());
    // No paragraph above m_firstEstimated is estimated: it moves with the paragraphs after the change.
    if (m_firstEstimated > lastOld)
        m_firstEstimated += delta;
    else if (m_firstEstimated >= firstIndex)
        m_firstEstimated = firstIndex + int(fresh.size());
    if (exact < int(fresh.size())) m_firstEstimated = std::min(m_firstEstimated, firstIndex + exact);
    markChanged(firstIndex);
    Q_EMIT update(QRectF(0, topOf(firstIndex), 1e9, 1e9));
    if (!isSettled()) m_settleTimer.start();
}

void LongTextLayout::relayoutAll(bool keepHeights)
{
    QTextDocument* doc = document();
    const int count = doc->blockCount();
    std::vector<Row> rows;
    rows.reserve(std::size_t(count));
    int i = 0;
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next(), ++i)
        rows.push_back(estimate(block, keepHeights && i < int(m_rows.size()) ? m_rows[std::size_t(i)].height : 0));
    m_rows = std::move(rows);
    m_firstEstimated = 0;
    m_topsValid = 0;
    markChanged(0);
    // Nothing is laid out in this turn: several of these changes often come together (a new font, frame
    // and width for a view just made), and what is painted or asked for is laid out on demand.
    m_settleTimer.start();
    Q_EMIT update(QRectF(0, 0, 1e9, 1e9));
}

void LongTextLayout::settleSome()
{
    settleFor(settleTurnMilliseconds);
}

void LongTextLayout::settle()
{
    settleFor(-1);
    reportSize();
}

void LongTextLayout::settleFor(qint64 milliseconds)
{
    QElapsedTimer clock;
    clock.start();
    const int count = int(m_rows.size());
    int i = m_firstEstimated;
    for (QTextBlock block = document()->findBlockByNumber(i); i < count && block.isValid(); block = block.next()) {
        ensureExact(i++, block);
        if (milliseconds >= 0 && i % 16 == 0 && clock.elapsed() >= milliseconds) break;
    }
    m_firstEstimated = i;
    if (isSettled())
        m_settleTimer.stop();
    else
        m_settleTimer.start();
}

// ---- Questions ----

QRectF LongTextLayout::blockBoundingRect(const QTextBlock& block) const
{
    if (document()->pageSize().isNull() || !block.isValid() || !block.isVisible()) return QRectF();
    const QTextBlock placed = placedBlock(block.blockNumber(), block);
    if (!placed.isValid()) return QRectF();
    const QTextLayout* layout = placed.layout();
    QRectF rect = layout->boundingRect();
    rect.moveTopLeft(layout->position());
    return rect;
}

QRectF LongTextLayout::frameBoundingRect(QTextFrame* frame) const
{
    if (frame != document()->rootFrame()) return QRectF();
    return QRectF(QPointF(0, 0), documentSize());
}

int LongTextLayout::hitTest(const QPointF& point, Qt::HitTestAccuracy accuracy) const
{
    if (m_rows.empty()) return -1;
    const int lastPosition = document()->characterCount() - 1;
    if (point.y() < topOf(0)) return accuracy == Qt::ExactHit ? -1 : 0;
    int index = indexAt(point.y());
    // A point on the line between two paragraphs belongs to the upper one when nothing lies between them.
    if (index > 0 && point.y() == topOf(index)) {
        const QTextBlock above = placedBlock(index - 1);
        if (above.isValid() &&
            above.layout()->boundingRect().translated(above.layout()->position()).bottom() >= point.y())
            --index;
    }
    const QTextBlock block = placedBlock(index);
    if (!block.isValid()) return accuracy == Qt::ExactHit ? -1 : lastPosition;
    const QTextLayout* layout = block.layout();
    QRectF box = layout->boundingRect();
    box.translate(layout->position());
    if (point.y() > box.bottom()) {
        // Below the paragraph's lines, in its margin or below the text.
        if (accuracy == Qt::ExactHit) return -1;
        return std::min(block.position() + block.length(), lastPosition);
    }
    const QPointF at = point - layout->position();
    bool exact = false;
    int offset = 0;
    for (int i = 0; i < layout->lineCount(); ++i) {
        const QTextLine line = layout->lineAt(i);
        const QRectF rect = line.naturalTextRect();
        if (rect.top() > at.y()) {
            offset = std::min(offset, line.textStart());
        } else if (rect.bottom() <= at.y()) {
            offset = std::max(offset, line.textStart() + line.textLength());
        } else {
            exact = rect.left() <= at.x() && rect.right() >= at.x();
            offset = line.xToCursor(
                at.x(), accuracy == Qt::ExactHit ? QTextLine::CursorOnCharacter : QTextLine::CursorBetweenCharacters);
            break;
        }
    }
    if (accuracy == Qt::ExactHit && !exact) return -1;
    int position = block.position() + offset;
    int end = lastPosition;
    if (!layout->preeditAreaText().isEmpty() && layout->preeditAreaPosition() + block.position() <= position)
        end += int(layout->preeditAreaText().length());
    return std::clamp(position, 0, end);
}

// ---- Painting ----

void LongTextLayout::draw(QPainter* painter, const PaintContext& context)
{
    if (m_rows.empty()) return;
    QTextDocument* doc = document();
    const Frame f = frame();
    const QBrush background = doc->rootFrame()->frameFormat().background();
    if (background.style() != Qt::NoBrush && context.clip.isValid()) painter->fillRect(context.clip, background);

    const int count = int(m_rows.size());
    int index = context.clip.isValid() ? indexAt(context.clip.top()) : 0;
    QTextBlock block = doc->findBlockByNumber(index);
    qreal top = topOf(index);
    for (; block.isValid() && index < count; block = block.next(), ++index) {
        if (context.clip.isValid() && top > context.clip.bottom()) break;
        ensureExact(index, block);
        QTextLayout* layout = block.layout();
        layout->setPosition(QPointF(f.left, top));
        // The tops of the paragraphs below are summed here as each is laid out.
        if (index + 1 < count) {
            const Row& row = m_rows[std::size_t(index)];
            top += row.height + fixed(std::max(m_rows[std::size_t(index) + 1].topMargin, row.bottomMargin));
        }
        if (!block.isVisible()) continue;
        QRectF box = layout->boundingRect();
        box.translate(layout->position());
        if (context.clip.isValid() && box.bottom() < context.clip.top()) continue;

        const QTextBlockFormat format = block.blockFormat();
        if (format.background().style() != Qt::NoBrush) painter->fillRect(box, format.background());

        const int start = block.position();
        const int length = block.length();
        QList<QTextLayout::FormatRange> selections;
        for (const Selection& range : context.selections) {
            const int from = range.cursor.selectionStart() - start;
            const int to = range.cursor.selectionEnd() - start;
            if (from < length && to > 0 && to > from) {
                selections.append({from, to - from, range.format});
            } else if (!range.cursor.hasSelection() && range.format.hasProperty(QTextFormat::FullWidthSelection) &&
                       block.contains(range.cursor.position())) {
                // A whole-line mark needs only a position to say which line.
                const QTextLine line = layout->lineForTextPosition(range.cursor.position() - start);
                QTextLayout::FormatRange whole{line.textStart(), line.textLength(), range.format};
                if (whole.start + whole.length == length - 1) ++whole.length;
                selections.append(whole);
            }
        }
        const QPen pen = painter->pen();
        painter->setPen(context.palette.color(QPalette::Text));
        layout->draw(painter, QPointF(), selections, context.clip.isValid() ? context.clip : QRectF());
        int caret = context.cursorPosition;
        const bool composing = caret < -1 && !layout->preeditAreaText().isEmpty();
        if ((caret >= start && caret < start + length) || composing) {
            caret = composing ? layout->preeditAreaPosition() - (caret + 2) : caret - start;
            layout->drawCursor(painter, QPointF(), caret, m_cursorWidth);
        }
        painter->setPen(pen);
    }
}
