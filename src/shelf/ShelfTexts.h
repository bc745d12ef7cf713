#pragma once

#include <QColor>
#include <QString>
#include <optional>

#include "capture/HotkeyManager.h"

class Capture;
class Note;
class Settings;

// The texts a shelf row shows and says. Titles, snippets and source names come from notes, other
// applications and the user: they are drawn as plain text, never as markup, and only from a bounded
// prefix, so a capture of several megabytes on one line costs no more to draw than a short one. A
// search snippet is looked for in the whole text, and only its excerpt is drawn.
struct ShelfTexts {
    // How much of a text a row draws at most (UTF-16 units).
    static constexpr qsizetype displayPrefix = 4096;
    static constexpr int snippetLimit = 96;

    // The first non-empty line of a text: lines end at a line feed, a carriage return and line feed, or
    // a lone carriage return. A text without a non-empty line comes back as it is. Looks at the
    // bounded prefix only.
    static QString firstLine(const QString& text);
    // The text as one drawable line: control characters (line breaks, tabs, escapes, bidi controls are
    // kept) become spaces, and it is cut to the bounded prefix.
    static QString drawable(const QString& text);

    // What a note's row is titled: the locked title for a locked note, whether or not it is open now.
    static QString noteTitle(const Note& note);
    // The second line of a note row in search results: none outside search and none for a locked note.
    static std::optional<QString> noteSnippet(const Note& note, const QString& query, bool inSearch);
    // The second line of a capture row: in search only, and only when it says more than the first line.
    static std::optional<QString> captureSnippet(const Capture& capture, const QString& query, bool inSearch);
    // The query as the row texts use it: spaces and tabs trimmed, line breaks kept.
    static QString trimmedQuery(const QString& query);

    // The accessible name of a row: title, source and snippet, the absent ones left out, joined by ", ".
    static QString rowLabel(const QString& title, const std::optional<QString>& source,
                            const std::optional<QString>& snippet);

    // A chord as this desktop writes it ("Alt+Shift+Space").
    static QString chord(HotkeyManager::Shortcut shortcut);
    static QString chord(HotkeyManager::Action action, const Settings& settings);

    // The empty-state lines.
    static QString notesHint(const Settings& settings);
    static QString capturesHint(const Settings& settings);
    static QString binHint();
    static QString searchPrompt();
    static QString noMatch(const QString& query);
    // How many characters of the query the no-match line shows at most.
    static constexpr int noMatchQueryLength = 40;
    // The text with at most maxCharacters user-perceived characters, its middle replaced by "…".
    static QString middleElided(const QString& text, int maxCharacters);
    // The capture banner, shown while selections cannot be read.
    static QString captureBanner(const Settings& settings);
};
