#include "editor/text/SpellingMarks.h"

#include <QElapsedTimer>

#include "platform/SpellChecker.h"

namespace {

// Letters and marks make words; an apostrophe between letters keeps them one ("don't").
bool isWordCharacter(QChar c)
{
    return c.isLetter() || c.isMark() || c.isHighSurrogate() || c.isLowSurrogate();
}

bool isApostrophe(QChar c)
{
    return c == u'\'' || c == QChar(0x2019);
}

bool isInWord(QChar c)
{
    return isWordCharacter(c) || c.isDigit() || isApostrophe(c);
}

// Extends a range outwards to whole words (and the digits or apostrophes glued to them), but never
// further than a checked word can reach: a longer one is not checked anyway.
qsizetype wordStartBefore(const QString& text, qsizetype p)
{
    const qsizetype floor = std::max<qsizetype>(0, p - SpellingMarks::maxWordLength - 1);
    while (p > floor && isInWord(text[p - 1])) --p;
    return p;
}

qsizetype wordEndAfter(const QString& text, qsizetype p)
{
    const qsizetype ceiling = std::min<qsizetype>(text.size(), p + SpellingMarks::maxWordLength + 1);
    while (p < ceiling && isInWord(text[p])) ++p;
    return p;
}

void shift(std::vector<TextRange>& ranges, qsizetype start, qsizetype removed, qsizetype added)
{
    const qsizetype delta = added - removed;
    for (TextRange& r : ranges) {
        if (r.location >= start + removed) r.location += delta;
    }
}

}  // namespace

SpellingMarks::SpellingMarks(TextStorage& storage, QObject* parent) : QObject(parent), m_storage(&storage)
{
    m_idle.setSingleShot(true);
    m_idle.setInterval(0);
    connect(&m_idle, &QTimer::timeout, this, [this] {
        if (runSlice()) schedule();
    });
    connect(&storage, &TextStorage::changed, this, &SpellingMarks::storageChanged);
}

void SpellingMarks::setChecker(SpellChecker* checker)
{
    m_checker = checker;
    recheckAll();
}

void SpellingMarks::recheckAll()
{
    const bool had = !m_marks.empty();
    m_marks.clear();
    m_pending.clear();
    m_idle.stop();
    if (m_checker && m_checker->isAvailable() && m_storage && m_storage->length() > 0) {
        m_pending.push_back({0, m_storage->length()});
        schedule();
    }
    if (had) Q_EMIT marksChanged();
}

void SpellingMarks::schedule()
{
    if (!m_pending.empty() && !m_idle.isActive()) m_idle.start();
}

std::optional<TextRange> SpellingMarks::markAt(qsizetype position) const
{
    for (const TextRange& r : m_marks)
        if (position >= r.location && position <= r.end()) return r;
    return std::nullopt;
}

void SpellingMarks::storageChanged(qsizetype start, qsizetype removed, qsizetype added)
{
    if (!m_checker || !m_checker->isAvailable() || !m_storage) return;
    const QString& text = m_storage->text();
    // The words the edit touched, in the new text, and where they stood in the old one.
    const qsizetype from = wordStartBefore(text, start);
    const qsizetype to = wordEndAfter(text, start + added);
    const qsizetype delta = added - removed;
    const qsizetype oldTo = to - delta;

    const size_t before = m_marks.size();
    std::erase_if(m_marks, [&](const TextRange& r) { return r.end() >= from && r.location <= oldTo; });
    const bool dropped = m_marks.size() != before;
    shift(m_marks, start, removed, added);
    // Pending ranges move with the text; one cut by the edit keeps its outer parts.
    for (TextRange& r : m_pending) {
        const qsizetype s = r.location <= start ? r.location : std::max(start + added, r.location + delta);
        const qsizetype e = r.end() <= start ? r.end() : std::max(start + added, r.end() + delta);
        r = {s, std::max<qsizetype>(0, e - s)};
    }
    std::erase_if(m_pending, [](const TextRange& r) { return r.length == 0; });

    // The touched words are checked now; past a slice's worth (a long paste), the rest waits.
    QElapsedTimer clock;
    clock.start();
    m_addedInCheck = 0;
    const qsizetype stopped = check(from, to, clock.nsecsElapsed() + qint64(sliceMilliseconds) * 1000000);
    if (stopped < to) {
        m_pending.push_back({stopped, to - stopped});
        schedule();
    }
    // The view's marks follow the text by themselves; only a mark gone or new needs drawing again.
    const bool marked = m_addedInCheck > 0;
    m_addedInCheck = 0;
    if (dropped || marked) Q_EMIT marksChanged();
}

qsizetype SpellingMarks::check(qsizetype from, qsizetype to, qint64 deadlineNs)
{
    QElapsedTimer clock;
    clock.start();
    const QString& text = m_storage->text();
    to = std::min(to, text.size());
    qsizetype i = std::max<qsizetype>(0, from);
    while (i < to) {
        if (!isWordCharacter(text[i]) && !text[i].isDigit()) {
            ++i;
            continue;
        }
        const qsizetype start = i;
        bool digits = false;
        const qsizetype longest = std::min<qsizetype>(text.size(), start + maxWordLength + 1);
        while (i < longest && (isWordCharacter(text[i]) || text[i].isDigit() ||
                               (isApostrophe(text[i]) && i + 1 < text.size() && isWordCharacter(text[i + 1])))) {
            digits = digits || text[i].isDigit();
            ++i;
        }
        const qsizetype length = i - start;
        if (length > maxWordLength) {
            // An overlong run is skipped to its end, or to the end of the stretch being checked.
            while (i < to && isInWord(text[i])) ++i;
            continue;
        }
        // Words with digits (model numbers, dates) are left alone.
        if (digits) continue;
        if (!m_checker->isCorrect(QStringView(text).mid(start, length))) {
            // Kept in order; a word checked twice (an edit inside a range still pending) is marked once.
            const TextRange mark{start, length};
            const auto at =
                std::lower_bound(m_marks.begin(), m_marks.end(), mark,
                                 [](const TextRange& a, const TextRange& b) { return a.location < b.location; });
            if ((at == m_marks.end() || *at != mark) && m_marks.size() < size_t(maxMarks)) {
                m_marks.insert(at, mark);
                ++m_addedInCheck;
            }
        }
        if (clock.nsecsElapsed() > deadlineNs) return i;
    }
    return to;
}

bool SpellingMarks::runSlice()
{
    if (m_pending.empty() || !m_checker || !m_storage) return false;
    QElapsedTimer clock;
    clock.start();
    const qint64 deadline = qint64(sliceMilliseconds) * 1000000;
    m_addedInCheck = 0;
    while (!m_pending.empty() && clock.nsecsElapsed() < deadline) {
        TextRange& r = m_pending.back();
        const qsizetype stopped = check(r.location, r.end(), deadline - clock.nsecsElapsed());
        if (stopped >= r.end())
            m_pending.pop_back();
        else
            r = {stopped, r.end() - stopped};
    }
    if (m_addedInCheck > 0) {
        m_addedInCheck = 0;
        Q_EMIT marksChanged();
    }
    return !m_pending.empty();
}

void SpellingMarks::dropMarksOf(const QString& word)
{
    const QString& text = m_storage->text();
    const size_t before = m_marks.size();
    std::erase_if(m_marks, [&](const TextRange& r) { return QStringView(text).mid(r.location, r.length) == word; });
    if (m_marks.size() != before) Q_EMIT marksChanged();
}

void SpellingMarks::ignore(TextRange word)
{
    if (!m_checker || !m_storage) return;
    const QString w = m_storage->text().mid(word.location, word.length);
    if (w.isEmpty()) return;
    m_checker->ignore(w);
    dropMarksOf(w);
}

void SpellingMarks::learn(TextRange word)
{
    if (!m_checker || !m_storage) return;
    const QString w = m_storage->text().mid(word.location, word.length);
    if (w.isEmpty()) return;
    m_checker->learn(w);
    dropMarksOf(w);
}
