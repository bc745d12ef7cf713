#include "shelf/SearchSupport.h"

#include "model/NoteBlock.h"

#include <algorithm>

#include "model/Note.h"
#include "shelf/SearchFolding.h"

namespace {

QString cleaned(const QString& text)
{
    QString out = text;
    out.replace(NoteBlock::imagePlaceholder, QStringLiteral(" "));
    out.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return out.trimmed();
}

QString slice(const QString& text, const QVector<qsizetype>& bounds, qsizetype first, qsizetype end)
{
    return text.mid(bounds[first], bounds[end] - bounds[first]);
}

}  // namespace

std::optional<QString> SearchSupport::snippet(const QString& text, const QString& query, int limit)
{
    const QString clean = cleaned(text);
    if (clean.isEmpty()) return std::nullopt;

    // A limit below the lead shrinks the lead with it; no part of the window may come out negative.
    const qsizetype cap = std::max(limit, 0);
    const qsizetype lead = std::min<qsizetype>(leadCharacters, cap);
    const qsizetype trail = cap - lead;

    const QVector<qsizetype> bounds = SearchFolding::characterBoundaries(clean);
    const qsizetype count = bounds.size() - 1;
    const auto prefix = [&] { return slice(clean, bounds, 0, std::min(cap, count)); };

    const QString trimmedQuery = query.trimmed();
    if (trimmedQuery.isEmpty()) return prefix();
    const auto [first, end] = SearchFolding::findCharacters(SearchFolding::caseFolded(clean, bounds),
                                                            SearchFolding::caseFoldedQuery(trimmedQuery));
    if (first < 0) return prefix();

    const qsizetype windowStart = std::max<qsizetype>(0, first - lead);
    const qsizetype windowEnd = std::min(count, end + trail);
    QString excerpt = slice(clean, bounds, windowStart, windowEnd);
    if (windowStart > 0) excerpt.prepend(QChar(0x2026));
    if (windowEnd < count) excerpt.append(QChar(0x2026));
    return excerpt;
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
