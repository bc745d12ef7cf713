#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <memory>

#include "editor/blocks/FakeBlockHost.h"
#include "editor/text/TextBlockController.h"
#include "model/NoteNotifications.h"
#include "model/text/RichTextBridge.h"
#include "platform/NotificationCenter.h"

namespace {

using Controller = TextBlockController;

// The controller over each storage: a bare attributed text and a QTextDocument.
class TextBlockControllerTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        if (GetParam())
            storage = std::make_unique<DocumentTextStorage>();
        else
            storage = std::make_unique<MemoryTextStorage>();
        theme.ink = QColor("#2B2622");
    }

    Controller& make(bool title = false)
    {
        controller = std::make_unique<Controller>(QUuid::createUuid(), &host, title, theme,
                                                  Controller::NoteStyle::floating, *storage);
        controller->setNotificationCenter(&notifications);
        return *controller;
    }

    TextViewModel& view() { return controller->textView(); }
    std::string text() { return view().text().toStdString(); }

    // Types as a user does: keys offered to the controller first, then inserted through the view model.
    void type(const QString& keys)
    {
        for (qsizetype i = 0; i < keys.size(); ++i) {
            const QChar c = keys[i];
            if (c.isHighSurrogate() && i + 1 < keys.size()) {
                // A character beyond the BMP is one key, both halves at once.
                view().insertText(keys.mid(i++, 2));
            } else if (c == u'\n') {
                if (!controller->handleKeyDown(Qt::Key_Return, Qt::NoModifier, "\r")) view().insertText("\n");
            } else if (c == u'\t') {
                if (!controller->handleKeyDown(Qt::Key_Tab, Qt::NoModifier, "\t")) view().insertText("\t");
            } else {
                view().insertText(QString(c));
            }
        }
    }

    void load(const QString& body, std::optional<QString> title = std::nullopt)
    {
        controller->load(TextRuns{body, {}}, title, std::nullopt);
        view().setCaret(view().length());
    }

    FakeBlockHost host;
    NotificationCenter notifications;
    ResolvedNoteTheme theme;
    std::unique_ptr<TextStorage> storage;
    std::unique_ptr<Controller> controller;
};

TEST_P(TextBlockControllerTest, TitleBlockLoadsAndSnapshotsOnlyTheBody)
{
    auto& c = make(true);
    TextRuns runs{"a\r\nb \uFFFCword", {}};
    TextRuns::Run bold;
    bold.loc = 6;  // "word", after the CR LF and the picture character
    bold.len = 4;
    bold.b = true;
    runs.runs.append(bold);
    c.load(runs, QString("My\ntitle"), 0);
    EXPECT_EQ(view().text(), QString("My title\na\nb \uFFFCword"));
    EXPECT_EQ(view().storage().attributesAt(0).font, c.titleAttributes().font);
    const NoteBlock block = c.snapshot();
    ASSERT_TRUE(block.textRuns());
    EXPECT_EQ(block.textRuns()->text, "a\nb word");
    ASSERT_EQ(block.textRuns()->runs.size(), 1);
    EXPECT_EQ(block.textRuns()->runs[0].loc, 4);  // the bold word stays on "word"
    EXPECT_EQ(block.textRuns()->runs[0].len, 4);
    c.focus(CaretPlacement::start());
    EXPECT_EQ(view().selection().location, 9);
}

TEST_P(TextBlockControllerTest, ABodyThatGrewAtItsEndEntersAsThatEnd)
{
    auto& c = make(true);
    c.load(TextRuns{"first line\n- item", {}}, QString("Title"), 3);
    std::vector<std::tuple<qsizetype, qsizetype, qsizetype>> changes;
    QObject::connect(
        &view().storage(), &TextStorage::changed,
        [&](qsizetype start, qsizetype removed, qsizetype added) { changes.emplace_back(start, removed, added); });
    // Appended: only the new end changes, the caret stays, and the new list line is styled like the first.
    c.load(TextRuns{"first line\n- item\n- appended", {}}, QString("Title"), std::nullopt);
    ASSERT_FALSE(changes.empty());
    EXPECT_EQ(changes.front(), std::make_tuple(qsizetype(23), qsizetype(0), qsizetype(11)));
    EXPECT_EQ(view().text(), QString("Title\nfirst line\n- item\n- appended"));
    EXPECT_EQ(view().selection().location, 3);
    EXPECT_EQ(view().storage().attributesAt(25).paragraphStyle, view().storage().attributesAt(17).paragraphStyle);
    ASSERT_TRUE(c.snapshot().textRuns());
    EXPECT_EQ(c.snapshot().textRuns()->text, "first line\n- item\n- appended");

    // The same characters with other attributes before the end: the whole text is set again.
    changes.clear();
    TextRuns bold{"first line\n- item\n- appended more", {}};
    TextRuns::Run run;
    run.loc = 0;
    run.len = 5;
    run.b = true;
    bold.runs.append(run);
    c.load(bold, QString("Title"), std::nullopt);
    ASSERT_FALSE(changes.empty());
    EXPECT_EQ(std::get<0>(changes.front()), 0);
    EXPECT_TRUE(view().storage().attributesAt(6).font->isBold());
}

TEST_P(TextBlockControllerTest, TypingFormatsListsAndUndoesInSteps)
{
    make();
    type("- milk\neggs\n\n1. first\nsecond\n\n[] call");
    // Return on an empty item ends the list on that line.
    const std::string list = "• milk\n• eggs\n1. first\n2. second\n";
    EXPECT_EQ(text(), list + "☐ call");
    // The word, then the marker conversion, then the space that made it, are steps of their own.
    host.undo.undo();
    EXPECT_EQ(text(), list + "☐ ");
    host.undo.undo();
    EXPECT_EQ(text(), list + "[] ");
    // Redo restores without converting again, and keeps the rest of the redo stack.
    host.undo.redo();
    EXPECT_EQ(text(), list + "☐ ");
    EXPECT_TRUE(host.undo.canRedo());
    host.undo.redo();
    EXPECT_EQ(text(), list + "☐ call");
}

TEST_P(TextBlockControllerTest, RenumberingFollowsEditsButNotUndo)
{
    make();
    load("1. a\n2. b\n3. c");
    view().deleteRange({4, 5});  // the second item with its line break
    EXPECT_EQ(text(), "1. a\n2. c");
    // Undoing the renumbering leaves the numbers as they were; undoing again restores the line.
    host.undo.undo();
    EXPECT_EQ(text(), "1. a\n3. c");
    host.undo.undo();
    EXPECT_EQ(text(), "1. a\n2. b\n3. c");
    EXPECT_TRUE(host.undo.canRedo());
    // A digit typed into a marker is left alone while the caret is in it; the rest follows at once.
    view().setCaret(1);
    type("0");
    EXPECT_EQ(text(), "10. a\n11. b\n12. c");
    EXPECT_EQ(view().selection().location, 2);
}

TEST_P(TextBlockControllerTest, RewritesKeepStylingAndInkNewMarkers)
{
    theme.ink = QColor("#EEEEEE");  // a dark theme's light ink
    auto& c = make();
    TextRuns runs{"see site\nx", {}};
    TextRuns::Run link;
    link.loc = 4;
    link.len = 4;
    link.link = "https://example.com";
    link.fg = "FF0000";
    link.family = "DejaVu Serif";
    runs.runs.append(link);
    c.load(runs, std::nullopt, 0);
    view().setCaret(0);
    type("- ");
    EXPECT_EQ(text(), "• see site\nx");
    EXPECT_EQ(view().storage().attributesAt(0).foreground, theme.ink);
    const TextAttributes kept = view().storage().attributesAt(6);
    EXPECT_TRUE(kept.link);
    EXPECT_EQ(kept.foreground, QColor("#FF0000"));
    EXPECT_EQ(kept.font->family, "DejaVu Serif");

    c.apply(FormatCommand::toggleDone);
    c.apply(FormatCommand::toggleDone);
    EXPECT_EQ(text(), "☐ see site\nx");
    EXPECT_TRUE(view().storage().attributesAt(6).link);
    EXPECT_EQ(view().storage().attributesAt(2).foreground, theme.ink);  // ink returns, not the default dark

    view().setCaret(view().length());
    type(" **bo**");
    const TextAttributes bold = view().storage().attributesAt(view().length() - 1);
    EXPECT_TRUE(bold.font->isBold());
    EXPECT_EQ(bold.font->family, RichTextBridge::baseFont(theme).family);
    EXPECT_EQ(bold.foreground, theme.ink);
}

TEST_P(TextBlockControllerTest, ReturnInTitleIsTheProgramsOwnEdit)
{
    auto& c = make(true);
    c.load(TextRuns{}, QString("1. Plan"), 3);
    EXPECT_TRUE(c.handleKeyDown(Qt::Key_Return, Qt::ShiftModifier, "\r"));
    EXPECT_EQ(text(), "1. Plan\n");
    EXPECT_EQ(view().selection().location, 8);
    type("x\n");
    EXPECT_EQ(text(), "1. Plan\nx\n");
    // The title line takes no markers.
    view().setCaret(0);
    type("- ");
    EXPECT_EQ(text(), "- 1. Plan\nx\n");
}

TEST_P(TextBlockControllerTest, KeysChordsAndTheFormatState)
{
    auto& c = make();
    std::vector<QStringList> posted;
    auto token = notifications.observe(tarnwickFormatStateChanged, [&](const Notification& n) {
        posted.push_back(n.userInfo.value("active").toStringList());
    });
    c.setFocused(true);
    load("word");
    view().setSelection({0, 4});
    EXPECT_TRUE(c.handleKeyDown(Qt::Key_B, Qt::ControlModifier, "\x02"));
    EXPECT_TRUE(view().storage().attributesAt(3).font->isBold());
    EXPECT_EQ(posted.back(), QStringList{"bold"});
    // Caps Lock is no modifier; Alt or Meta with Control is no chord.
    EXPECT_TRUE(c.handleKeyDown(Qt::Key_B, Qt::ControlModifier, "B"));
    EXPECT_FALSE(view().storage().attributesAt(3).font->isBold());
    EXPECT_FALSE(c.handleKeyDown(Qt::Key_B, Qt::ControlModifier | Qt::AltModifier, ""));
    // Tab on a plain line is typed; Backtab on an item outdents it.
    view().setCaret(4);
    EXPECT_FALSE(c.handleKeyDown(Qt::Key_Tab, Qt::NoModifier, "\t"));
    load("    • item");
    EXPECT_TRUE(c.handleKeyDown(Qt::Key_Backtab, Qt::ShiftModifier, ""));
    EXPECT_EQ(text(), "• item");
    // "/" at a line start opens the menu instead of being typed.
    std::vector<Controller::MenuItem> shown;
    c.setMenuPresenter([&](const std::vector<Controller::MenuItem>& items) { shown = items; });
    type("\n");
    EXPECT_EQ(text(), "• item\n• ");
    type("\n");
    EXPECT_TRUE(c.handleKeyDown(Qt::Key_Slash, Qt::NoModifier, "/"));
    ASSERT_EQ(shown.size(), 7u);
    EXPECT_EQ(shown[6].title, "Lock · Password");
    shown[2].action();
    EXPECT_EQ(text(), "• item\n1. ");
    host.undo.undo();
    EXPECT_EQ(text(), "• item\n");

    QGuiApplication::clipboard()->setText("plain\r\ntext");
    view().setTypingAttributes([] {
        TextAttributes a;
        a.font = TextFont{QString(), 14.5, 700, false};
        return a;
    }());
    c.apply(FormatCommand::pasteMatchStyle);
    EXPECT_EQ(text(), "• item\nplain\ntext");
    EXPECT_FALSE(view().storage().attributesAt(8).font->isBold());
}

TEST_P(TextBlockControllerTest, LocalWorkEqualsTheWholeWalks)
{
    make();
    std::srand(5);
    const QStringList pieces{"1. ", "    ", "a",    "\n",  "• ",         "x) ",
                             "2. ", " ",    "\n\n", "9. ", "\U0001F600", "1. \U0001F469\u200D\U0001F4BB"};
    for (int i = 0; i < 300; ++i) {
        const qsizetype at = std::rand() % (view().length() + 1);
        if (std::rand() % 4 == 0 && view().length() > 0) {
            view().setSelection({std::min(at, view().length() - 1), 1 + std::rand() % 3});
            view().deleteBackward();
        } else {
            view().setCaret(at);
            type(pieces[std::rand() % pieces.size()]);
        }
        // Walking everything again, with the caret where it is, finds nothing left to do.
        const AttributedText before = view().storage().attributedText();
        controller->restyleListParagraphs(0, view().length());
        ASSERT_EQ(view().storage().attributedText(), before) << i << text();
        ASSERT_FALSE(controller->renumberOrderedLists(0, view().length())) << i << text();
    }
    // Undoing everything restores the empty text.
    while (host.undo.canUndo()) host.undo.undo();
    EXPECT_EQ(text(), "");
}

INSTANTIATE_TEST_SUITE_P(Storages, TextBlockControllerTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "document" : "memory"; });

}  // namespace

namespace {

// Lines 20 points tall, one per paragraph, 10 points per character.
struct FakeGeometry : TextGeometry {
    const QString* text;
    QRectF caretRect(qsizetype position) const override
    {
        const qsizetype line = text->left(position).count(u'\n');
        const qsizetype column = position - (text->lastIndexOf(u'\n', position - 1) + 1);
        return QRectF(column * 10.0, line * 20.0, 1, 20);
    }
    qsizetype characterIndexAt(const QPointF& p) const override
    {
        qsizetype start = 0;
        for (int line = int(p.y() / 20); line > 0 && start <= text->size(); --line)
            start = text->indexOf(u'\n', start) + 1;
        const qsizetype end = text->indexOf(u'\n', start) < 0 ? text->size() : text->indexOf(u'\n', start);
        return std::min(start + qsizetype(p.x() / 10), end);
    }
    qreal heightForWidth(qreal) const override { return (text->count(u'\n') + 1) * 20.0; }
    QPointF mapToGlobal(const QPointF& p) const override { return p + QPointF(1000, 0); }
    QPointF mapFromGlobal(const QPointF& p) const override { return p - QPointF(1000, 0); }
    QSizeF size() const override { return {300, heightForWidth(300)}; }
};

}  // namespace

TEST_P(TextBlockControllerTest, GeometryDecidesLeavingMeasuringAndDropping)
{
    auto& c = make();
    load("one\ntwo\nthree");
    FakeGeometry geometry;
    geometry.text = &view().text();
    view().setGeometry(&geometry);
    view().setCaret(5);  // inside "two"
    EXPECT_FALSE(c.boundaryMove(BlockFocusDirection::up));
    view().setCaret(2);
    EXPECT_TRUE(c.boundaryMove(BlockFocusDirection::up));
    EXPECT_FALSE(c.boundaryMove(BlockFocusDirection::left));
    EXPECT_EQ(host.calls, QStringList{"move"});
    EXPECT_EQ(c.heightForWidth(300), 60);
    host.last = false;
    load("");
    EXPECT_EQ(c.heightForWidth(300), c.minimumHeight());
    load("one\ntwo\nthree");
    // A drop on the lower half of "two" splits below it; on the upper half, above it.
    EXPECT_EQ(c.dropBoundary({5, 36}), (BlockBoundary{7, 40}));
    EXPECT_EQ(c.dropBoundary({5, 22}), (BlockBoundary{4, 20}));
    // Coming down from the block above, the caret keeps its x on the first line.
    c.focus(CaretPlacement::sameX(1020, true));
    EXPECT_EQ(view().selection().location, 2);
    view().setGeometry(nullptr);
}

TEST_P(TextBlockControllerTest, ComposingTextHoldsRenumberingBack)
{
    make();
    load("1. a\n5. b");
    view().setHasMarkedText(true);
    view().setCaret(view().length());
    type("c");
    EXPECT_EQ(text(), "1. a\n5. bc");
    view().setHasMarkedText(false);
    type("d");
    EXPECT_EQ(text(), "1. a\n2. bcd");
}

// A block's stored runs, one "loc+len marks" item each.
static std::string storedRuns(const NoteBlock& block)
{
    std::string out;
    if (!block.textRuns()) return "no text";
    for (const TextRuns::Run& run : block.textRuns()->runs) {
        out += (out.empty() ? "" : ", ") + std::to_string(run.loc) + "+" + std::to_string(run.len);
        if (run.b) out += *run.b ? " b" : " plain";
        if (run.i) out += " i";
        if (run.size) out += " " + std::to_string(int(*run.size));
        if (run.family) out += " " + run.family->toStdString();
        if (run.link) out += " link";
    }
    return out;
}

// Whatever edit moves text across the end of the title line, the part in the body is in the body's
// style, keeping its own marks; one Undo gives back exactly the text and runs there were.
TEST_P(TextBlockControllerTest, TextCrossingTheTitleLineEndsInTheBodysStyle)
{
    auto& c = make(true);
    TextRuns body{"alpha line\nbravo line", {}};
    TextRuns::Run bold;
    bold.len = 5;
    bold.b = true;
    body.runs.append(bold);
    const auto reload = [&] {
        c.load(body, QString("Hello World"), 0);
        host.undo.removeAllActions();
        return storage->attributedText();
    };
    const AttributedText loaded = reload();
    ASSERT_EQ(storedRuns(c.snapshot()), "0+5 b");
    const auto undoesExactly = [&](const char* what) {
        host.undo.undo();
        EXPECT_EQ(storage->attributedText(), loaded) << what;
        EXPECT_EQ(storedRuns(c.snapshot()), "0+5 b") << what;
        host.undo.redo();
        host.undo.undo();
        EXPECT_EQ(storage->attributedText(), loaded) << what << " (after a redo)";
    };

    // Joins: the line that became the title's is the title's until the join is undone.
    const std::vector<std::pair<const char*, std::function<void()>>> joins{
        {"backspace", [&] { view().setCaret(12), view().deleteBackward(); }},
        {"delete", [&] { view().setCaret(11), view().deleteForward(); }},
        {"typed over the break",
         [&] {
             view().setSelection({6, 11}), type("x");
         }},
    };
    for (const auto& [what, join] : joins) {
        join();
        EXPECT_EQ(storage->attributesAt(view().text().indexOf(u'\n') - 1).font, c.titleAttributes().font) << what;
        EXPECT_EQ(host.undo.undoCount(), 1) << what;
        undoesExactly(what);
        reload();
    }

    // Lines pasted into the title: the rest of the title line goes down with them, all in the body's face.
    const TextAttributes title = c.titleAttributes();
    view().setCaret(6);
    c.pasteText(AttributedText("one\ntwo\nthree", title));
    EXPECT_EQ(text(), "Hello one\ntwo\nthreeWorld\nalpha line\nbravo line");
    EXPECT_EQ(storedRuns(c.snapshot()), "15+5 b");
    undoesExactly("paste");
    QGuiApplication::clipboard()->setText("one\ntwo");
    view().setCaret(6);
    c.apply(FormatCommand::pasteMatchStyle);
    EXPECT_EQ(text(), "Hello one\ntwoWorld\nalpha line\nbravo line");
    EXPECT_EQ(storedRuns(c.snapshot()), "9+5 b");
    undoesExactly("paste and match style");
    // A link the text had in the title stays a link in the body.
    AttributedText linked("go\nhome", title);
    linked.modify(3, 4, [](TextAttributes& a) { a.link = QUrl("https://example.org"); });
    view().setCaret(11);
    c.pasteText(linked);
    EXPECT_EQ(storedRuns(c.snapshot()), "0+4 link, 5+5 b");
    undoesExactly("a link");

    // Everything selected and replaced, with three lines or a megabyte of them.
    QString large;
    while (large.size() < (GetParam() ? 3 : 1 << 20)) large += QStringLiteral("a line of pasted text\n");
    for (const QString& pasted : {QStringLiteral("one\ntwo\nthree"), large}) {
        view().setSelection({0, view().length()});
        c.pasteText(AttributedText(pasted, title));
        EXPECT_EQ(storedRuns(c.snapshot()), "") << pasted.size();
        undoesExactly("select all and paste");
    }

    // "World" dragged from the title to the end of the body.
    view().setSelection({6, 5});
    view().moveSelection(view().length());
    EXPECT_EQ(text(), "Hello \nalpha line\nbravo lineWorld");
    EXPECT_EQ(storedRuns(c.snapshot()), "0+5 b");
    undoesExactly("drag");
}
