#include "editor/text/TextFinder.h"

namespace {

// The folded form of one code point: decomposed, marks dropped, case folded. Cached: a text reuses
// few distinct characters outside ASCII.
const QString& foldedCodePoint(char32_t c)
{
    static QHash<char32_t, QString> cache;
    auto it = cache.constFind(c);
    if (it != cache.constEnd()) return *it;
    const QString decomposed = QString::fromUcs4(&c, 1).normalized(QString::NormalizationForm_KD);
    QString kept;
    for (qsizetype i = 0; i < decomposed.size(); ++i) {
        char32_t u = decomposed[i].unicode();
        qsizetype width = 1;
        if (decomposed[i].isHighSurrogate() && i + 1 < decomposed.size() && decomposed[i + 1].isLowSurrogate()) {
            u = QChar::surrogateToUcs4(decomposed[i], decomposed[i + 1]);
            width = 2;
        }
        const QChar::Category category = QChar::category(u);
        if (category != QChar::Mark_NonSpacing && category != QChar::Mark_Enclosing &&
            category != QChar::Mark_SpacingCombining)
            kept += decomposed.mid(i, width);
        i += width - 1;
    }
    // QString folds one unit to one: the sharp s is widened by hand, as full case folding does.
    QString folded = kept.toCaseFolded();
    folded.replace(QChar(0x00DF), QStringLiteral("ss")).replace(QChar(0x1E9E), QStringLiteral("ss"));
    return *cache.insert(c, folded);
}

}  // namespace

TextFinder::TextFinder(TextStorage& storage, QObject* parent) : QObject(parent), m_storage(&storage)
{
    connect(&storage, &TextStorage::changed, this, &TextFinder::storageChanged);
}

TextFinder::Folded TextFinder::fold(QStringView text, qsizetype offset)
{
    Folded folded;
    const qsizetype n = text.size();
    // Written in place: most text is ASCII and folds one unit to one.
    folded.text.resize(n);
    folded.origin.resize(size_t(n));
    QChar* out = folded.text.data();
    qsizetype* origin = folded.origin.data();
    qsizetype k = 0;
    const QChar* in = text.data();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = in[i].unicode();
        if (u < 0x80) {
            out[k] = QChar(u >= u'A' && u <= u'Z' ? char16_t(u + 32) : u);
            origin[k++] = offset + i;
            continue;
        }
        char32_t c = u;
        qsizetype width = 1;
        if (QChar::isHighSurrogate(u) && i + 1 < n && in[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(u, in[i + 1].unicode());
            width = 2;
        }
        // U+FFFC (a picture's place) and unpaired surrogates never match letters.
        static const QString objectReplacement(QChar(0xFFFC));
        static const QString replacement(QChar(0xFFFD));
        const QString& f = c == 0xFFFC ? objectReplacement : QChar::isSurrogate(c) ? replacement : foldedCodePoint(c);
        // Room for this character and one unit for each after it; a later widening grows it again.
        if (k + f.size() + (n - i - width) > folded.text.size()) {
            const qsizetype grown = std::max(folded.text.size() * 2, k + f.size() + (n - i - width) + 16);
            folded.text.resize(grown);
            folded.origin.resize(size_t(grown));
            out = folded.text.data();
            origin = folded.origin.data();
        }
        for (QChar unit : f) {
            out[k] = unit;
            origin[k++] = offset + i;
        }
        i += width - 1;
    }
    folded.text.resize(k);
    folded.origin.resize(size_t(k));
    return folded;
}

void TextFinder::search(qsizetype from, qsizetype to, std::vector<TextRange>& out) const
{
    if (m_foldedQuery.isEmpty() || !m_storage || to <= from) return;
    const QString& text = m_storage->text();
    const Folded folded = fold(QStringView(text).mid(from, to - from), from);
    const qsizetype n = folded.text.size();
    // A match starts and ends where a character of the original text starts, so a query never ends
    // halfway through a character that folds to several ("ß" to "ss").
    auto startsCharacter = [&](qsizetype k) { return k == 0 || k >= n || folded.origin[k] != folded.origin[k - 1]; };
    qsizetype k = 0;
    while ((k = folded.text.indexOf(m_foldedQuery, k)) >= 0) {
        const qsizetype e = k + m_foldedQuery.size();
        if (!startsCharacter(k) || !startsCharacter(e)) {
            ++k;
            continue;
        }
        const qsizetype start = folded.origin[k];
        const qsizetype end = e < n ? folded.origin[e] : to;
        out.push_back({start, end - start});
        k = e;
    }
}

void TextFinder::setQuery(const QString& query)
{
    if (query == m_query) return;
    m_query = query;
    // A line break cannot be typed into the field; a pasted one is searched for as a space would be.
    QString q = query;
    q.replace(u'\n', u' ');
    m_foldedQuery = fold(q).text;
    m_matches.clear();
    if (m_storage) search(0, m_storage->length(), m_matches);
    m_current = m_matches.empty() ? -1 : 0;
    Q_EMIT matchesChanged();
}

void TextFinder::storageChanged(qsizetype start, qsizetype removed, qsizetype added)
{
    if (m_foldedQuery.isEmpty() || !m_storage) return;
    const QString& text = m_storage->text();
    const qsizetype delta = added - removed;
    const TextRange currentMatch = m_current >= 0 ? m_matches[size_t(m_current)] : TextRange{};
    // A match the edit cut into is gone; one it did not touch only moves. New matches can only be
    // ones that take in some of the edit, so a stretch around it (a few query lengths, never past its
    // lines) is searched again, not the whole paragraph.
    auto crosses = [](const TextRange& r, qsizetype from, qsizetype to) {
        return from == to ? r.location < from && r.end() > from : r.location < to && r.end() > from;
    };
    std::vector<TextRange> matches;
    matches.reserve(m_matches.size() + 4);
    for (const TextRange& r : m_matches) {
        if (crosses(r, start, start + removed)) continue;
        matches.push_back(r.location >= start + removed ? TextRange{r.location + delta, r.length} : r);
    }
    const qsizetype margin = 4 * m_foldedQuery.size() + 16;
    // Only the stretch itself is looked at for line breaks: a long paragraph is not walked.
    qsizetype from = std::max<qsizetype>(0, start - margin);
    const qsizetype before = QStringView(text).mid(from, start - from).lastIndexOf(u'\n');
    if (before >= 0) from += before + 1;
    const qsizetype after = start + added;
    qsizetype to = std::min(text.size(), after + margin);
    const qsizetype next = QStringView(text).mid(after, to - after).indexOf(u'\n');
    if (next >= 0) to = after + next;
    std::vector<TextRange> found;
    search(from, to, found);
    for (const TextRange& r : found) {
        if (!crosses(r, start, start + added)) continue;
        const auto at = std::lower_bound(matches.begin(), matches.end(), r.location,
                                         [](const TextRange& m, qsizetype p) { return m.location < p; });
        // Greedy matching never lets two overlap: a kept neighbour wins.
        const bool clashes = (at != matches.end() && at->location < r.end()) ||
                             (at != matches.begin() && std::prev(at)->end() > r.location);
        if (!clashes) matches.insert(at, r);
    }
    m_matches = std::move(matches);

    // The current match stays the one nearest where it was.
    if (m_matches.empty()) {
        m_current = -1;
    } else {
        qsizetype at = currentMatch.location;
        if (at > start) at = at >= start + removed ? at + delta : start;
        m_current = -1;
        selectFrom(at);
    }
    Q_EMIT matchesChanged();
}

int TextFinder::next()
{
    if (m_matches.empty()) return m_current = -1;
    m_current = (m_current + 1) % int(m_matches.size());
    return m_current;
}

int TextFinder::previous()
{
    if (m_matches.empty()) return m_current = -1;
    m_current = m_current <= 0 ? int(m_matches.size()) - 1 : m_current - 1;
    return m_current;
}

int TextFinder::selectFrom(qsizetype position)
{
    if (m_matches.empty()) return m_current = -1;
    const auto it = std::lower_bound(m_matches.begin(), m_matches.end(), position,
                                     [](const TextRange& r, qsizetype p) { return r.location < p; });
    m_current = it == m_matches.end() ? 0 : int(it - m_matches.begin());
    return m_current;
}

QString TextFinder::status() const
{
    if (m_query.isEmpty()) return {};
    if (m_matches.empty()) return QStringLiteral("Not found");
    return QStringLiteral("%1 of %2").arg(m_current + 1).arg(m_matches.size());
}
