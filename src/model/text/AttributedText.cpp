#include "model/text/AttributedText.h"

#include <QFontDatabase>
#include <algorithm>
#include <cmath>

QFont TextFont::toQFont() const
{
    QFont font = family.isEmpty() ? QFontDatabase::systemFont(QFontDatabase::GeneralFont) : QFont(family);
    font.setPointSizeF(pointSize * qtPointsPerDesignPoint);
    font.setWeight(static_cast<QFont::Weight>(std::clamp(weight, 1, 1000)));
    font.setItalic(italic);
    return font;
}

TextFont TextFont::fromQFont(const QFont& font)
{
    const QString system = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    const QString family = font.family() == system ? QString() : font.family();
    // Round to a hundredth of a point so that a round trip gives back the design size exactly.
    const qreal size = std::round(font.pointSizeF() / qtPointsPerDesignPoint * 100) / 100;
    return TextFont{family, size, font.weight(), font.italic()};
}

AttributedText::AttributedText(const QString& text, const TextAttributes& attributes) : m_text(text)
{
    if (!m_text.isEmpty()) m_runs.push_back({0, m_text.size(), attributes});
}

TextAttributes AttributedText::attributesAt(qsizetype position) const
{
    if (position < 0 || position >= m_text.size()) return {};
    const auto it = std::upper_bound(m_runs.begin(), m_runs.end(), position,
                                     [](qsizetype pos, const Run& run) { return pos < run.start; });
    return std::prev(it)->attributes;
}

void AttributedText::setAttributes(qsizetype start, qsizetype length, const TextAttributes& attributes)
{
    modify(start, length, [&](TextAttributes& a) { a = attributes; });
}

void AttributedText::append(const QString& text, const TextAttributes& attributes)
{
    if (text.isEmpty()) return;
    appendRun({m_text.size(), text.size(), attributes});
    m_text += text;
}

void AttributedText::append(const AttributedText& other)
{
    const qsizetype offset = m_text.size();
    m_text += other.m_text;
    for (Run run : other.m_runs) {
        run.start += offset;
        appendRun(std::move(run));
    }
}

void AttributedText::appendRun(Run run)
{
    if (run.length <= 0) return;
    if (!m_runs.empty() && m_runs.back().attributes == run.attributes)
        m_runs.back().length += run.length;
    else
        m_runs.push_back(std::move(run));
}

AttributedText AttributedText::mid(qsizetype start, qsizetype length) const
{
    AttributedText result;
    if (!clip(start, length)) return result;
    result.m_text = m_text.mid(start, length);
    const qsizetype end = start + length;
    for (const Run& run : m_runs) {
        const qsizetype from = std::max(run.start, start);
        const qsizetype to = std::min(run.start + run.length, end);
        if (from < to) result.m_runs.push_back({from - start, to - from, run.attributes});
    }
    return result;
}

bool AttributedText::startsWith(const AttributedText& prefix) const
{
    const qsizetype n = prefix.length();
    if (n > length() || QStringView(m_text).first(n) != QStringView(prefix.m_text)) return false;
    // Runs cover the text and neighbours differ, so the runs of the prefix are this text's but for its
    // last, which may go on.
    if (prefix.m_runs.size() > m_runs.size()) return false;
    for (size_t i = 0; i < prefix.m_runs.size(); ++i) {
        const Run& own = prefix.m_runs[i];
        const Run& other = m_runs[i];
        const bool last = i + 1 == prefix.m_runs.size();
        if (other.start != own.start || !(other.attributes == own.attributes)) return false;
        if (last ? other.length < own.length : other.length != own.length) return false;
    }
    return true;
}

void AttributedText::remove(qsizetype start, qsizetype length)
{
    if (!clip(start, length)) return;
    replace(start, length, AttributedText());
}

void AttributedText::replaceRanges(const std::vector<Edit>& edits)
{
    if (edits.empty()) return;
    AttributedText result;
    result.m_text.reserve(m_text.size());
    size_t r = 0;
    // Copies [from, to) of this text; calls come in text order, so the run index only moves forward.
    auto copy = [&](qsizetype from, qsizetype to) {
        from = std::clamp<qsizetype>(from, 0, m_text.size());
        to = std::clamp<qsizetype>(to, from, m_text.size());
        if (to <= from) return;
        const qsizetype offset = result.m_text.size() - from;
        result.m_text.append(QStringView(m_text).mid(from, to - from));
        while (r < m_runs.size() && m_runs[r].start + m_runs[r].length <= from) ++r;
        for (size_t i = r; i < m_runs.size() && m_runs[i].start < to; ++i) {
            const qsizetype a = std::max(from, m_runs[i].start);
            const qsizetype b = std::min(to, m_runs[i].start + m_runs[i].length);
            result.appendRun({a + offset, b - a, m_runs[i].attributes});
        }
    };
    qsizetype at = 0;
    for (const Edit& edit : edits) {
        const qsizetype start = std::max(at, edit.start);
        copy(at, start);
        result.append(edit.with);
        at = std::max(start, std::min(m_text.size(), start + edit.length));
    }
    copy(at, m_text.size());
    *this = std::move(result);
}

void AttributedText::removeAll(QChar character)
{
    if (!m_text.contains(character)) return;
    std::vector<Edit> edits;
    for (qsizetype i = m_text.indexOf(character); i >= 0; i = m_text.indexOf(character, i + 1))
        edits.push_back({i, 1, AttributedText()});
    replaceRanges(edits);
}

size_t AttributedText::splitAt(qsizetype position)
{
    const auto it = std::upper_bound(m_runs.begin(), m_runs.end(), position,
                                     [](qsizetype pos, const Run& run) { return pos < run.start; });
    if (it == m_runs.begin()) return 0;
    const size_t i = size_t(it - m_runs.begin()) - 1;
    Run& run = m_runs[i];
    if (run.start == position) return i;
    if (position < run.start + run.length) {
        Run tail{position, run.start + run.length - position, run.attributes};
        run.length = position - run.start;
        m_runs.insert(m_runs.begin() + static_cast<std::ptrdiff_t>(i) + 1, std::move(tail));
        return i + 1;
    }
    return m_runs.size();
}

void AttributedText::replace(qsizetype start, qsizetype length, const AttributedText& with)
{
    start = std::clamp<qsizetype>(start, 0, m_text.size());
    length = std::clamp<qsizetype>(length, 0, m_text.size() - start);
    if (start == 0 && length == m_text.size()) {
        // Everything replaced (a note loaded): the new text is shared, not copied.
        *this = with;
        return;
    }
    const size_t first = splitAt(start);
    const size_t last = splitAt(start + length);
    m_runs.erase(m_runs.begin() + std::ptrdiff_t(first), m_runs.begin() + std::ptrdiff_t(last));
    const qsizetype delta = with.length() - length;
    for (size_t i = first; i < m_runs.size(); ++i) m_runs[i].start += delta;
    std::vector<Run> inserted = with.m_runs;
    for (Run& run : inserted) run.start += start;
    m_runs.insert(m_runs.begin() + std::ptrdiff_t(first), inserted.begin(), inserted.end());
    m_text.replace(start, length, with.m_text);
    normalizeAround(first == 0 ? 0 : first - 1, first + inserted.size() + 1);
}

void AttributedText::normalizeAround(size_t first, size_t last)
{
    last = std::min(last, m_runs.size() ? m_runs.size() - 1 : 0);
    for (size_t i = last; i > first && i < m_runs.size(); --i) {
        if (m_runs[i - 1].attributes == m_runs[i].attributes) {
            m_runs[i - 1].length += m_runs[i].length;
            m_runs.erase(m_runs.begin() + std::ptrdiff_t(i));
        }
    }
}

bool AttributedText::clip(qsizetype& start, qsizetype& length) const
{
    if (start < 0) {
        length += start;
        start = 0;
    }
    length = std::min(length, m_text.size() - start);
    return start < m_text.size() && length > 0;
}
