#include <gtest/gtest.h>

#include "model/text/AttributedText.h"

namespace {

TextAttributes underlined()
{
    TextAttributes a;
    a.underline = 1;
    return a;
}

}  // namespace

TEST(AttributedTextTest, RunsStayMergedAndCoverTheText)
{
    AttributedText text("abcdef");
    text.setAttributes(1, 2, underlined());
    text.setAttributes(3, 2, underlined());  // touches the first range: one run
    ASSERT_EQ(text.runs().size(), 3u);
    EXPECT_EQ(text.runs()[1], (AttributedText::Run{1, 4, underlined()}));

    text.append("gh", underlined());
    text.append("ij");
    EXPECT_EQ(text.runs().size(), 5u);
    text.setAttributes(-5, 100, {});  // clipped to the text
    ASSERT_EQ(text.runs().size(), 1u);
    EXPECT_EQ(text.runs()[0].length, 10);
}

TEST(AttributedTextTest, CuttingKeepsAttributesOnUtf16Positions)
{
    AttributedText text("a\U0001F600b\uFFFCc");
    text.setAttributes(1, 2, underlined());
    const AttributedText emoji = text.mid(1, 2);
    EXPECT_EQ(emoji.text(), "\U0001F600");
    EXPECT_EQ(emoji.attributesAt(0), underlined());

    text.removeAll(QChar(0xFFFC));
    EXPECT_EQ(text.text(), "a\U0001F600bc");
    text.remove(0, 1);
    EXPECT_EQ(text.attributesAt(0), underlined());
    EXPECT_EQ(text.attributesAt(2), TextAttributes{});
    EXPECT_EQ(text.mid(10, 5).length(), 0);
}

TEST(AttributedTextTest, ReplaceMatchesRebuildingTheText)
{
    // Random replacements against a rebuild from mid() and append(): same text, same merged runs.
    std::srand(7);
    TextAttributes bold;
    bold.font = TextFont{QString(), 14.5, 700, false};
    TextAttributes red;
    red.foreground = QColor(Qt::red);
    const TextAttributes styles[] = {{}, bold, red};
    AttributedText text;
    for (int i = 0; i < 400; ++i) {
        const qsizetype start = text.length() ? std::rand() % (text.length() + 1) : 0;
        const qsizetype length = std::rand() % 4;
        AttributedText with;
        for (int k = std::rand() % 3; k > 0; --k)
            with.append(QString(std::rand() % 3 + 1, QChar(u'a' + k)), styles[std::rand() % 3]);
        AttributedText expected = text.mid(0, start);
        expected.append(with);
        expected.append(text.mid(start + length, text.length()));
        text.replace(start, length, with);
        ASSERT_EQ(text, expected) << i;
        if (std::rand() % 4 == 0) {
            const qsizetype from = std::rand() % (text.length() + 1);
            text.modify(from, 3, [&](TextAttributes& a) { a = styles[std::rand() % 3]; });
            AttributedText rebuilt;
            for (const auto& run : text.runs()) rebuilt.append(text.text().mid(run.start, run.length), run.attributes);
            ASSERT_EQ(text, rebuilt) << "modify " << i;
        }
    }
}

TEST(AttributedTextTest, ManyRangesAtOnceMatchOneByOne)
{
    // Random sets of ordered, disjoint ranges: replaceRanges and modifyRanges give what the same edits
    // made singly (from the last to the first) give, runs merged; ranges reaching past the end are clipped.
    std::srand(5);
    TextAttributes bold;
    bold.font = TextFont{QString(), 14.5, 700, false};
    const TextAttributes styles[] = {{}, bold, underlined()};
    for (int round = 0; round < 200; ++round) {
        AttributedText text;
        for (int k = std::rand() % 8; k > 0; --k)
            text.append(QString(std::rand() % 5 + 1, QChar(u'a' + k)), styles[std::rand() % 3]);
        std::vector<AttributedText::Edit> edits;
        std::vector<std::pair<qsizetype, qsizetype>> ranges;
        for (qsizetype at = std::rand() % 3; at <= text.length() + 1; at += std::rand() % 4 + 1) {
            const qsizetype length = std::rand() % 3;
            AttributedText with;
            if (std::rand() % 2) with.append(QString(std::rand() % 2 + 1, u'Z'), styles[std::rand() % 3]);
            edits.push_back({at, length, with});
            if (length > 0 && at + length <= text.length()) ranges.emplace_back(at, length);
            at += length;
        }
        AttributedText expected = text;
        for (auto it = edits.rbegin(); it != edits.rend(); ++it) expected.replace(it->start, it->length, it->with);
        AttributedText edited = text;
        edited.replaceRanges(edits);
        ASSERT_EQ(edited, expected) << round;

        AttributedText restyled = text;
        restyled.modifyRanges(ranges, [&](TextAttributes& a, size_t i) { a = styles[i % 3]; });
        AttributedText singly = text;
        for (size_t i = 0; i < ranges.size(); ++i)
            singly.modify(ranges[i].first, ranges[i].second, [&](TextAttributes& a) { a = styles[i % 3]; });
        ASSERT_EQ(restyled, singly) << round;
    }
}
