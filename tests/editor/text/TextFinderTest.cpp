#include <gtest/gtest.h>

#include <QRandomGenerator>

#include "editor/text/TextFinder.h"

namespace {

std::vector<TextRange> found(const QString& text, const QString& query)
{
    MemoryTextStorage storage;
    storage.setAttributedText(AttributedText(text));
    TextFinder finder(storage);
    finder.setQuery(query);
    return finder.matches();
}

}  // namespace

TEST(TextFinderTest, MatchesIgnoreCaseAndAccentsInUtf16Ranges)
{
    using R = std::vector<TextRange>;
    EXPECT_EQ(found("Recieve, RECIEVE, recieved", "recieve"), (R{{0, 7}, {9, 7}, {18, 7}}));
    EXPECT_EQ(found("Café cafe\u0301 CAFE", "cafe"), (R{{0, 4}, {5, 5}, {11, 4}}));  // the mark goes with its e
    EXPECT_EQ(found("cafe", "café"), (R{{0, 4}}));
    EXPECT_EQ(found("Straße", "STRASSE"), (R{{0, 6}}));
    EXPECT_EQ(found("Straße", "stras"), R{});  // never half of "ß"
    EXPECT_EQ(found("ΟΔΟΣΤΡΩΜΑ, οδοσ, η οδος", "ΟΔΟΣ"), (R{{0, 4}, {11, 4}, {19, 4}}));
    EXPECT_EQ(found("a\U0001F600b \U0001F600", "\U0001F600"), (R{{1, 2}, {5, 2}}));
    EXPECT_EQ(found("x\uFFFCy", "xy"), R{});
    EXPECT_EQ(found("x\uFFFCy", "\uFFFC"), (R{{1, 1}}));
    EXPECT_EQ(found("aaaa", "aa"), (R{{0, 2}, {2, 2}}));
    EXPECT_EQ(found("one\ntwo", "e t"), R{});  // never across a line
    EXPECT_EQ(found("nothing here", "zebra"), R{});
    EXPECT_EQ(found("abc", QString(10000, u'a')), R{});  // a long query is only not found
}

TEST(TextFinderTest, StatusAndSteppingWrapAround)
{
    MemoryTextStorage storage;
    storage.setAttributedText(AttributedText("see recieve then recieve"));
    TextFinder finder(storage);
    EXPECT_EQ(finder.status(), "");
    finder.setQuery("recieve");
    EXPECT_EQ(finder.status(), "1 of 2");
    finder.next();
    EXPECT_EQ(finder.status(), "2 of 2");
    finder.next();
    EXPECT_EQ(finder.status(), "1 of 2");
    finder.previous();
    EXPECT_EQ(finder.status(), "2 of 2");
    EXPECT_EQ(finder.selectFrom(20), 0);  // past the last match: the first
    finder.setQuery("zzz");
    EXPECT_EQ(finder.status(), "Not found");
    EXPECT_EQ(finder.next(), -1);
}

TEST(TextFinderTest, MatchesFollowEditsBeforeInsideAndAfterAMatch)
{
    MemoryTextStorage storage;
    storage.setAttributedText(AttributedText("ab word\ncd word\nword"));
    TextFinder finder(storage);
    finder.setQuery("word");
    auto check = [&](const char* what) {
        SCOPED_TRACE(what);
        TextFinder fresh(storage);
        fresh.setQuery("word");
        EXPECT_EQ(finder.matches(), fresh.matches());
    };
    storage.replace(0, 0, AttributedText("xx"));  // before every match
    check("insert before");
    storage.replace(4, 2, AttributedText("o"));  // inside the first: "wo" -> "o" ("ab ord")
    check("inside");
    storage.replace(storage.length(), 0, AttributedText(" Word"));  // after
    check("after");
    storage.replace(7, 1, AttributedText());  // a line break goes: two paragraphs join
    check("join");
    storage.replace(3, 0, AttributedText("\nwo"));  // a new line and a match made of two halves
    check("split");
    // Random edits keep the incremental list equal to a full search.
    QRandomGenerator random(7);
    const QString pieces[] = {"w", "o", "r", "d", "\n", " ", "WORD", "\u00E9", "\U0001F600", "w\U0001D400rd"};
    for (int i = 0; i < 300; ++i) {
        const qsizetype at = random.bounded(int(storage.length() + 1));
        const qsizetype removed = std::min<qsizetype>(random.bounded(3), storage.length() - at);
        storage.replace(at, removed, AttributedText(pieces[random.bounded(int(std::size(pieces)))]));
    }
    check("random");
}
