#include <gtest/gtest.h>

#include <QRandomGenerator>
#include <QTest>

#include "BlockTestSupport.h"
#include "capture/CaptureService.h"
#include "model/Capture.h"
#include "model/NoteBlockEnvelope.h"
#include "model/NoteNotifications.h"
#include "platform/NotificationCenter.h"
#include "support/FakeSelectionReader.h"

using namespace tarnwick::test;

namespace {

class BlockContainerTest : public ::testing::Test, public BlockFixture {};

TEST_F(BlockContainerTest, LoadingNormalisesForTheView)
{
    Note* empty = addNote("Empty", "");
    open(empty);
    EXPECT_EQ(shown(), QStringList{"T:"});

    NoteImage* row = addImage(QUuid());
    Note* leading = addNote("Pics");
    leading->setBlocks(blocks({"I:0", "T:a", "T:b"}, {row}));
    row->setNoteUUID(leading->uuid());
    open(leading);
    // A leading empty title block; neighbouring text joined; no trailing text added on load.
    EXPECT_EQ(shown(), (QStringList{"T:", "I", "T:a\nb"}));
    Note* trailing = addNote("End");
    trailing->setBlocks(blocks({"T:a", "I:0"}, {row}));
    open(trailing);
    EXPECT_EQ(shown(), (QStringList{"T:a", "I"}));
}

TEST_F(BlockContainerTest, TextEditsWriteOnlyRealChangesAndKeepOneUndoHistory)
{
    Note* n = addNote("Packing", "socks");
    store->saveNow();
    auto& c = open(n);
    TextBlockController* title = c.textController(0);
    ASSERT_TRUE(title);
    const QByteArray bytes = n->bodyBlocksData().value();

    // Typing in the title line changes the title, stamped with the store's clock; the blocks keep the
    // same bytes.
    clock.advanceSeconds(90);
    title->textView().setCaret(7);
    title->textView().insertText(" list");
    EXPECT_EQ(n->title(), "Packing list");
    EXPECT_EQ(n->bodyBlocksData().value(), bytes);
    EXPECT_EQ(n->updatedAt(), clock.now());

    // A change that leaves title and bytes identical writes nothing.
    const QDateTime stamp = QDateTime::fromSecsSinceEpoch(1000);
    n->setUpdatedAt(stamp);
    title->textView().storage().modify(0, 1, [](TextAttributes&) {});
    c.blockDidChange(title->id());
    EXPECT_EQ(n->updatedAt(), stamp);

    title->textView().setCaret(title->textView().length());
    title->textView().insertText(" and boots");
    EXPECT_EQ(n->body(), "socks and boots");
    c.blockUndoManager()->undo();
    EXPECT_EQ(n->body(), "socks");
}

TEST_F(BlockContainerTest, PasteSplitsTheBlockAndUndoRedoWalkOneHistory)
{
    Note* n = addNote("Packing list", "socks and boots");
    store->saveNow();
    auto& c = open(n);
    const QUuid textID = c.controllerAt(0)->id();
    const qsizetype bodyStart = QString("Packing list\n").size();

    c.insertImages({picture(1200, 800), picture(30, 20, Qt::red)}, textID, bodyStart + 5);
    turn();
    EXPECT_EQ(shown(), (QStringList{"T:socks", "I", "I", "T: and boots"}));
    EXPECT_EQ(n->body(), QString("socks\n\uFFFC\n\uFFFC\n and boots"));
    EXPECT_EQ(rows<NoteImage>().size(), 2);
    // The caret goes to the start of the tail.
    EXPECT_EQ(c.textController(3)->textView().selection().location, 0);
    EXPECT_EQ(c.imageController(2)->placement().sizing, ImageSizing::makeFit());  // under 48 px: fit

    c.undo();
    EXPECT_EQ(shown(), QStringList{"T:socks and boots"});
    EXPECT_EQ(c.controllerAt(0)->id(), textID);
    c.redo();
    EXPECT_EQ(shown(), (QStringList{"T:socks", "I", "I", "T: and boots"}));
    EXPECT_EQ(rows<NoteImage>().size(), 2);  // redo finds the same rows

    // In the title line the cut happens at the body start: the title is never split.
    Note* other = addNote("Title", "body");
    auto& d = open(other);
    d.insertImages({picture(100, 100)}, d.controllerAt(0)->id(), 2);
    EXPECT_EQ(other->title(), "Title");
    EXPECT_EQ(shown(), (QStringList{"T:", "I", "T:body"}));

    // At the very end: an empty tail after the picture.
    auto& e = open(addNote("T", "x"));
    e.insertImages({picture(100, 100)}, e.controllerAt(0)->id(), 99);
    EXPECT_EQ(shown(), (QStringList{"T:x", "I", "T:"}));

    // Bytes that are no picture: nothing changes and the user is told.
    int notices = 0;
    QObject::connect(&e, &BlockContainer::notice, [&] { ++notices; });
    const QByteArray envelope = note->bodyBlocksData().value();
    e.insertImages({QByteArray("not a picture")}, 1);
    EXPECT_EQ(note->bodyBlocksData().value(), envelope);
    EXPECT_EQ(notices, 1);
}

TEST_F(BlockContainerTest, DeletingAPictureJoinsTextAndUndoRestoresTheIds)
{
    NoteImage* row = addImage(QUuid());
    Note* n = addNote("N");
    row->setNoteUUID(n->uuid());
    n->setBlocks(blocks({"T:one", "I:0", "T:two"}, {row}));
    auto& c = open(n);
    const QList<QUuid> before = ids();
    const QUuid picture = before[1];

    c.deleteImageBlock(picture);
    turn();
    EXPECT_EQ(shown(), QStringList{"T:one\ntwo"});
    EXPECT_EQ(c.textController(0)->textView().selection().location, QString("N\none").size());  // at the join

    c.undo();
    turn();
    EXPECT_EQ(ids(), before);
    EXPECT_EQ(c.focusedBlockID(), std::nullopt);  // headless pictures cannot take focus; the request ran
    EXPECT_EQ(stored(), (QStringList{"T:one", "I", "T:two"}));

    // Return on a picture followed by text changes nothing; on a last picture it adds a text block.
    EXPECT_EQ(c.insertTextBlock(picture), before[2]);
    EXPECT_EQ(c.blockCount(), 3);
    Note* m = addNote("M");
    row->setNoteUUID(m->uuid());
    m->setBlocks(blocks({"T:a", "I:0"}, {row}));
    auto& d = open(m);
    ASSERT_TRUE(d.insertTextBlock(d.controllerAt(1)->id()));
    EXPECT_EQ(shown(), (QStringList{"T:a", "I", "T:"}));
}

TEST_F(BlockContainerTest, ResizeIsOneUndoStepAndNothingWithoutAChange)
{
    NoteImage* row = addImage(QUuid());
    Note* n = addNote("N");
    row->setNoteUUID(n->uuid());
    n->setBlocks(blocks({"T:a", "I:0", "T:"}, {row}));
    auto& c = open(n);
    const QUuid id = c.controllerAt(1)->id();
    const int steps = c.blockUndoManager()->undoCount();

    c.previewImageSizing(id, 0.01);
    EXPECT_EQ(c.imageController(1)->placement().sizing, ImageSizing::makeFraction(0.02));
    c.previewImageSizing(id, 0.5);
    c.previewImageSizing(id, 7.5);  // never beyond the column
    EXPECT_EQ(c.imageController(1)->placement().sizing, ImageSizing::makeFraction(1.0));
    c.setImageSizing(id, ImageSizing::makeFraction(0.6));
    EXPECT_EQ(c.blockUndoManager()->undoCount(), steps + 1);
    EXPECT_EQ(n->blocks()[1].imagePlacement()->sizing, ImageSizing::makeFraction(0.6));
    c.undo();
    EXPECT_EQ(n->blocks()[1].imagePlacement()->sizing, ImageSizing::makeFit());

    // The current sizing again, with no resize in progress: nothing registered, nothing written.
    const QDateTime stamp = QDateTime::fromSecsSinceEpoch(5);
    n->setUpdatedAt(stamp);
    const int now = c.blockUndoManager()->undoCount();
    c.setImageSizing(id, ImageSizing::makeFit());
    EXPECT_EQ(c.blockUndoManager()->undoCount(), now);
    EXPECT_EQ(n->updatedAt(), stamp);

    // Huge or non-finite sizes never reach the stored body, which would refuse every later write.
    c.setImageSizing(id, ImageSizing::makeFraction(40));
    EXPECT_EQ(n->blocks()[1].imagePlacement()->sizing, ImageSizing::makeFraction(1.0));
    c.setImageSizing(id, ImageSizing::makeFraction(std::numeric_limits<double>::quiet_NaN()));
    EXPECT_TRUE(NoteBlockEnvelope::decode(n->bodyBlocksData().value()).ok());
}

TEST_F(BlockContainerTest, FocusRequestsCoalesceAndArrowsWalkAcrossBlocks)
{
    NoteImage* row = addImage(QUuid());
    Note* n = addNote("N");
    row->setNoteUUID(n->uuid());
    n->setBlocks(blocks({"T:one", "I:0", "T:two"}, {row}));
    auto& c = open(n);
    TextBlockController* first = c.textController(0);
    TextBlockController* last = c.textController(2);
    int takes = 0;
    last->setFocusTaker([&] { ++takes; });

    c.requestFocus(FocusDescriptor{first->id(), 0}, CaretPlacement::offset(1));
    c.requestFocus(FocusDescriptor{last->id(), 0}, CaretPlacement::offset(2));
    c.requestFocus(std::nullopt, CaretPlacement::offset(0));
    turn();
    EXPECT_EQ(takes, 1);
    EXPECT_EQ(last->textView().selection().location, 2);
    EXPECT_EQ(first->textView().selection().location, 2);  // still where loading put it, after "N\n"

    // Right from a picture lands at offset 0 of the next block; left lands at the end of the one before.
    EXPECT_TRUE(c.moveFocus(c.controllerAt(1)->id(), BlockFocusDirection::right, std::nullopt));
    EXPECT_EQ(last->textView().selection().location, 0);
    EXPECT_TRUE(c.moveFocus(c.controllerAt(1)->id(), BlockFocusDirection::left, std::nullopt));
    EXPECT_EQ(first->textView().selection().location, first->textView().length());
    EXPECT_FALSE(c.moveFocus(first->id(), BlockFocusDirection::up, 0.0));
    EXPECT_FALSE(c.moveFocus(last->id(), BlockFocusDirection::down, 0.0));

    // Backspace at the start of the text after a picture selects the picture; it deletes nothing.
    int pictureTakes = 0;
    c.imageController(1)->setFocusTaker([&] { ++pictureTakes; });
    EXPECT_TRUE(c.backspaceAtStart(last->id()));
    EXPECT_FALSE(c.backspaceAtStart(first->id()));
    EXPECT_TRUE(c.deleteForwardAtEnd(first->id()));
    EXPECT_EQ(pictureTakes, 2);
    EXPECT_EQ(c.blockCount(), 3);

    // A click beside the picture goes to the start of the text after it; below everything, to the last text.
    last->textView().setCaret(3);
    c.clickAt({c.width() - 2, c.entries()[1].frame.center().y()});
    EXPECT_EQ(last->textView().selection().location, 0);
    last->textView().setCaret(1);
    c.clickAt({10, c.contentHeight() - 1});
    EXPECT_EQ(c.blockCount(), 3);
    EXPECT_GE(takes, 3);
}

TEST_F(BlockContainerTest, LayoutAnchorsScrollingAndRoutesDrops)
{
    NoteImage* a = addImage(QUuid());
    NoteImage* b = addImage(QUuid());
    Note* n = addNote("N");
    for (NoteImage* r : {a, b}) {
        r->setNoteUUID(n->uuid());
        r->setPixelWidth(800);
        r->setPixelHeight(400);
    }
    n->setBlocks(blocks({"T:top", "I:0", "T:mid", "I:1", "T:end"}, {a, b}));
    auto& c = open(n, 420, 200);
    const QRectF pic = c.entries()[1].frame;
    EXPECT_EQ(pic.left(), 5);  // gutter 0 + 5
    EXPECT_EQ(pic.width(), 410);
    EXPECT_EQ(pic.height(), 205 + 16);

    // A picture above the visible area that grows moves the visible area with it.
    c.setViewport(c.entries()[3].frame.top(), 200);
    const qreal top = c.viewportTop();
    c.setImageSizing(c.controllerAt(1)->id(), ImageSizing::makeFraction(0.5));
    EXPECT_NEAR(c.viewportTop(), top - (pic.height() - c.entries()[1].frame.height()), 0.01);

    // Drops: never before the title block; upper half of a picture before it, lower half after it.
    const QRectF p3 = c.entries()[3].frame;
    EXPECT_EQ(c.dropTarget({10, p3.top() + 2}), BlockContainer::DropTarget(BlockContainer::Gap{3}));
    EXPECT_EQ(c.dropTarget({10, p3.bottom() - 2}), BlockContainer::DropTarget(BlockContainer::Gap{4}));
    EXPECT_EQ(c.dropTarget({10, c.contentHeight() + 50}), BlockContainer::DropTarget(BlockContainer::Gap{5}));
    EXPECT_EQ(c.dropLineY(BlockContainer::Gap{5}), c.entries()[4].frame.bottom());
    const auto overTitle = c.dropTarget({10, 1});
    ASSERT_TRUE(std::holds_alternative<BlockContainer::Split>(overTitle));
    EXPECT_GE(std::get<BlockContainer::Split>(overTitle).caret, 2);  // after "N\n"

    // Edge scrolling: nothing above the top, 14 points per step near the bottom.
    c.setViewport(0, 200);
    EXPECT_FALSE(c.autoscroll({10, 5}));
    EXPECT_TRUE(c.autoscroll({10, 190}));
    EXPECT_EQ(c.viewportTop(), 14);
}

TEST_F(BlockContainerTest, ForeignChangeClearsUndoAndFlashStaysInRange)
{
    Note* n = addNote("N", "one");
    store->saveNow();
    auto& c = open(n);
    c.textController(0)->textView().setCaret(c.textController(0)->textView().length());
    c.textController(0)->textView().insertText("!");
    ASSERT_TRUE(c.blockUndoManager()->canUndo());

    ASSERT_TRUE(n->appendPlain("captured"));
    turn();
    EXPECT_EQ(shown(), QStringList{"T:one!\ncaptured"});
    EXPECT_FALSE(c.blockUndoManager()->canUndo());  // undo would drop the capture

    EXPECT_EQ(c.flash(std::nullopt, 0, 3), std::make_pair(qsizetype(2), qsizetype(3)));
    EXPECT_EQ(c.flash(std::nullopt, 10, 100), std::make_pair(qsizetype(12), qsizetype(3)));
    for (auto [location, length] : std::vector<std::pair<qint64, qint64>>{
             {-1, 3}, {0, -3}, {14, 1}, {std::numeric_limits<qint64>::max(), 1}, {1, 0}})
        EXPECT_FALSE(c.flash(std::nullopt, location, length)) << location << " " << length;
    EXPECT_FALSE(c.flash(QUuid::createUuid(), 0, 1));

    // Posted requests: only this note's, only with well-typed payloads.
    NotificationCenter center;
    c.observe(center);
    int flashes = 0;
    QObject::connect(&c, &BlockContainer::flashRequested, [&] { ++flashes; });
    const QString self = n->uuid().toString(QUuid::WithoutBraces).toUpper();
    center.post(tarnwickFlashRange, self, {{"location", 0}, {"length", 2}});
    center.post(tarnwickFlashRange, self, {{"location", "0"}, {"length", 2}});
    center.post(tarnwickFlashRange, QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(),
                {{"location", 0}, {"length", 2}});
    EXPECT_EQ(flashes, 1);
    int focusHops = 0;
    c.textController(0)->setFocusTaker([&] { ++focusHops; });
    center.post(tarnwickFormatCommand, self, {{"command", "focusBody"}});
    turn();
    EXPECT_EQ(focusHops, 1);
    EXPECT_EQ(c.textController(0)->textView().selection().location, 2);
}

TEST_F(BlockContainerTest, BodiesThatCannotBeWrittenBackAreReadOnly)
{
    // A body from a newer build, a corrupt one, and a sealed note all stay byte-identical.
    NoteImage* row = addImage(QUuid());
    Note* newer = addNote("Newer");
    newer->setBlocks(blocks({"T:text", "I:0"}, {row}));
    QByteArray newerBytes = newer->bodyBlocksData().value();
    newerBytes.replace("\"version\":1", "\"version\":7");
    newer->setBodyBlocksData(newerBytes);
    Note* corrupt = addNote("Corrupt", "keep me");
    corrupt->setBodyBlocksData(QByteArray("{broken"));
    Note* sealed = addSavedNote("secret");
    seal(*sealed);
    store->saveNow();

    for (Note* n : {newer, corrupt, sealed}) {
        const auto bytes = n->bodyBlocksData();
        const QString body = n->body();
        auto& c = open(n);
        EXPECT_TRUE(c.isReadOnly()) << n->title().toStdString();
        EXPECT_FALSE(c.readOnlyNotice().isEmpty());
        TextBlockController* t = c.textController(0);
        EXPECT_FALSE(t->textView().isEditable());
        c.blockDidChange(t->id());
        c.insertImages({picture(50, 50)}, t->id(), 0);
        c.insertImages({picture(50, 50)}, 1);
        EXPECT_EQ(n->bodyBlocksData(), bytes);
        EXPECT_EQ(n->body(), body);
    }
    ASSERT_TRUE(sealed->isSealed());
    EXPECT_EQ(shown(), QStringList{"T:"});  // nothing of the sealed content is shown

    // A note that becomes sealed while shown leaves the screen with its history.
    Note* open1 = addNote("Plain", "visible text");
    store->saveNow();
    auto& c = open(open1);
    c.textController(0)->textView().setCaret(c.textController(0)->textView().length());
    c.textController(0)->textView().insertText("!");
    seal(*open1);
    EXPECT_TRUE(c.isReadOnly());
    EXPECT_EQ(shown(), QStringList{"T:"});
    EXPECT_FALSE(c.blockUndoManager()->canUndo());
}

}  // namespace

namespace {

// The whole body as the user sees it: every block's text, pictures by row.
QStringList bodyShape(BlockContainer& c)
{
    QStringList out;
    for (int i = 0; i < c.blockCount(); ++i) {
        if (auto* t = c.textController(i))
            out << QStringLiteral("T:") + t->textView().text();
        else
            out << QStringLiteral("I:") + c.imageController(i)->placement().imageID.toString();
    }
    return out;
}

}  // namespace

// Redo brings back every step undone: a picture paste's redo restores the blocks with their ids, and
// the typing recorded after it applies to the block it was typed in.
TEST_F(BlockContainerTest, RedoAfterUndoingEverythingRestoresEveryStep)
{
    Note* n = addNote("", "");
    store->saveNow();
    auto& c = open(n);
    c.textController(0)->textView().insertText("UR\nabc");
    c.insertImages({picture(40, 30)}, c.controllerAt(0)->id(), 99);
    ASSERT_EQ(c.blockCount(), 3);
    c.textController(2)->textView().insertText("def");
    const QStringList done = bodyShape(c);
    const QString body = n->body();
    for (int i = 0; i < 4; ++i) c.undo();
    for (int i = 0; i < 8; ++i) c.redo();
    EXPECT_EQ(bodyShape(c), done);
    EXPECT_EQ(n->body(), body);

    // The same over a longer script of typing, Returns, deletions and picture pastes, from a fixed seed.
    for (quint32 seed : {7u, 19u, 2024u}) {
        QRandomGenerator random(seed);
        auto& d = open(addNote("Seed", "start"));
        const QStringList initial = bodyShape(d);
        bool joined = false;  // joining text blocks drops their typing history, by design
        for (int step = 0; step < 40; ++step) {
            std::vector<int> texts;
            for (int i = 0; i < d.blockCount(); ++i)
                if (d.textController(i)) texts.push_back(i);
            TextBlockController* t = d.textController(texts[random.bounded(int(texts.size()))]);
            TextViewModel& model = t->textView();
            model.setCaret(random.bounded(int(model.length()) + 1));
            switch (random.bounded(5)) {
                case 0:
                    model.insertText(QStringLiteral("w%1 ").arg(step));
                    break;
                case 1:
                    model.insertText(QStringLiteral("\n"));
                    break;
                case 2:
                    model.deleteBackward();
                    break;
                case 3:
                    d.insertImages({picture(20 + step, 20)}, t->id(), model.selection().location);
                    break;
                default:
                    for (int i = 0; i < d.blockCount(); ++i)
                        if (d.imageController(i)) {
                            joined = joined || (i > 0 && d.textController(i - 1));
                            d.deleteImageBlock(d.controllerAt(i)->id());
                            break;
                        }
            }
            turn();
        }
        const QStringList final = bodyShape(d);
        const QString finalBody = note->body();
        while (d.blockUndoManager()->canUndo()) d.undo();
        turn();
        if (!joined) {
            EXPECT_EQ(bodyShape(d), initial) << seed;
        }
        while (d.blockUndoManager()->canRedo()) d.redo();
        turn();
        EXPECT_EQ(bodyShape(d), final) << seed;
        EXPECT_EQ(note->body(), finalBody) << seed;
    }
}

TEST_F(BlockContainerTest, KeysInALongBodyAreWrittenBackTogetherAndBeforeAnyoneReadsOrChangesIt)
{
    // A long body takes keys without writing itself back at each: the note catches up after a pause,
    // and at once when the store saves, seals, or a capture appends to it. Nothing typed is lost.
    const QString body(BlockContainer::deferWriteBackAbove + 10, QLatin1Char('b'));
    Note* n = addNote("Long", body);
    store->saveNow();
    auto& c = open(n);
    TextBlockController* title = c.textController(0);
    ASSERT_TRUE(title);
    title->textView().setCaret(title->textView().length());
    title->textView().insertText("X");
    title->textView().insertText("Y");
    EXPECT_TRUE(c.hasHeldBackEdits());
    EXPECT_EQ(n->body(), body);
    store->saveNow();
    EXPECT_FALSE(c.hasHeldBackEdits());
    EXPECT_EQ(n->body(), body + "XY");

    // After a pause the note catches up by itself.
    title->textView().insertText("Z");
    EXPECT_EQ(n->body(), body + "XY");
    for (int i = 0; i < 200 && c.hasHeldBackEdits(); ++i) QTest::qWait(10);
    EXPECT_EQ(n->body(), body + "XYZ");

    // A capture appended to the open note keeps the key typed just before it.
    title->textView().insertText("!");
    FakeSelectionReader reader;
    CaptureService capture(
        *store, [&](const QUuid& id) { return id == n->uuid(); }, settings, clock, reader);
    store->setActiveNoteID(n->uuid());
    capture.ingest(CaptureContext{QStringLiteral("appended"), {}, {}, {}, {}}, false);
    EXPECT_EQ(n->body(), body + "XYZ!\nappended");
    turn();
    title = c.textController(0);
    ASSERT_TRUE(title);
    EXPECT_EQ(title->textView().storage().text().right(13), QStringLiteral("XYZ!\nappended"));

    // Closing the editor writes what it still holds.
    title->textView().setCaret(title->textView().length());
    title->textView().insertText("?");
    container.reset();
    EXPECT_TRUE(n->body().endsWith(QStringLiteral("appended?")));
}

TEST_F(BlockContainerTest, ACaptureAppendedWhileTheUserTypesIsKeptWithTheTypingAndUndoneAlone)
{
    Note* n = addNote("Draft", "first");
    store->saveNow();
    auto& c = open(n);
    TextViewModel& typing = c.textController(0)->textView();
    typing.setCaret(typing.length());
    typing.insertText(" one");
    FakeSelectionReader reader;
    CaptureService capture(
        *store, [&](const QUuid& id) { return id == n->uuid(); }, settings, clock, reader);
    store->setActiveNoteID(n->uuid());

    // Keys already waiting when the capture comes are handled before the next turn of the event loop:
    // they go into the body with the capture in it, before it, where the caret stood.
    const auto result = capture.ingest(CaptureContext{QStringLiteral("captured"), {}, {}, {}, {}}, false);
    ASSERT_TRUE(std::holds_alternative<CaptureService::Appended>(result));
    typing.insertText(" two");
    typing.insertText(" three");
    EXPECT_EQ(n->body(), "first one two three\ncaptured");
    store->saveNow();
    EXPECT_FALSE(store->context().hasChanges());
    EXPECT_EQ(rows<Capture>().size(), 1);

    // Undo takes out the capture alone, though the typing moved it; the next key keeps it out.
    EXPECT_TRUE(capture.undoLast());
    EXPECT_EQ(n->body(), "first one two three");
    typing.insertText(" four");
    EXPECT_EQ(n->body(), "first one two three four");
    EXPECT_TRUE(rows<Capture>().isEmpty());

    // The same after a picture: the capture gets a text block of its own, typed around likewise.
    c.insertImages({picture(20, 20)}, 1);
    turn();
    ASSERT_EQ(shown(), (QStringList{"T:first one two three four", "I", "T:"}));
    capture.ingest(CaptureContext{QStringLiteral("second"), {}, {}, {}, {}}, false);
    typing.insertText("!");
    EXPECT_EQ(stored(), (QStringList{"T:first one two three four!", "I", "T:second"}));
    EXPECT_TRUE(capture.undoLast());
    typing.insertText("?");
    EXPECT_EQ(stored(), (QStringList{"T:first one two three four!?", "I", "T:"}));
}

TEST_F(BlockContainerTest, ACaptureIntoAnEmptyBodyLeavesTheCaretALineOfItsOwn)
{
    Note* n = addNote("Draft", "");
    store->saveNow();
    auto& c = open(n);
    TextBlockController* title = c.textController(0);
    TextViewModel& typing = title->textView();
    FakeSelectionReader reader;
    CaptureService capture(
        *store, [&](const QUuid& id) { return id == n->uuid(); }, settings, clock, reader);
    store->setActiveNoteID(n->uuid());
    const auto ingest = [&](const QString& text) { capture.ingest(CaptureContext{text, {}, {}, {}, {}}, false); };

    // The caret in the title line: the text fills the empty body, with no line before it.
    title->setFocused(true);
    typing.setCaret(2);
    ingest("filled");
    EXPECT_EQ(n->body(), "filled");
    EXPECT_TRUE(capture.undoLast());

    // The caret on the empty body line, though its window has lost the keyboard since (a hot key over
    // another program): the caret keeps that line, the text goes on the next; what is typed stays in
    // front of it, apart, and the undo takes out the text alone.
    typing.setCaret(typing.length());
    title->setFocused(false);
    ingest("ecap");
    EXPECT_EQ(typing.storage().text(), "Draft\n\necap");
    EXPECT_EQ(typing.selection().location, 6);
    typing.insertText("typed");
    EXPECT_EQ(n->body(), "typed\necap");
    EXPECT_TRUE(capture.undoLast());
    typing.insertText("!");
    EXPECT_EQ(n->body(), "typed!");
    EXPECT_TRUE(rows<Capture>().isEmpty());
}
