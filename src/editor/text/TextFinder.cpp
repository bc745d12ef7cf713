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
    folded.text.reserve(text.size());
    folded.origin.reserve(size_t(text.size()));
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = text[i].unicode();
        if (u < 0x80) {
            folded.text += QChar(u >= u'A' && u <= u'Z' ? u + 32 : u);
            folded.origin.push_back(offset + i);
            continue;
        }
        char32_t c = u;
        qsizetype width = 1;
        if (QChar::isHighSurrogate(u) && i + 1 < n && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(u, text[i + 1].unicode());
            width = 2;
        }
        // U+FFFC (a picture's place) and unpaired surrogates never match letters.
        const QString& f =
            (c == 0xFFFC || QChar::isSurrogate(c)) ? QString(QChar(c == 0xFFFC ? 0xFFFC : 0xFFFD)) : foldedCodePoint(c);
        for (QChar unit : f) {
            folded.text += unit;
            folded.origin.push_back(offset + i);
        }
        i += width - 1;
    }
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
    // The paragraphs the edit touched, in the new text, and where they ended before it.
    const qsizetype from = start <= 0 ? 0 : text.lastIndexOf(u'\n', start - 1) + 1;
    const qsizetype e = text.indexOf(u'\n', start + added);
    const qsizetype to = e < 0 ? text.size() : e;
    const qsizetype delta = added - removed;
    const qsizetype oldTo = to - delta;
    const TextRange currentMatch = m_current >= 0 ? m_matches[size_t(m_current)] : TextRange{};

    std::vector<TextRange> matches;
    matches.reserve(m_matches.size() + 4);
    size_t i = 0;
    while (i < m_matches.size() && m_matches[i].end() <= from && m_matches[i].location < from)
        matches.push_back(m_matches[i++]);
    while (i < m_matches.size() && m_matches[i].location <= oldTo) ++i;
    search(from, to, matches);
    for (; i < m_matches.size(); ++i) matches.push_back({m_matches[i].location + delta, m_matches[i].length});
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
