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
