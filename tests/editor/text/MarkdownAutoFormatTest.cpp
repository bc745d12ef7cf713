#include <gtest/gtest.h>

#include <QRegularExpression>
#include <limits>

#include "editor/text/MarkdownAutoFormat.h"

namespace {

using MAF = MarkdownAutoFormat;
using Ordinal = MAF::Ordinal;

const TextFont base{QString(), 14.5, 400, false};

enum class Typing { unchanged, body, heading20, heading17 };

std::optional<std::optional<TextFont>> typing(Typing t)
{
    if (t == Typing::unchanged) return std::nullopt;
    if (t == Typing::body) return std::optional<TextFont>();
    return std::optional<TextFont>(TextFont{QString(), t == Typing::heading20 ? 20.0 : 17.0, 600, false});
}

TextAttributes doneStyle()
{
    TextAttributes a;
    a.strikethrough = 1;
    a.foreground = MAF::doneColor();
    return a;
}

}  // namespace

TEST(MarkdownAutoFormatTest, ListItemGrammar)
{
    using Item = MAF::ListItem;
    const struct {
        QString line;
        std::optional<Item> expected;
    } cases[] = {
        {"    • x", Item{4, "• ", 2}},   {"1.  x", Item{0, "1. ", 3}},  // further spaces are content
        {"    a) x", Item{4, "a) ", 3}}, {"        ii. x", Item{8, "ii. ", 4}},
        {"      ☑ ", Item{6, "☑ ", 2}},  {"a. x", std::nullopt},  // letters only below the first level
        {"1.x", std::nullopt},           {"0. x", std::nullopt},
        {"   ", std::nullopt},           {"\t• x", std::nullopt},
        {"• \u0301x", std::nullopt},  // the space carries a mark: one character, not the marker's space
        {"1. \u0301x", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(MAF::listItem(c.line), c.expected) << c.line.toStdString();
}

TEST(MarkdownAutoFormatTest, OrdinalsByStyleAndDepth)
{
    const struct {
        const char* text;
        Ordinal style;
        std::optional<qint64> value;
    } values[] = {
        {"mcmxciv", Ordinal::lowerRoman, 1994},
        {"iiii", Ordinal::lowerRoman, std::nullopt},
        {"zz", Ordinal::lowerAlpha, 702},
        {"aaa", Ordinal::lowerAlpha, std::nullopt},
        {"007", Ordinal::decimal, 7},
        {"+5", Ordinal::decimal, std::nullopt},
        {"9223372036854775808", Ordinal::decimal, std::nullopt},
    };
    for (const auto& v : values) EXPECT_EQ(MAF::ordinalValue(v.text, v.style), v.value) << v.text;

    EXPECT_EQ(MAF::ordinalText(703, Ordinal::lowerAlpha), "aaa");
    EXPECT_EQ(MAF::ordinalText(4000, Ordinal::lowerRoman), "mmmm");
    // Past what reads back as a numeral, digits instead of millions of letters.
    EXPECT_EQ(MAF::ordinalText(std::numeric_limits<qint64>::max(), Ordinal::lowerRoman), "9223372036854775807");
    for (qint64 n = 1; n <= 15000; ++n) {  // numerals of up to fifteen letters read back
        const QString numeral = MAF::ordinalText(n, Ordinal::lowerRoman);
        if (numeral.size() > 15) continue;
        ASSERT_EQ(MAF::ordinalValue(numeral, Ordinal::lowerRoman), n) << n;
    }

    using Marker = MAF::OrderedMarker;
    EXPECT_EQ(MAF::orderedMarker("i. x", 1), (Marker{9, Ordinal::lowerAlpha, '.', 3}));
    EXPECT_EQ(MAF::orderedMarker("i. x", 2), (Marker{1, Ordinal::lowerRoman, '.', 3}));
    EXPECT_EQ(MAF::orderedMarker("b) x", 2), (Marker{2, Ordinal::lowerAlpha, ')', 3}));
    EXPECT_EQ(MAF::orderedMarker("10. x", 4), (Marker{10, Ordinal::decimal, '.', 4}));
}

TEST(MarkdownAutoFormatTest, TypedShortcuts)
{
    const struct {
        QString text;
        qsizetype caret;
        std::optional<QString> result;  // none: no rule fires
        qsizetype newCaret;
        Typing typing;
    } cases[] = {
        {"  - ", 4, "  • ", 4, Typing::unchanged},
        {"[ ] ", 4, "☐ ", 2, Typing::unchanged},
        {"- [ ] ", 6, "☐ ", 2, Typing::unchanged},
        {"\U0001F1EB\U0001F1F7\n- Hello", 4, "\U0001F1EB\U0001F1F7\n• Hello", 4, Typing::unchanged},
        {"# ", 2, "", 0, Typing::heading20},
        {"## Title", 3, "Title", 0, Typing::heading17},
        {" # ", 3, std::nullopt, 0, Typing::unchanged},
        {"x - ", 4, std::nullopt, 0, Typing::unchanged},
        {"1. ", 3, std::nullopt, 0, Typing::unchanged},
        {"- \u0301", 2, std::nullopt, 0, Typing::unchanged},  // the typed space took a mark
        {"- ", 0, std::nullopt, 0, Typing::unchanged},
        {"\U0001F44D\U0001F3FD **b**", 7, "\U0001F44D\U0001F3FD b", 3, Typing::body},
        {"x ** y**", 8, "x  y", 4, Typing::body},
        {"**a*b**", 7, std::nullopt, 0, Typing::unchanged},
        {"**a\nb**", 7, std::nullopt, 0, Typing::unchanged},
        {"• item\nrest", 7, "• item\n• rest", 9, Typing::body},
        {"x\n• \n", 5, "x\n", 2, Typing::body},
        {"3) c\n", 5, "3) c\n4) ", 8, Typing::body},
        {"        viii. x\n", 16, "        viii. x\n        ix. ", 28, Typing::body},
        {"9223372036854775807. x\n", 23, "9223372036854775807. x\n9223372036854775807. ", 44, Typing::body},
        {"        ii. \n", 13, "    a. ", 7, Typing::body},
        {"    c) \n", 8, "1. ", 3, Typing::body},
        {"    ☑ \n", 7, "☐ ", 2, Typing::body},
        {"\n", 1, std::nullopt, 0, Typing::unchanged},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        AttributedText text(c.text);
        const auto outcome = MAF::apply(text, c.caret, base);
        EXPECT_EQ(text.text(), c.result.value_or(c.text));
        EXPECT_EQ(outcome, c.result ? std::optional(MAF::Outcome{c.newCaret, typing(c.typing)}) : std::nullopt);
    }
}

TEST(MarkdownAutoFormatTest, ShortcutAttributes)
{
    // Bold makes the inner text bold in its own family and keeps its colour, lines and link.
    TextAttributes red;
    red.foreground = QColor(Qt::red);
    red.underline = 1;
    red.link = QUrl("https://example.com");
    red.font = TextFont{"Serif", 16, 400, true};
    AttributedText bold("a **b**", red);
    ASSERT_TRUE(MAF::apply(bold, 7, base));
    EXPECT_EQ(bold.text(), "a b");
    TextAttributes expected = red;
    expected.font = TextFont{"Serif", 16, 700, true};
    EXPECT_EQ(bold.attributesAt(2), expected);
    EXPECT_EQ(bold.attributesAt(0), red);

    // New markers take the typing attributes; the rest of the line keeps its own.
    TextAttributes typingInk;
    typingInk.foreground = QColor("#EEEEEE");
    AttributedText bullet("- x", red);
    ASSERT_TRUE(MAF::apply(bullet, 2, base, typingInk));
    EXPECT_EQ(bullet.text(), "• x");
    EXPECT_EQ(bullet.attributesAt(0), typingInk);
    EXPECT_EQ(bullet.attributesAt(2), red);
    AttributedText undone("☑ y");
    undone.setAttributes(2, 1, doneStyle());
    ASSERT_TRUE(MAF::toggleDone(undone, 0, 0, typingInk));
    EXPECT_EQ(undone.attributesAt(2).foreground, typingInk.foreground);  // the ink returns, not "no colour"

    // A continued item starts plain even after a done one.
    AttributedText done("☑ bought\n");
    done.setAttributes(2, 7, doneStyle());
    ASSERT_TRUE(MAF::apply(done, 9, base));
    EXPECT_EQ(done.text(), "☑ bought\n☐ ");
    EXPECT_EQ(done.attributesAt(9), TextAttributes());

    // Return after a heading keeps the text and resets typing.
    TextAttributes heading;
    heading.font = TextFont{QString(), 20, 600, false};
    AttributedText title("Title\n", heading);
    EXPECT_EQ(MAF::apply(title, 6, base), (MAF::Outcome{6, typing(Typing::body)}));
    EXPECT_EQ(title.text(), "Title\n");
}

TEST(MarkdownAutoFormatTest, OrderedNumberingRunsByDepth)
{
    const struct {
        const char* line;
        std::optional<QString> marker;
    } walk[] = {
        {"1. a", "1. "}, {"5. b", "2. "},           {"    1) c", "a) "},      {"    x. d", "b) "},
        {"2. e", "3. "}, {"• f", std::nullopt},     {"3. g", "3. "},          {"plain", std::nullopt},
        {"1) h", "1) "}, {"    • i", std::nullopt}, {"        4. j", "iv. "},
    };
    MAF::OrderedNumbering numbering;
    for (const auto& w : walk) EXPECT_EQ(numbering.marker(w.line), w.marker) << w.line;

    // A run's first marker is written in its depth's style only when that reads back; else in digits.
    for (const auto& [line, expected] : {std::pair{"        4888. k", "4888. "},
                                         {"    702. l", "zz. "},
                                         {"    703. m", "703. "},
                                         {"        15. n", "xv. "}}) {
        MAF::OrderedNumbering fresh;
        const QString marker = fresh.marker(line).value_or("none");
        EXPECT_EQ(marker, expected);
        const QString written = QString(line).left(QString(line).indexOf(QRegularExpression("\\S"))) + marker + "x";
        EXPECT_TRUE(MAF::listItem(written)) << written.toStdString();
    }
}

TEST(MarkdownAutoFormatTest, ParagraphCommands)
{
    enum Command { bullets, numbers, done, indent, outdent };
    const struct {
        QString text;
        qsizetype selStart, selEnd;
        Command command;
        std::optional<QString> result;
        qsizetype newStart, newEnd;
    } cases[] = {
        {"a\nb", 0, 3, bullets, "• a\n• b", 0, 7},
        {"• a\n• b", 0, 7, bullets, "a\nb", 0, 3},
        {"a\n\nb", 0, 4, numbers, "1. a\n\n2. b", 0, 10},
        {"• a\n☐ b\nc", 0, 9, numbers, "1. a\n2. b\n3. c", 0, 14},
        {"1. a\n    b) b", 0, 12, numbers, "a\n    b", 0, 7},
        {"a\nb", 1, 1, bullets, "• a\nb", 0, 3},    // a caret at a line's end selects that line only
        {"a\nb", 0, 2, bullets, "• a\n• b", 0, 7},  // ending at the next line's start selects it too
        {"\n\n", 0, 2, bullets, std::nullopt, 0, 0},
        {"  x", 0, 0, done, "  ☑ x", 0, 5},
        {"1. x", 0, 0, done, "☑ 1. x", 0, 6},
        {"• \U0001F44D\U0001F3FD", 3, 3, indent, "    • \U0001F44D\U0001F3FD", 7, 7},
        {"• a", 3, 3, outdent, std::nullopt, 0, 0},
        {"                • a", 0, 0, indent, std::nullopt, 0, 0},
        {"    b. x", 8, 8, outdent, "2. x", 4, 4},
        {"    9. x", 8, 8, indent, "        ix. x", 13, 13},
        {"        xiv. x", 14, 14, outdent, "    n. x", 8, 8},
        {"• a\nplain\n1. b", 0, 14, indent, "    • a\nplain\n    a. b", 4, 22},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        AttributedText text(c.text);
        std::optional<MAF::Selection> selection;
        switch (c.command) {
            case bullets:
                selection = MAF::toggleList(text, c.selStart, c.selEnd, false);
                break;
            case numbers:
                selection = MAF::toggleList(text, c.selStart, c.selEnd, true);
                break;
            case done:
                selection = MAF::toggleDone(text, c.selStart, c.selEnd);
                break;
            case indent:
                selection = MAF::shiftIndent(text, c.selStart, c.selEnd, 1);
                break;
            case outdent:
                selection = MAF::shiftIndent(text, c.selStart, c.selEnd, -1);
                break;
        }
        EXPECT_EQ(text.text(), c.result.value_or(c.text));
        EXPECT_EQ(selection, c.result ? std::optional(MAF::Selection{c.newStart, c.newEnd}) : std::nullopt);
    }
}

TEST(MarkdownAutoFormatTest, DoneStyleFollowsTheCheckBox)
{
    AttributedText text("x\ny");
    ASSERT_TRUE(MAF::toggleDone(text, 0, 3));
    EXPECT_EQ(text.text(), "☑ x\n☑ y");
    EXPECT_EQ(text.attributesAt(0), TextAttributes());  // the marker is not struck
    EXPECT_EQ(text.attributesAt(2), doneStyle());
    EXPECT_EQ(text.attributesAt(3), TextAttributes());  // nor the line break
    EXPECT_EQ(text.attributesAt(6), doneStyle());

    ASSERT_TRUE(MAF::toggleDone(text, 0, 0));
    EXPECT_EQ(text.text(), "☐ x\n☑ y");
    EXPECT_EQ(text.attributesAt(2), TextAttributes());

    ASSERT_TRUE(MAF::toggleList(text, 4, 4, false));
    EXPECT_EQ(text.text(), "☐ x\n• y");
    EXPECT_EQ(text.attributesAt(6), TextAttributes());
}
