#include "editor/text/TextBlockController.h"

#include "editor/text/LinkDetector.h"

#include <QClipboard>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <cmath>

#include "design/TarnwickType.h"
#include "model/Note.h"
#include "model/NoteDocument.h"
#include "model/NoteNotifications.h"
#include "model/TextRunsCodec.h"
#include "model/text/GraphemeMap.h"
#include "model/text/RichTextBridge.h"
#include "platform/Clock.h"
#include "platform/NotificationCenter.h"
#include "platform/UndoManager.h"

namespace {

using MAF = MarkdownAutoFormat;

qsizetype lineEndAt(const QString& text, qsizetype position)
{
    const qsizetype e = text.indexOf(u'\n', position);
    return e < 0 ? text.size() : e;
}

qsizetype lineStartAt(const QString& text, qsizetype position)
{
    return position <= 0 ? 0 : text.lastIndexOf(u'\n', position - 1) + 1;
}

// Counting clusters only matters for one or two characters; anything longer counts as "several".
qsizetype roughCharacterCount(const QString& s)
{
    return s.size() > 8 ? s.size() : GraphemeMap(s).count();
}

}  // namespace

TextBlockController::TextBlockController(const QUuid& id, BlockHost* host, bool isTitleBlock,
                                         const ResolvedNoteTheme& theme, NoteStyle noteStyle, TextStorage& storage,
                                         QObject* parent)
    : QObject(parent),
      m_id(id),
      m_host(host),
      m_hostGuard(dynamic_cast<QObject*>(host)),
      m_isTitleBlock(isTitleBlock),
      m_theme(theme),
      m_noteStyle(noteStyle),
      m_model(storage, this),
      m_spelling(storage, this)
{
    m_model.setDelegate(this);
    m_model.setUndoManager(undoManager());
    m_model.setTypingAttributes(RichTextBridge::typingAttributes(m_theme));
    connect(&storage, &TextStorage::changed, this, [this](qsizetype start, qsizetype removed, qsizetype added) {
        if (m_restyling || m_isLoading) return;
        auto shift = [&](qsizetype p) {
            if (p <= start) return p;
            if (p >= start + removed) return p + added - removed;
            return start + added;
        };
        if (m_dirtyFrom < 0) {
            m_dirtyFrom = start;
            m_dirtyTo = start + added;
        } else {
            m_dirtyFrom = std::min(shift(m_dirtyFrom), start);
            m_dirtyTo = std::max(shift(m_dirtyTo), start + added);
        }
    });
    load(TextRuns{}, m_isTitleBlock ? std::optional<QString>(QString()) : std::nullopt, 0);
}

TextBlockController::~TextBlockController()
{
    if (UndoManager* undo = undoManager()) undo->removeAllActions(&m_model);
}

BlockHost* TextBlockController::host() const
{
    return m_hostGuard ? m_host : nullptr;
}

UndoManager* TextBlockController::undoManager() const
{
    return host() ? host()->blockUndoManager() : nullptr;
}

TextFont TextBlockController::bodyFont() const
{
    return RichTextBridge::baseFont(m_theme);
}

BaseStyle TextBlockController::codecBase() const
{
    if (BlockHost* h = host()) return h->codecBase();
    return BaseStyle{bodyFont(), *RichTextBridge::typingAttributes(m_theme).foreground, ParagraphStyle{}};
}

TextAttributes TextBlockController::titleAttributes() const
{
    TextAttributes attributes = RichTextBridge::typingAttributes(m_theme);
    // The brand face, or the desktop's serif face when it is missing: a title is never in the sans.
    attributes.font = TextFont{TarnwickType::brand(19, QFont::DemiBold).family(), 19, 600, false};
    ParagraphStyle paragraph;
    paragraph.paragraphSpacing = 6;
    attributes.paragraphStyle = paragraph;
    return attributes;
}

TextAttributes TextBlockController::titlePlaceholderAttributes() const
{
    TextAttributes attributes = titleAttributes();
    QColor ink = *attributes.foreground;
    ink.setAlphaF(0.32f);
    attributes.foreground = ink;
    return attributes;
}

qsizetype TextBlockController::bodyStart() const
{
    if (!m_isTitleBlock) return 0;
    const qsizetype n = m_model.text().indexOf(u'\n');
    return n < 0 ? m_model.length() : n + 1;
}

TextRange TextBlockController::paragraphRange(TextRange range) const
{
    const QString& text = m_model.text();
    const qsizetype start = lineStartAt(text, range.location);
    const qsizetype last = range.length > 0 ? range.end() - 1 : range.location;
    const qsizetype e = text.indexOf(u'\n', std::min(last, text.size()));
    const qsizetype end = e < 0 ? text.size() : e + 1;
    return {start, std::max<qsizetype>(0, end - start)};
}

// ---- Loading, snapshots, theme, focus, measuring ----

void TextBlockController::load(const TextRuns& runs, const std::optional<QString>& title,
                               std::optional<qsizetype> caret)
{
    m_isLoading = true;
    BaseStyle base = codecBase();
    base.paragraphStyle = RichTextBridge::bodyParagraphStyle(m_theme);
    // Stored bodies may carry CR LF or CR; the text system keeps only "\n".
    const AttributedText body = TextStorage::normalizedLineBreaks(TextRunsCodec::decode(runs, base));
    const TextAttributes typing = RichTextBridge::typingAttributes(m_theme);
    const AttributedText text = title ? NoteDocument::compose(*title, body, titleAttributes(), typing) : body;
    const qsizetype remembered = m_model.selection().location;
    // A body that grew at its end (a capture appended to the open note) enters as that end alone, as a
    // paste does: the text already shown stays, however long, and the new text is not copied again.
    const qsizetype shown = m_model.length();
    const qsizetype kept =
        shown > 0 && text.length() > shown && text.startsWith(m_model.storage().attributedText()) ? shown : 0;
    if (kept > 0)
        m_model.storage().extend(text);
    else
        m_model.storage().setAttributedText(text);
    m_model.setTypingAttributes(typing);
    m_appliedInk = m_theme.ink;
    if (UndoManager* undo = undoManager(); undo && !m_keepHistory) undo->removeAllActions(&m_model);
    const qsizetype c = caret ? *caret : std::min(m_model.length(), remembered);
    m_model.setCaret(std::max<qsizetype>(0, std::min(m_model.length(), c)));
    m_previousLength = m_model.length();
    m_listStyles.clear();
    restyleListParagraphs(kept, m_model.length());
    if (m_isTitleBlock) restyleTitleParagraph();
    m_dirtyFrom = m_dirtyTo = -1;
    m_fullWalk = true;
    if (BlockHost* h = host()) h->blockNeedsLayout();
    m_isLoading = false;
}

void TextBlockController::apply(const NoteBlock& block)
{
    const TextRuns* runs = block.textRuns();
    if (!runs) return;
    std::optional<QString> title;
    if (m_isTitleBlock) {
        BlockHost* h = host();
        title = h && h->note() ? h->note()->title() : QString();
    }
    load(*runs, title, std::nullopt);
}

void TextBlockController::applyKeepingHistory(const NoteBlock& block)
{
    m_keepHistory = true;
    apply(block);
    m_keepHistory = false;
}

NoteBlock TextBlockController::snapshot() const
{
    BaseStyle base = codecBase();
    base.paragraphStyle = ParagraphStyle{};
    AttributedText source = m_model.storage().attributedText();
    if (m_isTitleBlock) source = NoteDocument::split(source).body;
    // Pictures never travel inside text runs.
    source.removeAll(QChar(QChar::ObjectReplacementCharacter));
    return NoteBlock::text(TextRunsCodec::encode(source, base), m_id);
}

void TextBlockController::applyTheme(const ResolvedNoteTheme& theme, const std::optional<QColor>& previousInk)
{
    const bool sameTheme = m_theme == theme;
    m_theme = theme;
    m_listStyles.clear();
    if (m_model.length() > 0) {
        const std::optional<QColor> oldInk = previousInk ? previousInk : m_appliedInk;
        AttributedText restyled = RichTextBridge::restyled(m_model.storage().attributedText(), theme, oldInk);
        if (m_isTitleBlock) {
            // The title keeps its own face whatever the theme's family: restyled as the title here, so
            // that a theme applied again does not set a long text again only to restyle its first line.
            const TextAttributes title = titleAttributes();
            if (const qsizetype t = lineEndAt(restyled.text(), 0); t > 0)
                restyled.modify(0, t, [&](TextAttributes& a) {
                    a.font = title.font;
                    a.foreground = title.foreground;
                    a.paragraphStyle = title.paragraphStyle;
                });
        }
        const TextRange selection = m_model.selection();
        // Opening a note applies the theme it was just loaded with: a long text is not set again.
        const bool restyle = !(restyled == m_model.storage().attributedText());
        if (restyle) {
            m_isLoading = true;
            m_model.storage().setAttributedText(restyled);
            m_isLoading = false;
        }
        m_model.setTypingAttributes(RichTextBridge::typingAttributes(theme));
        const qsizetype n = m_model.length();
        const qsizetype location = std::min(n, selection.location);
        m_model.setSelection({location, std::min(n - location, selection.length)});
        if (m_isTitleBlock) restyleTitleParagraph();
        // The theme a note was just loaded with has styled its lists already.
        if (restyle || !sameTheme) restyleListParagraphs(0, n);
        m_appliedInk = theme.ink;
        if (BlockHost* h = host()) h->blockNeedsLayout();
    } else {
        m_model.setTypingAttributes(RichTextBridge::typingAttributes(theme));
        m_appliedInk = theme.ink;
        if (m_isTitleBlock) restyleTitleParagraph();
    }
}

void TextBlockController::focus(const CaretPlacement& placement)
{
    const qsizetype n = m_model.length();
    qsizetype caret = 0;
    if (const auto* offset = std::get_if<CaretPlacement::Offset>(&placement.value)) {
        caret = std::clamp<qsizetype>(offset->value, 0, n);
    } else if (const auto* same = std::get_if<CaretPlacement::SameX>(&placement.value)) {
        if (TextGeometry* g = m_model.geometry()) {
            const qreal x = g->mapFromGlobal({same->x, 0}).x();
            // The middle of the first or last line itself: below the last line (the view may be taller than
            // its text) every x hits the end of the text.
            const qreal y = g->caretRect(same->fromAbove ? 0 : n).center().y();
            caret = std::clamp<qsizetype>(g->characterIndexAt({x, y}), 0, n);
        }
    } else if (std::holds_alternative<CaretPlacement::Start>(placement.value)) {
        caret = bodyStart();
    } else if (std::holds_alternative<CaretPlacement::End>(placement.value)) {
        caret = n;
    }
    if (m_takeFocus) m_takeFocus();
    m_model.setCaret(caret);
    m_model.setTypingAttributes(RichTextBridge::typingAttributes(m_theme));
}

qreal TextBlockController::minimumHeight() const
{
    const QFontMetricsF metrics(bodyFont().toQFont());
    qreal height = std::ceil(metrics.ascent() + metrics.descent()) + 2;
    if (BlockHost* h = host(); h && h->isLastBlock(m_id))
        height += RichTextBridge::bodyParagraphStyle(m_theme).lineSpacing;
    return height;
}

qreal TextBlockController::heightForWidth(qreal width)
{
    const TextGeometry* g = m_model.geometry();
    if (!g) return minimumHeight();
    return std::max(minimumHeight(), std::ceil(g->heightForWidth(width)));
}

BlockBoundary TextBlockController::dropBoundary(const QPointF& point) const
{
    const TextGeometry* g = m_model.geometry();
    const qsizetype n = m_model.length();
    const QSizeF size = g ? g->size() : QSizeF();
    auto boundary = [&](qsizetype k, bool below) {
        k = std::clamp<qsizetype>(k, 0, n);
        if (g && n > 0) {
            const QRectF r = g->caretRect(k);
            if (r.height() > 1) return BlockBoundary{k, below ? r.bottom() : r.top()};
        }
        return BlockBoundary{k, below ? size.height() : 0};
    };
    const qsizetype b = bodyStart();
    const qreal y = std::clamp<qreal>(point.y(), 0, std::max<qreal>(0, size.height() - 1));
    if (b >= n || !g) return boundary(n, true);
    const qreal x = std::clamp<qreal>(point.x(), 0, std::max<qreal>(0, size.width() - 1));
    const qsizetype i = std::clamp<qsizetype>(g->characterIndexAt({x, y}), 0, n - 1);
    const TextRange para = paragraphRange({i, 0});
    qsizetype e = para.end();
    if (e > para.location && m_model.text()[e - 1] == u'\n') --e;
    const BlockBoundary top = boundary(std::max(para.location, b), false);
    const BlockBoundary bottom = boundary(std::max(e, b), true);
    return std::abs(bottom.lineY - y) < std::abs(top.lineY - y) ? bottom : top;
}

// ---- The edit cycle ----

bool TextBlockController::textShouldChange(TextRange, const std::optional<QString>& replacement)
{
    if (!replacement) return true;
    const bool separator = replacement->contains(u' ') || replacement->contains(u'\n') || replacement->contains(u'\t');
    if (separator) {
        m_model.breakUndoCoalescing();
        m_breakAfterChange = roughCharacterCount(*replacement) > 1;
    } else if (replacement->isEmpty() || roughCharacterCount(*replacement) > 1) {
        m_model.breakUndoCoalescing();
        m_breakAfterChange = true;
    } else {
        m_breakAfterChange = false;
    }
    return true;
}

void TextBlockController::takeDirtyRange(qsizetype& from, qsizetype& to)
{
    if (m_fullWalk) {
        from = 0;
        to = m_model.length();
    } else {
        from = std::clamp<qsizetype>(m_dirtyFrom, 0, m_model.length());
        to = std::clamp<qsizetype>(m_dirtyTo, from, m_model.length());
    }
    m_dirtyFrom = m_dirtyTo = -1;
}

void TextBlockController::textDidChange()
{
    if (m_isLoading) return;
    ++m_cycles;
    if (m_breakAfterChange) {
        m_model.breakUndoCoalescing();
        m_breakAfterChange = false;
    }
    qsizetype from = 0;
    qsizetype to = 0;
    UndoManager* undo = undoManager();
    if (undo && (undo->isUndoing() || undo->isRedoing())) {
        // Undo and redo restore what was there; reformatting it would only make new changes (and wipe
        // the redo stack). The list work catches up in one whole walk at the next edit.
        if (m_isTitleBlock) restyleTitleParagraph(true);
        takeDirtyRange(from, to);
        restyleTitleFaceInBody(from, to);
        restyleListParagraphs(from, to);
        m_fullWalk = true;
        m_suppressAutoFormat = false;
        m_previousLength = m_model.length();
        if (BlockHost* h = host()) h->blockNeedsLayout();
        commit();
        postFormatState();
        return;
    }
    if (m_isTitleBlock) restyleTitleParagraph(true);
    takeDirtyRange(from, to);
    m_fullWalk = false;
    restyleTitleFaceInBody(from, to);
    restyleListParagraphs(from, to);
    const bool usersChange = !m_suppressAutoFormat;
    const qsizetype typed = m_model.length() - m_previousLength;
    if (renumberOrderedLists(from, to)) {
        // The numbers were out of date (after an undo, say) and are right now; the key the user just
        // pressed still does what it does on a list: Return on an empty item ends or outdents it.
        if (usersChange && typed == 1 && !handleReturn()) applyMarkdown(1);
    } else {
        if (BlockHost* h = host()) h->blockNeedsLayout();
        if (m_suppressAutoFormat) {
            m_suppressAutoFormat = false;
            m_previousLength = m_model.length();
            commit();
        } else {
            const qsizetype delta = m_model.length() - m_previousLength;
            m_previousLength = m_model.length();
            if (delta == 1) linkTypedAddress();
            bool changed = delta == 1 && handleReturn();
            if (!changed) changed = applyMarkdown(delta);
            if (!changed) commit();
        }
    }
    postFormatState();
}

void TextBlockController::commit()
{
    BlockHost* h = host();
    if (!h) return;
    m_isCommitting = true;
    h->blockDidChange(m_id);
    m_isCommitting = false;
}

bool TextBlockController::programmaticEdit(TextRange range, const AttributedText& with,
                                           std::optional<TextRange> selectionAfter)
{
    if (!m_model.shouldChangeText(range, with.text())) return false;
    m_suppressAutoFormat = true;
    m_model.replaceCharacters(range, with);
    if (selectionAfter) m_model.setSelection(*selectionAfter);
    m_model.didChangeText();
    return true;
}

void TextBlockController::restyleTitleParagraph(bool recorded)
{
    Q_EMIT placeholderChanged();
    const QString& text = m_model.text();
    const qsizetype t = lineEndAt(text, 0);
    if (t == 0) return;
    const TextAttributes title = titleAttributes();
    const AttributedText& all = m_model.storage().attributedText();
    // Only the stretch not yet in the title's style is set (and kept for undo): a key typed in a long
    // title costs that key.
    qsizetype from = -1;
    qsizetype to = -1;
    for (const AttributedText::Run& run : all.runs()) {
        if (run.start >= t) break;
        const TextAttributes& a = run.attributes;
        if (a.font != title.font || a.foreground != title.foreground || a.paragraphStyle != title.paragraphStyle) {
            if (from < 0) from = run.start;
            to = std::min(t, run.start + run.length);
        }
    }
    if (from < 0) return;
    AttributedText stretch = all.mid(from, to - from);
    stretch.modify(0, stretch.length(), [&](TextAttributes& a) {
        a.font = title.font;
        a.foreground = title.foreground;
        a.paragraphStyle = title.paragraphStyle;
    });
    setAttributesRecorded(from, stretch, recorded);
}

void TextBlockController::restyleTitleFaceInBody(qsizetype from, qsizetype to)
{
    // Text that crossed the end of the title line (its rest pushed down by a paste, title words dragged or
    // pasted into the body) leaves the title's face behind; its links, colours and lines stay. A run in the
    // title's family and size is the title's whatever its weight or slant (markup copied from a title and
    // made bold): it keeps its own italic, and a weight of its own other than the title's.
    const QString& text = m_model.text();
    const qsizetype start = std::max(bodyStart(), from);
    if (start >= text.size()) return;
    const qsizetype end = lineEndAt(text, std::clamp(to, start, text.size()));
    const TextAttributes title = titleAttributes();
    const auto& runs = m_model.storage().attributedText().runs();
    auto it = std::upper_bound(runs.begin(), runs.end(), start,
                               [](qsizetype p, const AttributedText::Run& run) { return p < run.start; });
    if (it != runs.begin()) --it;
    std::vector<std::pair<qsizetype, qsizetype>> spans;
    const auto inTitleFace = [&](const std::optional<TextFont>& font) {
        return font && font->family == title.font->family && qFuzzyCompare(font->pointSize, title.font->pointSize);
    };
    for (; it != runs.end() && it->start < end; ++it) {
        if (!inTitleFace(it->attributes.font)) continue;
        const qsizetype s = std::max(start, it->start);
        const qsizetype e = std::min(end, it->start + it->length);
        if (e > s) spans.emplace_back(s, e - s);
    }
    if (spans.empty()) return;
    const qsizetype first = spans.front().first;
    const qsizetype last = spans.back().first + spans.back().second;
    for (auto& span : spans) span.first -= first;
    AttributedText piece = m_model.storage().attributedSubstring(first, last - first);
    const TextAttributes body = RichTextBridge::typingAttributes(m_theme);
    piece.modifyRanges(spans, [&](TextAttributes& a, size_t) {
        TextFont font = *body.font;
        font.italic = a.font->italic;
        if (a.font->weight != title.font->weight) font.weight = a.font->weight;
        a.font = font;
        if (a.paragraphStyle == title.paragraphStyle) a.paragraphStyle = body.paragraphStyle;
    });
    setAttributesRecorded(first, piece, true);
}

void TextBlockController::setAttributesRecorded(qsizetype start, const AttributedText& restyled, bool recorded)
{
    const qsizetype n = restyled.length();
    if (n == 0 || start < 0 || start + n > m_model.length()) return;
    if (QStringView(m_model.text()).mid(start, n) != restyled.text()) return;
    const AttributedText old = m_model.storage().attributedSubstring(start, n);
    if (old == restyled) return;
    m_restyling = true;
    m_model.storage().setAttributes(start, restyled);
    m_restyling = false;
    UndoManager* undo = m_model.undoManager();
    if (!recorded || !undo) return;
    // The restyle belongs to the edit that caused it: one Undo takes both back, this first.
    undo->registerUndoInLastStep(&m_model, [this, start, old] { setAttributesRecorded(start, old, true); });
}

void TextBlockController::restyleListParagraphs(qsizetype from, qsizetype to)
{
    const QString& text = m_model.text();
    if (text.isEmpty()) return;
    const qsizetype b = bodyStart();
    const ParagraphStyle body = RichTextBridge::bodyParagraphStyle(m_theme);
    std::vector<TextStorage::StyledRange> changes;
    for (qsizetype p = lineStartAt(text, std::min(from, text.size())); p <= std::min(to, text.size());) {
        const qsizetype lineEnd = lineEndAt(text, p);
        const qsizetype paraEnd = lineEnd < text.size() ? lineEnd + 1 : lineEnd;
        if (lineEnd > p && p >= b) {
            const TextAttributes at = m_model.storage().attributesAt(p);
            ParagraphStyle wanted = body;
            if (const auto item = MAF::listItem(text.mid(p, lineEnd - p))) {
                const QString prefix = text.mid(p, item->indent + item->markerLength);
                const TextFont font = at.font.value_or(bodyFont());
                const QString key = prefix + u'|' + font.family + u'|' + QString::number(font.pointSize) + u'|' +
                                    QString::number(font.weight) + (font.italic ? u'i' : u'r');
                auto it = m_listStyles.find(key);
                if (it == m_listStyles.end())
                    it = m_listStyles.insert(key, RichTextBridge::listParagraphStyle(prefix, font, m_theme));
                wanted = *it;
            }
            if (at.paragraphStyle != wanted) changes.push_back({p, paraEnd - p, wanted});
        }
        if (lineEnd >= text.size()) break;
        p = lineEnd + 1;
    }
    if (changes.empty()) return;
    m_restyling = true;
    m_model.storage().setParagraphStyles(changes);
    m_restyling = false;
}

bool TextBlockController::renumberOrderedLists(qsizetype from, qsizetype to)
{
    const QString text = m_model.text();
    if (text.isEmpty()) return false;
    if (m_model.hasMarkedText()) {
        // An input method is composing: the numbers catch up in one whole walk once it is done.
        m_fullWalk = true;
        return false;
    }
    const qsizetype b = bodyStart();
    const qsizetype selection = m_model.selection().location;
    auto isItem = [&](qsizetype p) { return MAF::listItem(text.mid(p, lineEndAt(text, p) - p)).has_value(); };

    // Numbering starts afresh after every line that is no item, so the run around the change is enough.
    qsizetype start = std::max(b, lineStartAt(text, std::min(from, text.size())));
    while (start > b && isItem(start)) {
        const qsizetype previous = lineStartAt(text, start - 1);
        if (previous < b || !isItem(previous)) break;
        start = previous;
    }
    struct Fix {
        qsizetype start;
        qsizetype length;
        QString marker;
    };
    std::vector<Fix> fixes;
    MAF::OrderedNumbering numbering;
    for (qsizetype p = start; p <= text.size();) {
        const qsizetype lineEnd = lineEndAt(text, p);
        const QString line = text.mid(p, lineEnd - p);
        const auto expected = numbering.marker(line);
        if (expected) {
            const auto item = MAF::listItem(line);
            const QString current = line.mid(item->indent, item->markerLength);
            if (current != *expected) {
                const Fix fix{p + item->indent, item->markerLength, *expected};
                if (!m_renumberAtCaret && fix.start < selection && fix.start + fix.length >= selection)
                    m_fullWalk = true;  // the user is typing this marker; look again once it is done
                else
                    fixes.push_back(fix);
            }
        }
        if (lineEnd >= text.size()) break;
        if (p > to && numbering.runs.empty() && !expected && !MAF::listItem(line)) break;
        p = lineEnd + 1;
    }
    if (fixes.empty()) return false;

    const qsizetype spanStart = fixes.front().start;
    const qsizetype spanEnd = fixes.back().start + fixes.back().length;
    AttributedText copy = m_model.storage().attributedSubstring(spanStart, spanEnd - spanStart);
    qsizetype shift = 0;
    std::vector<AttributedText::Edit> edits;
    edits.reserve(fixes.size());
    for (const Fix& fix : fixes) {
        const TextAttributes attributes =
            fix.length > 0 ? copy.attributesAt(fix.start - spanStart) : RichTextBridge::typingAttributes(m_theme);
        edits.push_back({fix.start - spanStart, fix.length, AttributedText(fix.marker, attributes)});
        if (fix.start + fix.length <= selection) shift += fix.marker.size() - fix.length;
    }
    copy.replaceRanges(edits);
    const qsizetype newLength = m_model.length() - (spanEnd - spanStart) + copy.length();
    return programmaticEdit({spanStart, spanEnd - spanStart}, copy,
                            TextRange{std::clamp<qsizetype>(selection + shift, 0, newLength), 0});
}

bool TextBlockController::handleReturn()
{
    const QString& text = m_model.text();
    const qsizetype c = m_model.selection().location;
    if (c < 1 || c > text.size() || text[c - 1] != u'\n') return false;
    const qsizetype p = lineStartAt(text, c - 1);
    const TextAttributes typing = RichTextBridge::typingAttributes(m_theme);
    // The title line is never a list item.
    const bool inTitle = m_isTitleBlock && p == 0;
    const auto action = inTitle ? std::nullopt : MAF::returnAction(text.mid(p, c - 1 - p));
    if (!action) {
        if (c - 1 > p) {
            const TextFont font = m_model.storage().attributesAt(p).font.value_or(bodyFont());
            if (font.pointSize >= 16) m_model.setTypingAttributes(typing);
        }
        return false;
    }
    TextRange range{c, 0};
    qsizetype caret = c;
    AttributedText with(action->text, typing);
    switch (action->kind) {
        case MAF::ReturnAction::Kind::continueList:
            caret = c + with.length();
            break;
        case MAF::ReturnAction::Kind::replaceLine:
            range = {p, c - p};
            caret = p + with.length();
            break;
        case MAF::ReturnAction::Kind::endList:
            range = {p, c - p};
            with = AttributedText();
            caret = p;
            break;
    }
    // A marker Return wrote is numbered at once, though the caret stands right after it.
    m_renumberAtCaret = action->kind == MAF::ReturnAction::Kind::replaceLine;
    const bool edited = programmaticEdit(range, with, TextRange{caret, 0});
    m_renumberAtCaret = false;
    if (!edited) return false;
    m_model.setTypingAttributes(typing);
    return true;
}

bool TextBlockController::applyMarkdown(qsizetype delta)
{
    if (delta != 1) return false;
    const QString& text = m_model.text();
    const qsizetype c = std::min(m_model.selection().location, m_model.length());
    if (c < 1) return false;
    // Line breaks are Return handling's; only a space or "*" can complete a shortcut here.
    const QChar typed = text[c - 1];
    if (typed != u'*' && typed != u' ') return false;
    const TextRange range = paragraphRange({c, 0});
    // The title line holds no markers or headings.
    if (m_isTitleBlock && range.location == 0) return false;
    AttributedText paragraph = m_model.storage().attributedSubstring(range.location, range.length);
    const GraphemeMap map(paragraph.text());
    const qsizetype caret = map.toGrapheme(std::clamp<qsizetype>(c - range.location, 0, paragraph.length()));
    const TextAttributes typing = RichTextBridge::typingAttributes(m_theme);
    const auto outcome = MAF::apply(paragraph, caret, bodyFont(), typing);
    if (!outcome) return false;
    const GraphemeMap after(paragraph.text());
    const qsizetype newLength = m_model.length() - range.length + paragraph.length();
    if (!programmaticEdit(range, paragraph,
                          TextRange{std::min(range.location + after.toUtf16(outcome->caret), newLength), 0}))
        return false;
    if (outcome->typingFont) {
        TextAttributes attributes = typing;
        if (*outcome->typingFont)
            attributes.font = RichTextBridge::nsFont(**outcome->typingFont, RichTextBridge::FontContext{});
        m_model.setTypingAttributes(attributes);
    }
    return true;
}

void TextBlockController::selectionDidChange()
{
    postFormatState();
}

void TextBlockController::postFormatState()
{
    BlockHost* h = host();
    if (!m_focused || !h) return;
    const TextRange sel = m_model.selection();
    const TextFont body = bodyFont();
    QSet<QString> active;
    auto every = [&](const std::function<bool(const TextAttributes&)>& test) {
        if (sel.length == 0) return test(m_model.typingAttributes());
        const AttributedText selected = m_model.selectedText();
        return std::all_of(selected.runs().begin(), selected.runs().end(),
                           [&](const AttributedText::Run& run) { return test(run.attributes); });
    };
    if (every([&](const TextAttributes& a) { return a.font.value_or(body).isBold(); })) active.insert("bold");
    if (every([&](const TextAttributes& a) { return a.font.value_or(body).italic; })) active.insert("italic");
    if (every([](const TextAttributes& a) { return a.underline != 0; })) active.insert("underline");
    if (every([](const TextAttributes& a) { return a.strikethrough != 0; })) active.insert("strikethrough");
    const QString& text = m_model.text();
    if (!text.isEmpty()) {
        const qsizetype at = std::min(sel.location, text.size());
        const qsizetype start = lineStartAt(text, at);
        if (const auto item = MAF::listItem(text.mid(start, lineEndAt(text, start) - start))) {
            if (item->marker == MAF::openMarker || item->marker == MAF::doneMarker)
                active.insert("toggleDone");
            else if (item->marker == MAF::bulletMarker)
                active.insert("toggleBullet");
            else
                active.insert("toggleNumbered");
        }
    }
    if (m_lastPostedState && *m_lastPostedState == active) return;
    m_lastPostedState = active;
    if (m_notifications)
        m_notifications->post(tarnwickFormatStateChanged, h->noteID().toString(QUuid::WithoutBraces).toUpper(),
                              {{"active", QStringList(active.begin(), active.end())}});
}

void TextBlockController::setFocused(bool focused)
{
    m_focused = focused;
    if (!focused) return;
    if (BlockHost* h = host()) h->focusDidChange(m_id);
    m_lastPostedState.reset();
    postFormatState();
}

void TextBlockController::toggleTodo(qsizetype paragraphStart)
{
    if (paragraphStart < 0 || paragraphStart > m_model.length()) return;
    const TextRange selection = m_model.selection();
    const TextRange para = paragraphRange({paragraphStart, 0});
    AttributedText text = m_model.storage().attributedSubstring(para.location, para.length);
    if (!MAF::toggleDone(text, 0, 0, RichTextBridge::typingAttributes(m_theme))) return;
    if (!programmaticEdit(para, text)) return;
    const qsizetype n = m_model.length();
    const qsizetype location = std::min(n, selection.location);
    m_model.setSelection({location, std::min(n - location, selection.length)});
}

// ---- Keys and commands ----

bool TextBlockController::handleKeyDown(int key, Qt::KeyboardModifiers modifiers, const QString& text)
{
    const Qt::KeyboardModifiers mods = modifiers & ~Qt::KeypadModifier;
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && (mods & ~Qt::ShiftModifier) == Qt::NoModifier &&
        handleReturnInTitle())
        return true;
    if (text == u"/" && !(mods & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) && atSlashPosition()) {
        showSlashMenu();
        return true;
    }
    if (key == Qt::Key_Tab && mods == Qt::NoModifier) return shiftIndent(1);
    if (key == Qt::Key_Backtab && (mods & ~Qt::ShiftModifier) == Qt::NoModifier) return shiftIndent(-1);
    const auto command = FormatCommands::forKey(key, mods);
    if (!command) return false;
    apply(*command);
    return true;
}

void TextBlockController::apply(FormatCommand command)
{
    switch (command) {
        case FormatCommand::bold:
            toggleTrait(true);
            break;
        case FormatCommand::italic:
            toggleTrait(false);
            break;
        case FormatCommand::underline:
            toggleLine(true);
            break;
        case FormatCommand::strikethrough:
            toggleLine(false);
            break;
        case FormatCommand::clear:
            clearFormatting();
            break;
        case FormatCommand::pasteMatchStyle:
            pasteMatchStyle();
            break;
        case FormatCommand::toggleDone:
            paragraphCommand(
                [this](AttributedText& t, qsizetype s, qsizetype e) {
                    return MAF::toggleDone(t, s, e, RichTextBridge::typingAttributes(m_theme));
                },
                false);
            break;
        case FormatCommand::toggleBullet:
        case FormatCommand::toggleNumbered: {
            const bool ordered = command == FormatCommand::toggleNumbered;
            paragraphCommand(
                [this, ordered](AttributedText& t, qsizetype s, qsizetype e) {
                    return MAF::toggleList(t, s, e, ordered, RichTextBridge::typingAttributes(m_theme));
                },
                false);
            break;
        }
        case FormatCommand::focusBody:
            break;
    }
    postFormatState();
}

TextFont TextBlockController::flipTrait(const TextFont& font, bool bold, bool on)
{
    TextFont result = font;
    if (bold)
        result.weight = on ? std::max(font.weight, 700) : (font.isBold() ? 400 : font.weight);
    else
        result.italic = on;
    return result;
}

void TextBlockController::toggleTrait(bool bold)
{
    const TextRange sel = m_model.selection();
    const TextFont body = bodyFont();
    auto has = [&](const TextFont& f) { return bold ? f.isBold() : f.italic; };
    if (sel.length == 0) {
        TextAttributes typing = m_model.typingAttributes();
        const TextFont font = typing.font.value_or(body);
        typing.font = flipTrait(font, bold, !has(font));
        m_model.setTypingAttributes(typing);
        return;
    }
    AttributedText selected = m_model.selectedText();
    const bool allHave = std::all_of(selected.runs().begin(), selected.runs().end(), [&](const AttributedText::Run& r) {
        return has(r.attributes.font.value_or(body));
    });
    if (!m_model.shouldChangeText(sel, std::nullopt)) return;
    selected.modify(0, selected.length(),
                    [&](TextAttributes& a) { a.font = flipTrait(a.font.value_or(body), bold, !allHave); });
    m_model.replaceCharacters(sel, selected);
    m_model.setSelection(sel);
    m_model.didChangeText();
}

void TextBlockController::toggleLine(bool underline)
{
    const TextRange sel = m_model.selection();
    auto field = [underline](TextAttributes& a) -> int& { return underline ? a.underline : a.strikethrough; };
    if (sel.length == 0) {
        TextAttributes typing = m_model.typingAttributes();
        field(typing) = field(typing) != 0 ? 0 : 1;
        m_model.setTypingAttributes(typing);
        return;
    }
    AttributedText selected = m_model.selectedText();
    const bool allOn = std::all_of(selected.runs().begin(), selected.runs().end(), [&](const AttributedText::Run& r) {
        TextAttributes a = r.attributes;
        return field(a) != 0;
    });
    if (!m_model.shouldChangeText(sel, std::nullopt)) return;
    selected.modify(0, selected.length(), [&](TextAttributes& a) { field(a) = allOn ? 0 : 1; });
    m_model.replaceCharacters(sel, selected);
    m_model.setSelection(sel);
    m_model.didChangeText();
}

void TextBlockController::clearFormatting()
{
    const TextRange sel = m_model.selection();
    if (sel.length == 0 || !m_model.shouldChangeText(sel, std::nullopt)) return;
    AttributedText selected = m_model.selectedText();
    const TextFont body = bodyFont();
    selected.modify(0, selected.length(), [&](TextAttributes& a) {
        a.font = body;
        a.underline = 0;
        a.strikethrough = 0;
    });
    m_model.replaceCharacters(sel, selected);
    m_model.setSelection(sel);
    m_model.didChangeText();
}

void TextBlockController::pasteMatchStyle()
{
    const QString s = QGuiApplication::clipboard()->text();
    if (s.isEmpty()) return;
    pasteText(AttributedText(s, RichTextBridge::typingAttributes(m_theme)));
}

// ---- Links ----

bool TextBlockController::mayLink(qsizetype start, qsizetype length, const AttributedText& text,
                                  qsizetype titleEnd) const
{
    if (m_isTitleBlock && (titleEnd < 0 || start <= titleEnd)) return false;
    // The runs around the range, found by position: a long text with many runs is not walked.
    const auto& runs = text.runs();
    auto it = std::upper_bound(runs.begin(), runs.end(), start,
                               [](qsizetype p, const AttributedText::Run& run) { return p < run.start; });
    if (it != runs.begin()) --it;
    for (; it != runs.end() && it->start < start + length; ++it)
        if (it->start + it->length > start && it->attributes.link) return false;
    return true;
}

void TextBlockController::linkTypedAddress()
{
    const TextRange sel = m_model.selection();
    const QString& text = m_model.text();
    if (sel.length != 0 || sel.location < 2) return;
    const QChar typed = text[sel.location - 1];
    if (typed != u' ' && typed != u'\n' && typed != u'\t') return;
    const auto found = LinkDetector::addressEndingAt(text, sel.location - 1);
    if (!found || !mayLink(found->start, found->length, m_model.storage().attributedText(), text.indexOf(u'\n')))
        return;
    AttributedText linked = m_model.storage().attributedSubstring(found->start, found->length);
    linked.modify(0, linked.length(), [&](TextAttributes& a) { a.link = found->url; });
    // The same characters with a link: the storage's change joins the keystroke's undo step.
    m_model.replaceCharacters({found->start, found->length}, linked, true);
}

bool TextBlockController::replaceWord(TextRange word, const QString& with)
{
    if (word.location < 0 || word.end() > m_model.length() || with.isEmpty()) return false;
    const AttributedText replacement(with, m_model.storage().attributesAt(word.location));
    return programmaticEdit(word, replacement, TextRange{word.location + replacement.length(), 0});
}

bool TextBlockController::pasteText(AttributedText text)
{
    text = TextStorage::normalizedLineBreaks(text);
    const TextRange original = m_model.selection();
    TextRange sel = original;
    const qsizetype caretAfter = sel.location + text.length();
    // Lines pasted into the title line of a note without body text: the paste's first line break ends
    // the title, and the break that stood there alone would be left over as an empty last line.
    if (m_isTitleBlock && text.text().contains(u'\n')) {
        const QString& current = m_model.text();
        const qsizetype titleEnd = current.indexOf(u'\n');
        if (titleEnd >= 0 && sel.end() <= titleEnd && titleEnd == current.size() - 1) {
            // What followed the selection on the title line moves into the body, in the body's face.
            AttributedText rest = m_model.storage().attributedSubstring(sel.end(), titleEnd - sel.end());
            const TextAttributes body = RichTextBridge::typingAttributes(m_theme);
            rest.modify(0, rest.length(), [&](TextAttributes& a) {
                a.font = body.font;
                a.foreground = body.foreground;
                a.paragraphStyle = body.paragraphStyle;
            });
            text.append(rest);
            sel.length = current.size() - sel.location;
        }
    }
    // Judged against the text as it will read, so the title line and links already there are known.
    AttributedText after = m_model.storage().attributedText();
    after.replace(sel.location, sel.length, text);
    const qsizetype titleEnd = m_isTitleBlock ? after.text().indexOf(u'\n') : -1;
    for (const LinkDetector::Found& found : LinkDetector::addressesIn(text.text())) {
        if (!mayLink(sel.location + found.start, found.length, after, titleEnd)) continue;
        text.modify(found.start, found.length, [&](TextAttributes& a) { a.link = found.url; });
    }
    // Put in from the title line: a caret that ends past it types in the body's style, as after Return there.
    const bool fromTitle = m_isTitleBlock && [&] {
        const qsizetype end = m_model.text().indexOf(u'\n');
        return end < 0 || original.location <= end;
    }();
    if (sel == original) {
        if (!m_model.insertAttributedText(text)) return false;
    } else {
        m_model.setSelection(sel);
        if (!m_model.insertAttributedText(text)) {
            m_model.setSelection(original);
            return false;
        }
        // The caret stays after the pasted text, before what followed it on the title line.
        m_model.setCaret(caretAfter);
    }
    if (fromTitle) {
        const qsizetype end = m_model.text().indexOf(u'\n');
        if (end >= 0 && m_model.selection().location > end)
            m_model.setTypingAttributes(RichTextBridge::typingAttributes(m_theme));
    }
    return true;
}

bool TextBlockController::paragraphCommand(
    const std::function<std::optional<MarkdownAutoFormat::Selection>(AttributedText&, qsizetype, qsizetype)>& command,
    bool alwaysSelectRange)
{
    const TextRange sel = m_model.selection();
    const TextRange para = paragraphRange(sel);
    AttributedText text = m_model.storage().attributedSubstring(para.location, para.length);
    const GraphemeMap before(text.text());
    const qsizetype start = before.toGrapheme(std::clamp<qsizetype>(sel.location - para.location, 0, para.length));
    const qsizetype end = before.toGrapheme(std::clamp<qsizetype>(sel.end() - para.location, 0, para.length), true);
    const auto result = command(text, start, end);
    if (!result) return false;
    if (!programmaticEdit(para, text)) return false;
    const GraphemeMap after(text.text());
    const qsizetype n = m_model.length();
    auto position = [&](qsizetype k) {
        return std::min(n, para.location + after.toUtf16(std::clamp<qsizetype>(k, 0, after.count())));
    };
    const qsizetype s = position(result->start);
    const qsizetype e = position(result->end);
    if (!alwaysSelectRange && sel.length == 0)
        m_model.setCaret(e);
    else
        m_model.setSelection({s, std::max<qsizetype>(0, e - s)});
    return true;
}

bool TextBlockController::shiftIndent(int direction)
{
    return paragraphCommand(
        [this, direction](AttributedText& t, qsizetype s, qsizetype e) {
            return MAF::shiftIndent(t, s, e, direction, RichTextBridge::typingAttributes(m_theme));
        },
        true);
}

bool TextBlockController::handleReturnInTitle()
{
    if (!m_isTitleBlock) return false;
    const QString& text = m_model.text();
    const qsizetype t = lineEndAt(text, 0);
    if (t < m_model.selection().location) return false;
    const qsizetype b = t + 1;
    const TextAttributes typing = RichTextBridge::typingAttributes(m_theme);
    if (m_model.length() < b) {
        m_model.setCaret(t);
        // The body's first line is the program's own edit: nothing in the title may format it.
        programmaticEdit({t, 0}, AttributedText(QStringLiteral("\n"), typing));
    }
    m_model.setCaret(std::min(m_model.length(), b));
    m_model.setTypingAttributes(typing);
    return true;
}

bool TextBlockController::atSlashPosition() const
{
    const TextRange sel = m_model.selection();
    return sel.length == 0 && (sel.location == 0 || m_model.text()[sel.location - 1] == u'\n');
}

std::vector<TextBlockController::MenuItem> TextBlockController::slashMenuItems()
{
    QPointer<TextBlockController> self(this);
    auto marker = [self](const QString& m) {
        return [self, m] {
            if (self) self->slashInsertMarker(m);
        };
    };
    auto action = [self](const QString& a) {
        return [self, a] {
            if (self) self->postNoteAction(a);
        };
    };
    BlockHost* h = host();
    const bool locked = h && h->note() && h->note()->isLocked();
    return {
        {QStringLiteral("To-do"), marker(QStringLiteral("☐ "))},
        {QStringLiteral("Bullet"), marker(QStringLiteral("• "))},
        {QStringLiteral("Numbered list"), marker(QStringLiteral("1. "))},
        {QString(), nullptr},
        {QStringLiteral("Colour…"), action(QStringLiteral("colour"))},
        {QStringLiteral("Remind me…"), action(QStringLiteral("remind"))},
        {locked ? QStringLiteral("Lock again") : QStringLiteral("Lock · Password"), action(QStringLiteral("lock"))},
    };
}

void TextBlockController::showSlashMenu()
{
    if (m_menuPresenter) m_menuPresenter(slashMenuItems());
}

void TextBlockController::slashInsertMarker(const QString& marker)
{
    const qsizetype sel = m_model.selection().location;
    const qsizetype start = lineStartAt(m_model.text(), sel);
    if (!m_model.shouldChangeText({start, 0}, marker)) return;
    m_model.breakUndoCoalescing();
    m_model.replaceCharacters({start, 0}, AttributedText(marker, RichTextBridge::typingAttributes(m_theme)));
    m_model.setCaret(sel + marker.size());
    m_model.didChangeText();
    if (m_takeFocus) m_takeFocus();
}

void TextBlockController::postNoteAction(const QString& action)
{
    BlockHost* h = host();
    if (!h || !m_notifications) return;
    // Posted once the key or menu that chose it has returned: the note's view may lock the note,
    // which rebuilds the body this block belongs to.
    MainQueue::nextTurn(this, [this, noteID = h->noteID(), action] {
        BlockHost* now = host();
        if (!now || now->noteID() != noteID || !m_notifications) return;
        m_notifications->post(tarnwickNoteAction, noteID.toString(QUuid::WithoutBraces).toUpper(),
                              {{"action", action}});
    });
}

// ---- What leaves the block ----

bool TextBlockController::boundaryMove(BlockFocusDirection direction)
{
    BlockHost* h = host();
    const TextRange sel = m_model.selection();
    if (!h || sel.length != 0) return false;
    const TextGeometry* g = m_model.geometry();
    const qsizetype n = m_model.length();
    bool atEdge = false;
    std::optional<qreal> caretX;
    switch (direction) {
        case BlockFocusDirection::left:
            atEdge = sel.location == 0;
            break;
        case BlockFocusDirection::right:
            atEdge = sel.location == n;
            break;
        case BlockFocusDirection::up:
        case BlockFocusDirection::down:
            if (!g) return false;
            {
                const QRectF caret = g->caretRect(sel.location);
                const QRectF edge = g->caretRect(direction == BlockFocusDirection::up ? 0 : n);
                atEdge = std::abs(caret.top() - edge.top()) < 1;
            }
            break;
    }
    if (!atEdge) return false;
    if (g) caretX = g->mapToGlobal(g->caretRect(sel.location).topLeft()).x();
    return h->moveFocus(m_id, direction, caretX);
}

bool TextBlockController::backspaceAtStart()
{
    BlockHost* h = host();
    return h && h->backspaceAtStart(m_id);
}

bool TextBlockController::deleteForwardAtEnd()
{
    BlockHost* h = host();
    return h && h->deleteForwardAtEnd(m_id);
}

void TextBlockController::pasteImages(const std::vector<QByteArray>& pictures)
{
    if (BlockHost* h = host()) h->insertImages(pictures, m_id, m_model.selection().location);
}

bool TextBlockController::inPrivateNote() const
{
    const BlockHost* h = host();
    const Note* n = h ? h->note() : nullptr;
    return n && n->isLocked();
}

void TextBlockController::reportSkipped(const QString& message)
{
    if (BlockHost* h = host()) h->reportSkipped(message);
}

void TextBlockController::viewFrameChanged()
{
    if (BlockHost* h = host()) h->blockNeedsLayout();
}
