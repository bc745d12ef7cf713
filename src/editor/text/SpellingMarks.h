#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <vector>

#include "editor/text/TextViewModel.h"

class SpellChecker;

// The misspelt words of one text block, as UTF-16 ranges: view state only, never written into the
// text or its runs. The words an edit touched are checked at once; the rest of the block is checked in
// idle slices of a few milliseconds, so a long paste or load never holds up typing.
class SpellingMarks : public QObject {
    Q_OBJECT

public:
    // Longer words (a pasted hash, a line of one character) are never checked.
    static constexpr qsizetype maxWordLength = 100;
    // A block shows at most this many marks (a pasted word list in another language stays usable).
    static constexpr int maxMarks = 5000;
    // How long one idle slice may check words.
    static constexpr int sliceMilliseconds = 8;

    explicit SpellingMarks(TextStorage& storage, QObject* parent = nullptr);

    // No checker (or one without a dictionary) marks nothing.
    void setChecker(SpellChecker* checker);
    SpellChecker* checker() const { return m_checker; }

    const std::vector<TextRange>& marks() const { return m_marks; }
    // The mark covering a position (the caret may stand just behind the word).
    std::optional<TextRange> markAt(qsizetype position) const;
    // Whether words wait for an idle slice.
    bool hasPendingWork() const { return !m_pending.empty(); }
    // Runs one idle slice now (tests; the timer does it otherwise). Returns whether work is left.
    bool runSlice();

    // The word marked at a range is accepted for this run, or learnt for good; its marks go everywhere.
    void ignore(TextRange word);
    void learn(TextRange word);
    // A word another block ignored or learnt: its marks here go too.
    void accepted(const QString& word) { dropMarksOf(word); }

Q_SIGNALS:
    void marksChanged();

private:
    void storageChanged(qsizetype start, qsizetype removed, qsizetype added);
    void recheckAll();
    void dropMarksOf(const QString& word);
    // Checks the words starting in [from, to); stops at the deadline and returns where it stopped.
    qsizetype check(qsizetype from, qsizetype to, qint64 deadlineNs);
    void schedule();

    QPointer<TextStorage> m_storage;
    SpellChecker* m_checker = nullptr;
    std::vector<TextRange> m_marks;
    std::vector<TextRange> m_pending;  // ranges still to check, in current positions
    QTimer m_idle;
    int m_addedInCheck = 0;
};
