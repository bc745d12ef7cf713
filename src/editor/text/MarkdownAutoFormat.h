#pragma once

#include <QColor>
#include <QString>
#include <map>
#include <optional>
#include <vector>

#include "model/text/AttributedText.h"

// The list-line grammar and the markdown, list, check-box and indent operations of a text block.
//
// Lists are plain characters: four spaces a level, then "• ", "☐ ", "☑ " or an ordinal with "." or ")"
// and a space. Every position here counts user-perceived characters (grapheme clusters) from the start
// of the given text; the controller converts from and to UTF-16 with GraphemeMap at each call. The
// functions rewrite the attributed text they are given and know nothing of any view.
class MarkdownAutoFormat {
public:
    enum class Ordinal { decimal, lowerAlpha, lowerRoman };

    struct ListItem {
        qsizetype indent = 0;  // leading spaces
        QString marker;        // with its space
        qsizetype markerLength = 0;
        friend bool operator==(const ListItem&, const ListItem&) = default;
    };

    struct OrderedMarker {
        qint64 number = 0;
        Ordinal style = Ordinal::decimal;
        QChar delimiter;
        qsizetype markerCount = 0;  // the ordinal's length + 2
        friend bool operator==(const OrderedMarker&, const OrderedMarker&) = default;
    };

    struct ReturnAction {
        enum class Kind {
            continueList,  // text: the prefix of the new line
            replaceLine,   // text: replaces the finished empty item and the new line break
            endList,       // the finished empty item and the new line break are removed
        };
        Kind kind = Kind::endList;
        QString text;
        friend bool operator==(const ReturnAction&, const ReturnAction&) = default;
    };

    struct Outcome {
        qsizetype caret = 0;
        // Absent: leave the typing attributes alone. Present and empty: plain body typing attributes.
        // Present with a font: body typing attributes with that font.
        std::optional<std::optional<TextFont>> typingFont;
        friend bool operator==(const Outcome&, const Outcome&) = default;
    };

    struct Selection {
        qsizetype start = 0;
        qsizetype end = 0;
        friend bool operator==(const Selection&, const Selection&) = default;
    };

    // Numbers the ordered items of one text, fed its lines top to bottom.
    struct OrderedNumbering {
        struct Run {
            qint64 value = 0;
            QChar delimiter;
        };
        std::map<qsizetype, Run> runs;  // by depth

        // The marker the line should carry, or none when it is no ordered item.
        std::optional<QString> marker(const QString& line);
    };

    // Rewrites the paragraph around the caret after one typed character when that completed a markdown
    // shortcut: list and heading markers, a closing "**", or a line break after a list or heading line.
    // `base` is the body font, used for characters without a font; "**" makes the inner characters bold
    // in their own family and keeps their other attributes. New markers carry `typing`. None when no
    // rule fired; the text is then unchanged.
    static std::optional<Outcome> apply(AttributedText& text, qsizetype caret, const TextFont& base,
                                        const TextAttributes& typing = {});

    static std::optional<ListItem> listItem(const QString& line);
    static std::optional<OrderedMarker> orderedMarker(const QString& rest, qsizetype depth);
    static std::optional<qint64> ordinalValue(const QString& text, Ordinal style);
    static QString ordinalText(qint64 number, Ordinal style);
    // Depth 0 decimal, 1 lower alpha, 2 lower roman, then around again.
    static Ordinal ordinalStyle(qsizetype depth);

    static std::optional<ReturnAction> returnAction(const QString& prevLine);

    // The paragraph commands answer the range to select afterwards, or none (text unchanged) when they
    // found nothing to work on. Only markers and the done styling change: new markers carry `typing`,
    // and content that stops being done takes `typing`'s ink (none: no colour of its own).
    static std::optional<Selection> toggleList(AttributedText& text, qsizetype selStart, qsizetype selEnd, bool ordered,
                                               const TextAttributes& typing = {});
    static std::optional<Selection> toggleDone(AttributedText& text, qsizetype selStart, qsizetype selEnd,
                                               const TextAttributes& typing = {});
    // direction <= 0 outdents, >= 1 indents.
    static std::optional<Selection> shiftIndent(AttributedText& text, qsizetype selStart, qsizetype selEnd,
                                                int direction, const TextAttributes& typing = {});

    // The ink of a done item's content, drawn struck through.
    static const QColor& doneColor();

    static constexpr QStringView bulletMarker = u"• ";
    static constexpr QStringView openMarker = u"☐ ";
    static constexpr QStringView doneMarker = u"☑ ";
};
