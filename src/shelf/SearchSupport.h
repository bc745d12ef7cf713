#pragma once

#include <QString>
#include <optional>

class Note;

// What a search result row shows: a one-line excerpt around the first occurrence of the query, and
// that occurrence marked bold. Lengths and positions of the excerpt count user-perceived characters;
// the marked range is in UTF-16 units so that a text layout can take it as it is.
struct SearchSupport {
    // Characters kept before the occurrence.
    static constexpr int leadCharacters = 28;

    // A text with at most one span set strongly emphasised (drawn bold).
    struct Highlighted {
        struct Span {
            qsizetype start = 0;  // UTF-16 units
            qsizetype length = 0;
            bool operator==(const Span&) const = default;
        };
        QString text;
        std::optional<Span> stronglyEmphasized;
    };

    // The excerpt of text around the first case-insensitive occurrence of the trimmed query: pictures
    // (U+FFFC) and line feeds read as spaces, at most leadCharacters before the occurrence and
    // limit - leadCharacters after it, "…" where text was cut off around it. Without a query or an
    // occurrence, the first limit characters with no "…". Nothing when the cleaned text is empty.
    static std::optional<QString> snippet(const QString& text, const QString& query, int limit);

    // The whole text with the first case-insensitive occurrence of the trimmed query marked.
    static Highlighted highlight(const QString& text, const QString& query);

    // The excerpt a note's row shows in search results: none for a locked note, whether or not it is
    // unlocked for now, so no part of a private body reaches a row.
    static std::optional<QString> noteSnippet(const Note& note, const QString& query, int limit);
};
