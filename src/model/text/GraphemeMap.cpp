#include "model/text/GraphemeMap.h"

#include <QTextBoundaryFinder>
#include <algorithm>

GraphemeMap::GraphemeMap(const QString& text) : m_text(text)
{
    m_starts.push_back(0);
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, m_text);
    for (qsizetype next = finder.toNextBoundary(); next > 0; next = finder.toNextBoundary()) m_starts.push_back(next);
    if (m_starts.back() != m_text.size()) m_starts.push_back(m_text.size());
    pairRegionalIndicators();
}

// Qt 6.4 miscounts regional indicators that follow an emoji (it splits a flag after "👧" and pairs the
// halves of two neighbouring flags), so inside each run of them the boundaries are set again: one falls
// before every indicator that has an even number of indicators before it in the run.
void GraphemeMap::pairRegionalIndicators()
{
    auto isIndicator = [this](qsizetype i) {
        if (i + 1 >= m_text.size() || !m_text[i].isHighSurrogate()) return false;
        const char32_t c = QChar::surrogateToUcs4(m_text[i], m_text[i + 1]);
        return c >= 0x1F1E6 && c <= 0x1F1FF;
    };
    for (qsizetype i = 0; i < m_text.size();) {
        if (!isIndicator(i)) {
            ++i;
            continue;
        }
        qsizetype count = 0;
        for (; isIndicator(i); i += 2, ++count) {
            if (count == 0) continue;
            const auto it = std::lower_bound(m_starts.begin(), m_starts.end(), i);
            const bool present = it != m_starts.end() && *it == i;
            if (count % 2 == 0 && !present) {
                m_starts.insert(it, i);
            } else if (count % 2 == 1 && present) {
                m_starts.erase(it);
            }
        }
    }
}

qsizetype GraphemeMap::toUtf16(qsizetype index) const
{
    return m_starts[size_t(std::clamp<qsizetype>(index, 0, count()))];
}

qsizetype GraphemeMap::toGrapheme(qsizetype utf16Offset, bool roundUp) const
{
    const qsizetype offset = std::clamp<qsizetype>(utf16Offset, 0, m_text.size());
    const auto it = std::upper_bound(m_starts.begin(), m_starts.end(), offset);
    qsizetype index = qsizetype(it - m_starts.begin()) - 1;  // the cluster that starts at or before offset
    if (roundUp && m_starts[size_t(index)] != offset) ++index;
    return index;
}

bool GraphemeMap::isBoundary(qsizetype utf16Offset) const
{
    return std::binary_search(m_starts.begin(), m_starts.end(), utf16Offset);
}

QStringView GraphemeMap::at(qsizetype index) const
{
    if (index < 0 || index >= count()) return {};
    return QStringView(m_text).mid(m_starts[size_t(index)], m_starts[size_t(index) + 1] - m_starts[size_t(index)]);
}
