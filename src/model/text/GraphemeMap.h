#pragma once

#include <QString>
#include <vector>

// Converts between UTF-16 offsets (what text views and stored runs count) and user-perceived character
// offsets (grapheme clusters, what the list and markdown logic counts) for one string.
class GraphemeMap {
public:
    explicit GraphemeMap(const QString& text);

    // The number of user-perceived characters.
    qsizetype count() const { return qsizetype(m_starts.size()) - 1; }
    // The UTF-16 offset where character `index` starts, index clamped into 0 ... count().
    qsizetype toUtf16(qsizetype index) const;
    // The character index of a UTF-16 offset (clamped into the text). An offset inside a cluster gives
    // the cluster that holds it, or with roundUp the one after it, so a selection end keeps the cluster.
    qsizetype toGrapheme(qsizetype utf16Offset, bool roundUp = false) const;
    // True when a cluster starts (or the text ends) at the UTF-16 offset.
    bool isBoundary(qsizetype utf16Offset) const;
    // The text of character `index` (empty outside the text).
    QStringView at(qsizetype index) const;

private:
    void pairRegionalIndicators();

    QString m_text;
    std::vector<qsizetype> m_starts;  // cluster starts, then the text length
};
