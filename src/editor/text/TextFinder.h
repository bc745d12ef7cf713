#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <vector>

#include "editor/text/TextViewModel.h"

// The matches of a find query in one text block, ignoring case and accents, as UTF-16 ranges. The list
// follows the block's edits: only the paragraphs an edit touched are searched again, so typing in a long
// block with the find bar open costs about what it costs without. A match never spans a line break.
class TextFinder : public QObject {
    Q_OBJECT

public:
    explicit TextFinder(TextStorage& storage, QObject* parent = nullptr);

    void setQuery(const QString& query);
    const QString& query() const { return m_query; }
    const std::vector<TextRange>& matches() const { return m_matches; }
    // The match shown as current, -1 when there is none.
    int current() const { return m_current; }
    // Moves to the next (or previous) match, wrapping around; returns the new current index.
    int next();
    int previous();
    // Makes current the first match at or after a position (wrapping to the first).
    int selectFrom(qsizetype position);
    // "n of m", or "Not found" for a query without matches; empty for an empty query.
    QString status() const;

    // A text folded for matching: lower case, accents and other combining marks dropped, with the
    // offset in the original text each folded unit came from.
    struct Folded {
        QString text;
        std::vector<qsizetype> origin;
    };
    static Folded fold(QStringView text, qsizetype offset = 0);

Q_SIGNALS:
    void matchesChanged();

private:
    void storageChanged(qsizetype start, qsizetype removed, qsizetype added);
    // Appends the matches inside text[from, to) (whole paragraphs).
    void search(qsizetype from, qsizetype to, std::vector<TextRange>& out) const;

    QPointer<TextStorage> m_storage;
    QString m_query;
    QString m_foldedQuery;
    std::vector<TextRange> m_matches;
    int m_current = -1;
};
