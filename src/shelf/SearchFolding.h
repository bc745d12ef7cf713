#pragma once

#include <QString>
#include <QStringView>
#include <QVector>
#include <string>
#include <string_view>

// The text comparisons behind search. Matching always works on whole user-perceived characters
// (extended grapheme clusters) of canonically composed text: "é" written precomposed or as "e" plus a
// combining accent is the same character, and "e" never matches the first half of either.
struct SearchFolding {
    // Appends the text lower-cased with the Unicode default mapping (no locale), the final sigma "ς" as
    // "σ" (so that only case is ignored: lower-casing tells them apart by their place in a word),
    // composed (NFC), as UTF-8. Unpaired surrogates become U+FFFD.
    static void appendLowered(QStringView text, std::string& out);
    // The same for text held as UTF-8, as appendLowered(QString::fromUtf8(utf8)) gives it (malformed
    // bytes become U+FFFD), without turning the ASCII stretches into UTF-16 first.
    static void appendLoweredUtf8(std::string_view utf8, std::string& out);
    static std::string lowered(QStringView text);

    // Whether needle occurs in haystack beginning and ending on character boundaries. Both sides must
    // come from appendLowered (or another valid UTF-8 source); an empty needle is always found.
    static bool contains(std::string_view haystack, std::string_view needle);
    // Whether a character boundary lies before the byte at pos (pos at the start of a code point).
    static bool isCharacterBoundary(std::string_view text, size_t pos);

    // UTF-16 offsets of the character boundaries of text, from 0 to its length, both included.
    static QVector<qsizetype> characterBoundaries(QStringView text);

    // A case-insensitive view of a text, one character at a time, remembering where each character of
    // the original text lies in the folded one so that a match can be mapped back.
    struct CaseFolded {
        QString folded;
        // Offset in folded at which each character starts, with folded.size() appended at the end.
        QVector<qsizetype> characterStarts;
    };
    // Case folding (Unicode full default folding) and composition per character, over the given
    // character boundaries of text.
    static CaseFolded caseFolded(QStringView text, const QVector<qsizetype>& boundaries);
    // The query folded the same way as a whole.
    static QString caseFoldedQuery(QStringView query);
    // The first occurrence of the folded query that starts and ends on character boundaries, as the
    // index of its first character and the index one past its last; {-1, -1} when there is none.
    static std::pair<qsizetype, qsizetype> findCharacters(const CaseFolded& text, const QString& foldedQuery);
};
