#include <gtest/gtest.h>

#include "model/NoteDocument.h"

namespace {

TextAttributes bold()
{
    TextAttributes a;
    a.font = TextFont{QString(), 14.5, 700, false};
    return a;
}

TEST(NoteDocumentTest, SplitsTitleFromBody)
{
    AttributedText text("Title\nbody ", TextAttributes());
    text.append("bold", bold());
    auto parts = NoteDocument::split(text);
    EXPECT_EQ(parts.title, "Title");
    EXPECT_EQ(parts.body.text(), "body bold");
    EXPECT_EQ(parts.body.attributesAt(5), bold()) << "the body keeps its attributes";

    parts = NoteDocument::split(AttributedText("only a title"));
    EXPECT_EQ(parts.title, "only a title");
    EXPECT_TRUE(parts.body.isEmpty());

    parts = NoteDocument::split(AttributedText("\nbody"));
    EXPECT_TRUE(parts.title.isEmpty());
    EXPECT_EQ(parts.body.text(), "body");
}

TEST(NoteDocumentTest, ComposesOneTitleLineAndTheBody)
{
    const AttributedText body("text", TextAttributes());
    const auto composed = NoteDocument::compose("a\r\nb\nc\rd", body, bold(), TextAttributes());
    EXPECT_EQ(composed.text(), "a b c d\ntext");
    EXPECT_EQ(composed.attributesAt(0), bold());
    EXPECT_EQ(composed.attributesAt(7), TextAttributes()) << "the line break takes the body's style";
    EXPECT_EQ(NoteDocument::split(composed).title, "a b c d");
}

TEST(NoteDocumentTest, BodyStartsAfterTheFirstLineBreak)
{
    EXPECT_EQ(NoteDocument::bodyStart(AttributedText("Hello\nworld")), 6);
    EXPECT_EQ(NoteDocument::bodyStart(AttributedText("Hello")), 5);
    EXPECT_EQ(NoteDocument::bodyStart(AttributedText("Hello\n")), 6);
}

}  // namespace
