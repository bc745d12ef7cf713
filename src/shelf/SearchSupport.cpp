#include "shelf/SearchSupport.h"

#include "model/NoteBlock.h"

#include <unicode/uchar.h>

#include <algorithm>

#include "model/Note.h"
#include "shelf/SearchFolding.h"

namespace {

// How many UTF-16 units of text one pass of the exact comparison looks at, and how many of them, over
// all passes, may be text other than ASCII. ASCII is compared by plain case-insensitive search, which
// gives the exact answer there at a small fraction of the cost; other text needs grapheme breaking
// and full case folding per character. Beyond the budget, a place found by simple case folding is
// checked exactly around itself (so a match there that only full folding or composition makes, such
// as "ss" for "ß", may go unseen): a long note costs a row what its first 16,384 units did while the
// query is typed, and a few nanoseconds a unit beyond them.
constexpr qsizetype kPassUnits = 4096;
constexpr qsizetype kExactBudgetUnits = 16 * 1024;
constexpr int kCandidateChecks = 64;

const char16_t kPicture = NoteBlock::imagePlaceholder.front().unicode();

bool isBlank(QChar c)
{
    return c.isSpace() || c == kPicture;
}

// The text as the excerpt reads it: each picture and each line feed one space, trimmed at both ends.
// Every unit keeps its place, so positions in the cleaned text are positions in the original
// shifted by the trimmed start.
class CleanedText {
public:
    explicit CleanedText(const QString& text) : m_text(text)
    {
        qsizetype from = 0, to = text.size();
        while (from < to && isBlank(text[from])) ++from;
        while (to > from && isBlank(text[to - 1])) --to;
        m_from = from;
        m_size = to - from;
    }

    qsizetype size() const { return m_size; }
    char16_t at(qsizetype i) const
    {
        const QChar c = m_text[m_from + i];
        return c == kPicture || c == u'\n' ? u' ' : c.unicode();
    }
    QString slice(qsizetype from, qsizetype to) const
    {
        QString out = m_text.mid(m_from + from, to - from);
        out.replace(QChar(kPicture), QLatin1Char(' '));
        out.replace(QLatin1Char('\n'), QLatin1Char(' '));
        return out;
    }

    // Whether a character boundary lies before i whatever comes before the unit at i-1: the unit
    // before is a character that never joins what follows it (an ordinary one or a control, not a
    // carriage return, a joiner, a prefix, a regional indicator or Hangul), and the one at i never joins
    // what precedes it (not a combining mark, a joiner or a spacing mark).
    bool isCut(qsizetype i) const
    {
        if (i <= 0 || i >= m_size) return true;
        const char16_t before = at(i - 1), here = at(i);
        if (before < 0x80 && here < 0x80) return before != u'\r';
        if (QChar::isLowSurrogate(here)) return false;
        char32_t x = before;
        if (QChar::isLowSurrogate(before) && i >= 2 && QChar::isHighSurrogate(at(i - 2)))
            x = QChar::surrogateToUcs4(at(i - 2), before);
        char32_t y = here;
        if (QChar::isHighSurrogate(here) && i + 1 < m_size && QChar::isLowSurrogate(at(i + 1)))
            y = QChar::surrogateToUcs4(here, at(i + 1));
        const auto xb = u_getIntPropertyValue(UChar32(x), UCHAR_GRAPHEME_CLUSTER_BREAK);
        const auto yb = u_getIntPropertyValue(UChar32(y), UCHAR_GRAPHEME_CLUSTER_BREAK);
        if (xb != U_GCB_OTHER && xb != U_GCB_CONTROL && xb != U_GCB_LF) return false;
        return yb != U_GCB_EXTEND && yb != U_GCB_ZWJ && yb != U_GCB_SPACING_MARK;
    }
    qsizetype cutAtOrAfter(qsizetype i) const
    {
        i = std::clamp<qsizetype>(i, 0, m_size);
        while (!isCut(i)) ++i;
        return i;
    }
    qsizetype cutAtOrBefore(qsizetype i) const
    {
        i = std::clamp<qsizetype>(i, 0, m_size);
        while (!isCut(i)) --i;
        return i;
    }

private:
    const QString& m_text;
    qsizetype m_from = 0;
    qsizetype m_size = 0;
};

bool isAscii(QStringView text)
{
    char16_t any = 0;
    for (const QChar c : text) any |= c.unicode();
    return any < 0x80;
}

struct Range {
    qsizetype from = -1, to = -1;  // UTF-16 units of the cleaned text
};

// The first occurrence in the cleaned text [from, to), both ends character boundaries.
std::optional<Range> exactFirst(const CleanedText& text, qsizetype from, qsizetype to, const QString& foldedQuery)
{
    const QString part = text.slice(from, to);
    const QVector<qsizetype> bounds = SearchFolding::characterBoundaries(part);
    const auto [first, end] = SearchFolding::findCharacters(SearchFolding::caseFolded(part, bounds), foldedQuery);
    if (first < 0) return std::nullopt;
    return Range{from + bounds[first], from + bounds[end]};
}

// The first occurrence of the folded query in the whole cleaned text, pass by pass. Passes overlap by
// more than an occurrence spans, and start and end where a character boundary is certain, so each
// pass sees the characters the whole text has there.
std::optional<Range> firstOccurrence(const CleanedText& text, const QString& foldedQuery)
{
    const qsizetype n = text.size();
    const bool asciiQuery = isAscii(foldedQuery);
    const qsizetype overlap = 4 * foldedQuery.size() + 64;
    qsizetype budget = kExactBudgetUnits;
    int checks = kCandidateChecks;
    qsizetype from = 0;
    while (from < n) {
        const qsizetype to = text.cutAtOrAfter(from + std::max(kPassUnits, 2 * overlap));
        const QString part = text.slice(from, to);
        if (isAscii(part)) {
            // Here every unit is a character and folds to its lower case alone.
            if (asciiQuery) {
                const qsizetype at = part.indexOf(foldedQuery, 0, Qt::CaseInsensitive);
                if (at >= 0) return Range{from + at, from + at + foldedQuery.size()};
            }
        } else if (budget > 0) {
            budget -= part.size();
            if (const auto found = exactFirst(text, from, to, foldedQuery)) return found;
        } else {
            // Past the budget: only where simple case folding finds the query, checked exactly around it.
            for (qsizetype at = part.indexOf(foldedQuery, 0, Qt::CaseInsensitive); at >= 0 && checks > 0;
                 at = part.indexOf(foldedQuery, at + 1, Qt::CaseInsensitive), --checks) {
                const qsizetype start = text.cutAtOrBefore(from + at - 8);
                const qsizetype end = text.cutAtOrAfter(from + at + foldedQuery.size() + 8);
                if (const auto found = exactFirst(text, start, end, foldedQuery)) return found;
            }
        }
        if (to >= n) break;
        // Back by the overlap; a cluster too long to cut inside (a pathological run of combining
        // marks) is passed whole.
        const qsizetype back = text.cutAtOrBefore(to - overlap);
        from = back > from ? back : text.cutAtOrAfter(to - overlap);
    }
    return std::nullopt;
}

}  // namespace

std::optional<QString> SearchSupport::snippet(const QString& text, const QString& query, int limit)
{
    const CleanedText clean(text);
    if (clean.size() == 0) return std::nullopt;

    // A limit below the lead shrinks the lead with it; no part of the window may come out negative.
    const qsizetype cap = std::max(limit, 0);
    const qsizetype lead = std::min<qsizetype>(leadCharacters, cap);
    const qsizetype trail = cap - lead;

    const QString trimmedQuery = query.trimmed();
    const std::optional<Range> found =
        trimmedQuery.isEmpty() ? std::nullopt : firstOccurrence(clean, SearchFolding::caseFoldedQuery(trimmedQuery));
    const qsizetype n = clean.size();
    // The first characters, from a stretch long enough to hold them.
    const auto prefix = [&]() -> QString {
        for (qsizetype reach = 4 * cap + 16;; reach *= 2) {
            const qsizetype to = clean.cutAtOrAfter(reach);
            const QString head = clean.slice(0, to);
            const QVector<qsizetype> bounds = SearchFolding::characterBoundaries(head);
            if (bounds.size() - 1 >= cap || to >= n) return head.left(bounds[std::min(cap, bounds.size() - 1)]);
        }
    };
    if (!found) return prefix();

    // The characters around the occurrence, from a stretch long enough to hold the lead and the trail.
    for (qsizetype reach = 4 * std::max(lead, trail) + 16;; reach *= 2) {
        const qsizetype from = clean.cutAtOrBefore(found->from - reach);
        const qsizetype to = clean.cutAtOrAfter(found->to + reach);
        const QString part = clean.slice(from, to);
        const QVector<qsizetype> bounds = SearchFolding::characterBoundaries(part);
        const qsizetype first = bounds.indexOf(found->from - from);
        const qsizetype end = bounds.indexOf(found->to - from);
        const qsizetype count = bounds.size() - 1;
        const bool whole = from == 0 && to >= n;
        if (first < 0 || end < 0) {
            if (whole) return prefix();  // not on character boundaries after all: no occurrence to show
            continue;
        }
        if ((first < lead && from > 0) || (count - end < trail && to < n)) continue;
        const qsizetype windowStart = std::max<qsizetype>(0, first - lead);
        const qsizetype windowEnd = std::min(count, end + trail);
        QString excerpt = part.mid(bounds[windowStart], bounds[windowEnd] - bounds[windowStart]);
        if (from + bounds[windowStart] > 0) excerpt.prepend(QChar(0x2026));
        if (from + bounds[windowEnd] < n) excerpt.append(QChar(0x2026));
        return excerpt;
    }
}

SearchSupport::Highlighted SearchSupport::highlight(const QString& text, const QString& query)
{
    Highlighted result{text, std::nullopt};
    const QString trimmedQuery = query.trimmed();
    if (trimmedQuery.isEmpty() || text.isEmpty()) return result;

    const QVector<qsizetype> bounds = SearchFolding::characterBoundaries(text);
    const auto [first, end] = SearchFolding::findCharacters(SearchFolding::caseFolded(text, bounds),
                                                            SearchFolding::caseFoldedQuery(trimmedQuery));
    if (first < 0) return result;
    result.stronglyEmphasized = Highlighted::Span{bounds[first], bounds[end] - bounds[first]};
    return result;
}

std::optional<QString> SearchSupport::noteSnippet(const Note& note, const QString& query, int limit)
{
    if (note.isLocked()) return std::nullopt;
    return snippet(note.body(), query, limit);
}
