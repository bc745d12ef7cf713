#include <gtest/gtest.h>

#include "editor/blocks/FakeBlockHost.h"
#include "editor/text/LinkDetector.h"
#include "editor/text/TextBlockController.h"

namespace {

struct Linked {
    QString text;
    qsizetype start;
    qsizetype length;
    QString url;
};

// The linked ranges of a block, as (start, length, address) rows.
std::vector<Linked> linksOf(const TextStorage& storage)
{
    std::vector<Linked> links;
    for (const AttributedText::Run& run : storage.attributedText().runs())
        if (run.attributes.link)
            links.push_back({storage.text().mid(run.start, run.length), run.start, run.length,
                             std::get<QUrl>(*run.attributes.link).toString()});
    return links;
}

class LinkTest : public ::testing::Test {
protected:
    TextBlockController& make(bool title = false)
    {
        controller = std::make_unique<TextBlockController>(QUuid::createUuid(), &host, title, ResolvedNoteTheme{},
                                                           TextBlockController::NoteStyle::floating, storage);
        return *controller;
    }
    void type(const QString& keys)
    {
        for (QChar c : keys) controller->textView().insertText(QString(c));
    }

    FakeBlockHost host;
    DocumentTextStorage storage;
    std::unique_ptr<TextBlockController> controller;
};

}  // namespace

TEST_F(LinkTest, TypedAndPastedAddressesGetTheirExactRanges)
{
    struct Case {
        const char* typed;
        const char* linkedText;  // nullptr: nothing is linked
        const char* url;
    };
    const Case cases[] = {
        {"see https://example.org/a. ", "https://example.org/a", "https://example.org/a"},
        {"(http://x.org/path) ", "http://x.org/path", "http://x.org/path"},
        {"https://en.wiki.org/A_(b)) ", "https://en.wiki.org/A_(b)", "https://en.wiki.org/A_(b)"},
        {"\u201Chttps://q.org\u201D,\n", "https://q.org", "https://q.org"},
        {"go to www.example.org!\t", "www.example.org", "https://www.example.org"},
        {"mail mailto:ann@example.org? ", "mailto:ann@example.org", "mailto:ann@example.org"},
        {"HTTPS://Example.org ", "HTTPS://Example.org", "https://example.org"},
        {"javascript:alert(1) ", nullptr, nullptr},
        {"file:///etc/passwd ", nullptr, nullptr},
        {"data:text/html,<b>x</b> ", nullptr, nullptr},
        {"http:// ", nullptr, nullptr},
        {"www. ", nullptr, nullptr},
        {"mailto:nobody ", nullptr, nullptr},
        {"xhttps://example.org ", nullptr, nullptr},
        {"https://evil\u202E.org/gpj.exe ", nullptr, nullptr},  // a bidi override inside
        {"https://a\u0007b.org ", nullptr, nullptr},            // a control character inside
        {"https://example.org", nullptr, nullptr},              // not ended yet
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        // Typed key by key into a body block.
        make();
        type(QString::fromUtf8(c.typed));
        EXPECT_EQ(storage.text(), QString::fromUtf8(c.typed));  // the characters stay as typed
        auto links = linksOf(storage);
        if (!c.linkedText) {
            EXPECT_TRUE(links.empty());
        } else {
            ASSERT_EQ(links.size(), 1u);
            EXPECT_EQ(links[0].text, QString::fromUtf8(c.linkedText));
            EXPECT_EQ(links[0].url, QString::fromUtf8(c.url));
        }
        // Pasted in one piece: the same range, an address at the paste's end included.
        make();
        const QString pasted = QString::fromUtf8(c.typed).trimmed();
        controller->pasteText(AttributedText(pasted));
        links = linksOf(storage);
        EXPECT_EQ(storage.text(), pasted);
        if (c.linkedText && std::string(c.typed) != "https://example.org") {
            ASSERT_EQ(links.size(), 1u);
            EXPECT_EQ(links[0].text, QString::fromUtf8(c.linkedText));
        } else if (!c.linkedText && std::string(c.typed) != "https://example.org") {
            EXPECT_TRUE(links.empty());
        }
    }
}

TEST_F(LinkTest, TitleLineAndExistingLinksAreLeftAloneAndOneUndoTakesBackTheKeyAndItsLink)
{
    make(true);
    type("https://title.org ");  // the title line is never linked
    EXPECT_TRUE(linksOf(storage).empty());
    type("\nsee https://a.org");
    const int steps = host.undo.undoCount();
    type(" ");
    ASSERT_EQ(linksOf(storage).size(), 1u);
    EXPECT_EQ(host.undo.undoCount(), steps + 1);  // the space and its link are one step
    host.undo.undo();
    EXPECT_EQ(storage.text().toStdString(), "https://title.org \nsee https://a.org\n");
    EXPECT_TRUE(linksOf(storage).empty());
    host.undo.redo();
    EXPECT_EQ(linksOf(storage).size(), 1u);

    // A pasted address that ends up on the title line stays plain; one below it is linked.
    make(true);
    controller->pasteText(AttributedText("www.one.org\nwww.two.org"));
    auto links = linksOf(storage);
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0].start, 12);

    // Typing after an existing link does not relink or extend it.
    make();
    AttributedText existing("https://old.org", {});
    existing.modify(0, existing.length(), [](TextAttributes& a) { a.link = QUrl("https://elsewhere.org"); });
    controller->pasteText(existing);
    type(" ");
    links = linksOf(storage);
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0].url, "https://elsewhere.org");
}

TEST_F(LinkTest, TheLinkLookIsViewStateAndLongLinesAreNotWalked)
{
    make();
    type("x https://a.org ");
    // The document draws the accent and an underline; the storage reads back only the link.
    const AttributedText shown = storage.readDocument();
    EXPECT_EQ(shown, storage.attributedText());
    EXPECT_EQ(storage.attributesAt(3).underline, 0);

    // A megabyte without a break ends in a space: nothing is linked and nothing is lost.
    make();
    const QString line = "https://" + QString(1 << 20, u'a');
    controller->pasteText(AttributedText(line));
    type(" ");
    EXPECT_EQ(storage.length(), line.size() + 1);
    EXPECT_TRUE(linksOf(storage).empty());
    EXPECT_FALSE(LinkDetector::addressEndingAt(line, line.size()));
}
