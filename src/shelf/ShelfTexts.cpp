#include "shelf/ShelfTexts.h"

#include <QTextBoundaryFinder>

#include "capture/HotkeyGlyphs.h"
#include "model/Capture.h"
#include "model/Note.h"
#include "platform/Settings.h"
#include "shelf/SearchSupport.h"

namespace {

bool isBlank(QChar c)
{
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

}  // namespace

QString ShelfTexts::firstLine(const QString& text)
{
    const QStringView head = QStringView(text).left(displayPrefix);
    qsizetype start = 0;
    while (start < head.size()) {
        qsizetype end = start;
        while (end < head.size() && head[end] != u'\n' && head[end] != u'\r') ++end;
        if (end > start) return head.mid(start, end - start).toString();
        start = end + 1;
    }
    return head.toString();
}

QString ShelfTexts::drawable(const QString& text)
{
    QString out = text.left(displayPrefix);
    for (QChar& c : out) {
        const QChar::Category category = c.category();
        if (category == QChar::Other_Control || category == QChar::Separator_Line ||
            category == QChar::Separator_Paragraph)
            c = u' ';
    }
    return out;
}

QString ShelfTexts::noteTitle(const Note& note)
{
    return note.isLocked() ? note.lockedTitle() : note.displayTitle();
}

QString ShelfTexts::trimmedQuery(const QString& query)
{
    qsizetype from = 0, to = query.size();
    while (from < to && isBlank(query[from])) ++from;
    while (to > from && isBlank(query[to - 1])) --to;
    return query.mid(from, to - from);
}

std::optional<QString> ShelfTexts::noteSnippet(const Note& note, const QString& query, bool inSearch)
{
    if (!inSearch || note.isLocked()) return std::nullopt;
    return SearchSupport::snippet(note.body(), trimmedQuery(query), snippetLimit);
}

std::optional<QString> ShelfTexts::captureSnippet(const Capture& capture, const QString& query, bool inSearch)
{
    if (!inSearch) return std::nullopt;
    const QString& text = capture.text();
    const auto snippet = SearchSupport::snippet(text, trimmedQuery(query), snippetLimit);
    if (!snippet || *snippet == firstLine(text)) return std::nullopt;
    return snippet;
}

QString ShelfTexts::rowLabel(const QString& title, const std::optional<QString>& source,
                             const std::optional<QString>& snippet)
{
    QStringList parts{title};
    if (source) parts << *source;
    if (snippet) parts << *snippet;
    return drawable(parts.join(QStringLiteral(", ")));
}

QString ShelfTexts::chord(HotkeyManager::Shortcut shortcut)
{
    return HotkeyGlyphs::chord(shortcut.keyCode, shortcut.modifiers);
}

QString ShelfTexts::chord(HotkeyManager::Action action, const Settings& settings)
{
    // The binding in force: a missing or corrupt stored one reads as the default.
    return chord(HotkeyManager::storedBinding(action, settings));
}

QString ShelfTexts::notesHint(const Settings& settings)
{
    return QStringLiteral("No notes yet. Press ") + chord(HotkeyManager::Action::newNote, settings) +
           QStringLiteral(" anywhere.");
}

QString ShelfTexts::capturesHint(const Settings& settings)
{
    return QStringLiteral("Nothing captured yet. Select text anywhere and press ") +
           chord(HotkeyManager::Action::capture, settings) + QStringLiteral(".");
}

QString ShelfTexts::binHint()
{
    return QStringLiteral("The bin is empty. Deleted notes rest here for 30 days.");
}

QString ShelfTexts::searchPrompt()
{
    return QStringLiteral("Type to search your notes and captures.");
}

QString ShelfTexts::middleElided(const QString& text, int maxCharacters)
{
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
    QList<qsizetype> bounds{0};
    while (graphemes.toNextBoundary() >= 0) bounds << graphemes.position();
    const int count = int(bounds.size()) - 1;
    if (count <= maxCharacters) return text;
    const int head = (maxCharacters - 1) / 2 + (maxCharacters - 1) % 2;
    const int tail = maxCharacters - 1 - head;
    return text.left(bounds[head]) + QChar(0x2026) + text.mid(bounds[count - tail]);
}

QString ShelfTexts::noMatch(const QString& query)
{
    // A long query is shortened in the middle, so the line keeps both its ends and its closing mark.
    return QStringLiteral("Nothing matches \u201C") + drawable(middleElided(trimmedQuery(query), noMatchQueryLength)) +
           QStringLiteral("\u201D.");
}

QString ShelfTexts::captureBanner(const Settings& settings)
{
    return chord(HotkeyManager::Action::capture, settings) +
           QStringLiteral(" can't read your selection. Fix in Permissions.");
}
