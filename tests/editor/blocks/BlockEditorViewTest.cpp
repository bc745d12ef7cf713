#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include "BlockTestSupport.h"
#include "capture/CaptureService.h"
#include "design/TarnwickTheme.h"
#include "editor/blocks/BlockContainerView.h"
#include "editor/blocks/BlockEditorView.h"
#include "editor/blocks/ImageBlockView.h"
#include "editor/blocks/PreviewFiles.h"
#include "editor/text/FindBar.h"
#include "editor/text/RichNSTextView.h"
#include "model/Capture.h"
#include "model/NoteBlockEnvelope.h"
#include "platform/NotificationCenter.h"
#include "platform/SpellChecker.h"
#include "support/FakeSelectionReader.h"

using namespace tarnwick::test;

namespace {

class BlockEditorViewTest : public ::testing::Test, public BlockFixture {
protected:
    BlockEditorView& show(Note* n, QSize size = {420, 300})
    {
        note = n;
        editor = std::make_unique<BlockEditorView>(
            EditorServices{*store, previews, clock, NotificationCenter::shared(), SpellChecker::desktop()});
        editor->resize(size);
        editor->setNote(n);
        editor->show();
        editor->activateWindow();
        active = editor->container();
        turn();
        return *editor;
    }
    BlockContainer& c() { return *editor->container(); }
    // A note of text, a picture and text, shown; the picture's row.
    NoteImage* showPictureBetween(const QString& before, const QString& after, QSize size = {420, 300})
    {
        NoteImage* row = addImage(QUuid());
        Note* n = addNote("N");
        row->setNoteUUID(n->uuid());
        n->setBlocks(blocks({"T:" + before, "I:0", "T:" + after}, {row}));
        store->saveNow();
        show(n, size);
        return row;
    }

    QTemporaryDir previewDir;
    PreviewFiles previews{previewDir.filePath("previews")};
    std::unique_ptr<BlockEditorView> editor;
};

TEST_F(BlockEditorViewTest, PictureDragsOverTextReachTheContainer)
{
    Note* n = addNote("Trip", "socks and boots");
    store->saveNow();
    show(n);
    auto* text = qobject_cast<RichNSTextView*>(c().controllerAt(0)->view());
    ASSERT_TRUE(text);

    QTemporaryDir dir;
    QFile file(dir.filePath("photo.png"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(picture(60, 40));
    file.close();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(file.fileName())});
    data.setText(file.fileName());  // a file manager's path as text must not land in the text
    const QPoint at(20, text->height() - 4);

    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(text->viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    EXPECT_TRUE(editor->containerView()->dropLine()->isVisible());

    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(text->viewport(), &drop);
    turn();
    EXPECT_EQ(rows<NoteImage>().size(), 1);
    EXPECT_FALSE(n->body().contains("photo.png"));
    EXPECT_TRUE(n->body().contains(QChar(0xFFFC)));

    // Plain text drags are the text view's own: no drop line.
    QMimeData plain;
    plain.setText("words");
    QDragEnterEvent textEnter(at, Qt::CopyAction, &plain, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(text->viewport(), &textEnter);
    EXPECT_FALSE(editor->containerView()->dropLine()->isVisible());
}

TEST_F(BlockEditorViewTest, AReadOnlyBodySaysSoAboveTheBlocks)
{
    Note* n = addNote("Newer", "text");
    QByteArray bytes = NoteBlockEnvelope::encode(n->blocks()).value();
    bytes.replace("\"version\":1", "\"version\":3");
    n->setBodyBlocksData(bytes);
    show(n);
    EXPECT_FALSE(editor->readOnlyLine().isEmpty());
    Note* plain = addNote("Plain", "text");
    editor->setNote(plain);
    EXPECT_TRUE(editor->readOnlyLine().isEmpty());
}

TEST_F(BlockEditorViewTest, TheCaretStaysVisible)
{
    QStringList lines;
    for (int i = 0; i < 80; ++i) lines << QStringLiteral("line %1").arg(i);
    Note* n = addNote("Long", lines.join('\n'));
    store->saveNow();
    show(n, {300, 150});
    auto* text = qobject_cast<RichNSTextView*>(c().controllerAt(0)->view());
    ASSERT_TRUE(text);
    text->setFocus();
    turn();
    EXPECT_EQ(editor->verticalScrollBar()->value(), 0);
    c().textController(0)->textView().setCaret(c().textController(0)->textView().length());
    turn();
    const int top = editor->verticalScrollBar()->value();
    EXPECT_GT(top, 0);
    const QRect caret = text->cursorRect().translated(text->pos());
    EXPECT_GE(caret.top(), top);
    EXPECT_LE(caret.bottom(), top + editor->viewport()->height());

    // The wheel over a text block scrolls the note.
    QWheelEvent wheel(QPointF(20, 20), text->viewport()->mapToGlobal(QPointF(20, 20)), QPoint(), QPoint(0, 120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(text->viewport(), &wheel);
    EXPECT_LT(editor->verticalScrollBar()->value(), top);
}

// A picture above the visible area that changes height moves the scroll position by as much, so the
// text being read stays where it is: in the middle of a note, and at its end, where the body's old
// height must not hold the scroll back.
TEST_F(BlockEditorViewTest, APictureAboveTheVisibleAreaLeavesTheTextInPlace)
{
    QStringList lines;
    for (int i = 1; i <= 40; ++i) lines << QStringLiteral("line %1").arg(i);
    showPictureBetween("top", lines.join('\n'), {360, 200});
    const QUuid picture = c().controllerAt(1)->id();
    QWidget* text = c().controllerAt(2)->view();
    QScrollBar* bar = editor->verticalScrollBar();
    const auto textTop = [&] { return text->mapTo(editor->viewport(), QPoint()).y(); };
    for (const bool atEnd : {false, true}) {
        c().setImageSizing(picture, ImageSizing::makeFit());
        turn();
        bar->setValue(atEnd ? bar->maximum() : int(c().entries()[2].frame.top()) + 60);
        turn();
        const int top = bar->value();
        const int before = textTop();
        const qreal small = c().entries()[1].frame.height();
        c().setImageSizing(picture, ImageSizing::makePreset(ImageSizing::Preset::large));
        turn();
        const qreal grown = c().entries()[1].frame.height() - small;
        ASSERT_GT(grown, 100);
        EXPECT_EQ(textTop(), before) << (atEnd ? "at the end" : "in the middle");
        EXPECT_NEAR(bar->value(), top + grown, 1) << (atEnd ? "at the end" : "in the middle");
        if (atEnd) {
            EXPECT_EQ(bar->value(), bar->maximum());
        }
        c().setImageSizing(picture, ImageSizing::makeFit());
        turn();
        EXPECT_EQ(textTop(), before) << (atEnd ? "at the end, shrunk" : "in the middle, shrunk");
    }
}

TEST_F(BlockEditorViewTest, PictureKeys)
{
    const NoteImage* row = showPictureBetween("a", "b");
    auto* view = qobject_cast<ImageBlockView*>(c().controllerAt(1)->view());
    ASSERT_TRUE(view);
    const QList<QUuid> before = ids();

    QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->mimeData()->data("image/png"), row->data().value());
    QTest::keyClick(view, Qt::Key_Delete, Qt::ControlModifier);  // with Control the block takes nothing
    EXPECT_EQ(c().blockCount(), 3);
    QTest::keyClick(view, Qt::Key_Delete);
    EXPECT_EQ(c().blockCount(), 1);
    QTest::keyClick(c().controllerAt(0)->view(), Qt::Key_Z, Qt::ControlModifier);
    turn();
    EXPECT_EQ(ids(), before);
    EXPECT_EQ(stored(), (QStringList{"T:a", "I", "T:b"}));

    // The preview file of a double click is private; it goes with the editor.
    auto* again = qobject_cast<ImageBlockView*>(c().controllerAt(1)->view());
    ASSERT_TRUE(again);
    // Assistive technology: an image with its size and the menu's actions.
    QAccessibleInterface* a11y = QAccessible::queryAccessibleInterface(again);
    ASSERT_TRUE(a11y);
    EXPECT_EQ(a11y->role(), QAccessible::Graphic);
    EXPECT_EQ(a11y->text(QAccessible::Name), "Image");
    a11y->actionInterface()->doAction("Full width");
    EXPECT_EQ(note->blocks()[1].imagePlacement()->sizing, ImageSizing::makePreset(ImageSizing::Preset::large));
    EXPECT_TRUE(a11y->text(QAccessible::Value).startsWith("Full width, 100% of width"));
    // Its corner grip: a button with its name and help, shown while the picture has the focus.
    ASSERT_EQ(a11y->childCount(), 1);
    QAccessibleInterface* grip = a11y->child(0);
    EXPECT_EQ(grip->role(), QAccessible::Button);
    EXPECT_EQ(grip->text(QAccessible::Name), "Resize image");
    EXPECT_EQ(grip->text(QAccessible::Help), "Drag to change how wide this picture is drawn");
    EXPECT_EQ(grip->parent(), a11y);
    EXPECT_EQ(a11y->indexOfChild(grip), 0);
    again->setFocus();
    EXPECT_EQ(grip->state().invisible, !again->hasFocus());
    const QPoint corner = again->mapToGlobal(again->imageRect().bottomRight().toPoint());
    EXPECT_TRUE(grip->rect().contains(corner));
    // The image's frame is the picture's own, without the block's margins, the room beside a narrow
    // picture or the outline's bleed.
    a11y->actionInterface()->doAction("Original size");
    turn();
    const QRect picture = again->imageRect().toRect();
    EXPECT_EQ(picture.size(), QSize(48, 48));
    EXPECT_EQ(a11y->rect(), QRect(again->mapToGlobal(picture.topLeft()), picture.size()));

    const auto file = c().imageController(1)->previewFile(previews);
    ASSERT_TRUE(file);
    editor.reset();
    EXPECT_FALSE(QFile::exists(*file));
}

// A picture has no caret x: Up from it lands at the start of the last line above, Down at the start of
// the first line below, wherever the window stands on the screen.
TEST_F(BlockEditorViewTest, ArrowsFromAPictureLandAtTheLineStart)
{
    showPictureBetween("abcdefghijklmnop", "xyz\nsecond");
    auto* picture = qobject_cast<ImageBlockView*>(c().controllerAt(1)->view());
    ASSERT_TRUE(picture);
    for (const QPoint at : {QPoint(0, 0), QPoint(600, 200)}) {
        editor->move(at);
        turn();
        picture->setFocus();
        QTest::keyClick(picture, Qt::Key_Up);
        const TextViewModel& above = c().textController(0)->textView();
        EXPECT_EQ(above.selection(), (TextRange{2, 0})) << "window at " << at.x();  // after "N\n"
        picture->setFocus();
        QTest::keyClick(picture, Qt::Key_Down);
        EXPECT_EQ(c().textController(2)->textView().selection(), (TextRange{0, 0})) << "window at " << at.x();
    }
}

}  // namespace

// Files that would block a reader (a pipe, a link to one, a socket) dropped as pictures are skipped at
// once with a notice; nothing is stored.
TEST_F(BlockEditorViewTest, DroppedSpecialFilesAreSkippedAtOnce)
{
    Note* n = addNote("Drops", "text");
    store->saveNow();
    show(n);
    QStringList notices;
    QObject::connect(&c(), &BlockContainer::notice, [&](const QString& m) { notices << m; });
    QTemporaryDir dir;
    const QString fifo = dir.filePath("pipe.png");
    ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    const QString link = dir.filePath("link.jpg");
    ASSERT_TRUE(QFile::link(fifo, link));
    const QString socketPath = dir.filePath("s.png");
    const int listening = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    qstrncpy(address.sun_path, socketPath.toLocal8Bit().constData(), sizeof address.sun_path);
    ASSERT_EQ(::bind(listening, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(fifo), QUrl::fromLocalFile(link), QUrl::fromLocalFile(socketPath)});
    QWidget* target = editor->containerView();
    const QPoint at(20, target->height() - 4);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);  // would wait for a writer if a pipe were opened
    turn();
    EXPECT_EQ(rows<NoteImage>().size(), 0);
    ASSERT_FALSE(notices.isEmpty());
    for (const char* name : {"pipe.png", "link.jpg", "s.png"})
        EXPECT_TRUE(notices.join('|').contains(name)) << name << ": " << notices.join('|').toStdString();
    ::close(listening);
}

TEST_F(BlockEditorViewTest, TheFindBarOpensOnTheFocusedBlockAndAFocusMoveClosesIt)
{
    Note* n = addNote("Trip", "see recieve");
    store->saveNow();
    show(n);
    c().insertImages({picture(40, 30)}, 1);
    turn();
    ASSERT_GE(c().blockCount(), 2);  // text, picture (and the text after it)
    QApplication::setActiveWindow(editor.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(editor.get()));
    auto* text = qobject_cast<RichNSTextView*>(c().controllerAt(0)->view());
    ASSERT_TRUE(text);
    text->setFocus();
    turn();
    c().textController(0)->textView().setCaret(7);
    const std::optional<QByteArray> stored = n->bodyBlocksData();

    FindBar* bar = editor->findBar();
    editor->showFindBar();
    ASSERT_TRUE(bar->isOpen());
    EXPECT_EQ(QApplication::focusWidget(), bar->field());
    EXPECT_GT(editor->viewport()->y(), bar->y());  // the bar sits above the blocks
    QTest::keyClicks(bar->field(), "RECIEVE");
    EXPECT_EQ(bar->statusText(), "1 of 1");
    QTest::keyClick(bar->field(), Qt::Key_Escape);
    EXPECT_FALSE(bar->isOpen());
    EXPECT_EQ(QApplication::focusWidget(), text);
    EXPECT_EQ(c().textController(0)->textView().selection(), (TextRange{7, 0}));
    EXPECT_EQ(editor->viewport()->y(), 0);

    // Escape from "Done" (reached by Tab) closes the bar and gives the caret back as well.
    editor->showFindBar();
    QTest::keyClicks(bar->field(), "r");
    QTest::keyClick(bar->field(), Qt::Key_Tab);
    ASSERT_NE(QApplication::focusWidget(), bar->field());
    ASSERT_TRUE(bar->isAncestorOf(QApplication::focusWidget()));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(bar->isOpen());
    EXPECT_EQ(QApplication::focusWidget(), text);
    EXPECT_EQ(c().textController(0)->textView().selection(), (TextRange{7, 0}));

    // The bar belongs to the block it searches: focus moving to the picture closes it.
    editor->showFindBar();
    ASSERT_TRUE(bar->isOpen());
    text->setFocus();
    turn();
    EXPECT_TRUE(bar->isOpen());  // back into the same block: still open
    c().controllerAt(1)->view()->setFocus();
    turn();
    EXPECT_FALSE(bar->isOpen());
    EXPECT_EQ(n->bodyBlocksData(), stored);  // finding never wrote the note
}

TEST_F(BlockEditorViewTest, AFoundMatchBelowTheFoldIsScrolledIntoSight)
{
    QStringList lines;
    for (int i = 0; i < 80; ++i) lines << QStringLiteral("line %1").arg(i);
    lines << "needle";
    Note* n = addNote("Long", lines.join('\n'));
    store->saveNow();
    show(n, {300, 150});
    QApplication::setActiveWindow(editor.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(editor.get()));
    editor->showFindBar();
    QTest::keyClicks(editor->findBar()->field(), "needle");
    turn();
    EXPECT_EQ(editor->findBar()->statusText(), "1 of 1");
    auto* text = qobject_cast<RichNSTextView*>(c().controllerAt(0)->view());
    const int top = editor->verticalScrollBar()->value();
    const QRect match = text->cursorRect().translated(text->pos());
    EXPECT_GT(top, 0);
    EXPECT_GE(match.top(), top);
    EXPECT_LE(match.bottom(), top + editor->viewport()->height());
}

// A paste lands as it will read: lines pasted into a new note's title make its title and its body with no
// line left over, an HTML list keeps its markers, and the view follows the caret at once, not at the next
// key.
TEST_F(BlockEditorViewTest, PastedTextLandsAsItReadsAndInSight)
{
    Note* n = addNote("");
    store->saveNow();
    show(n, {300, 150});
    TextBlockController* title = c().textController(0);
    ASSERT_TRUE(title);
    auto* text = qobject_cast<RichNSTextView*>(title->view());
    ASSERT_TRUE(text);
    text->setFocus();
    turn();
    ASSERT_EQ(title->textView().text(), "\n");
    title->textView().setCaret(0);
    QApplication::clipboard()->setText("TitleP\nbody");
    QTest::keyClick(text, Qt::Key_V, Qt::ControlModifier);
    turn();
    EXPECT_EQ(n->title(), "TitleP");
    EXPECT_EQ(stored(), QStringList{"T:body"});
    EXPECT_EQ(title->textView().selection(), (TextRange{11, 0}));  // after "body"
    QTest::keyClick(text, Qt::Key_Z, Qt::ControlModifier);         // one step, the lone break back
    EXPECT_EQ(title->textView().text(), "\n");
    // Pasted lines inside a title that has more words: they follow the pasted text into the body.
    title->textView().setCaret(0);
    QTest::keyClicks(text, "AB");
    title->textView().setCaret(1);
    QTest::keyClick(text, Qt::Key_V, Qt::ControlModifier);
    turn();
    EXPECT_EQ(title->textView().text(), "ATitleP\nbodyB");
    EXPECT_EQ(title->textView().selection(), (TextRange{12, 0}));
    EXPECT_TRUE(n->blocks()[0].textRuns()->runs.isEmpty());  // "bodyB" in the body's face, not the title's

    // An HTML list keeps its bullets and numbers, written as the editor writes lists.
    title->textView().setCaret(title->textView().length());
    QTest::keyClick(text, Qt::Key_Return);
    auto* html = new QMimeData;
    html->setHtml("<ul><li>alpha</li><li>beta<ol><li>one</li><li>two</li></ol></li></ul><p>after</p>");
    html->setText("alpha beta one two after");
    QApplication::clipboard()->setMimeData(html);
    QTest::keyClick(text, Qt::Key_V, Qt::ControlModifier);
    turn();
    EXPECT_EQ(stored(), QStringList{QString::fromUtf8("T:bodyB\n• alpha\n• beta\n    a. one\n    b. two\nafter")});
    // Inside a line the first item joins it; the next ones are items of their own.
    QTest::keyClick(text, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(stored(),
              QStringList{QString::fromUtf8("T:bodyB\n• alpha\n• beta\n    a. one\n    b. two\nafteralpha\n• beta\n"
                                            "    a. one\n    b. two\nafter")});

    // Lines pasted past the visible area: the caret is in sight as soon as the blocks are laid out.
    const int before = editor->verticalScrollBar()->value();
    QStringList lines;
    for (int i = 0; i < 40; ++i) lines << QStringLiteral("pasted %1").arg(i);
    QApplication::clipboard()->setText(lines.join('\n'));
    QTest::keyClick(text, Qt::Key_V, Qt::ControlModifier);
    turn();
    const int top = editor->verticalScrollBar()->value();
    EXPECT_GT(top, before + 300);
    const QRect caret = text->cursorRect().translated(text->pos());
    EXPECT_GE(caret.top(), top);
    EXPECT_LE(caret.bottom(), top + editor->viewport()->height());
}

// Text captured into the long note on screen goes in as a long paste does: the note and the editor hold
// all of it at once, the note is written in the background, and the document takes it a slice per turn
// after the text it showed, which stays. The caret stays in front of it, and the capture's undo takes out
// exactly it.
TEST_F(BlockEditorViewTest, ALongCaptureIntoTheShownNoteIsStoredAtOnceAndShownSliceBySlice)
{
    QString body, captured;
    for (int i = 0; body.size() < DocumentTextStorage::fillAtOnce; ++i) body += QStringLiteral("line %1\n").arg(i);
    for (int i = 0; captured.size() < 2 * DocumentTextStorage::fillAtOnce; ++i)
        captured += QStringLiteral("captured %1\n").arg(i);
    Note* n = addNote("Long", body);
    store->saveNow();
    show(n);
    TextBlockController* title = c().textController(0);
    ASSERT_TRUE(title);
    auto* storage = dynamic_cast<DocumentTextStorage*>(&title->textView().storage());
    ASSERT_TRUE(storage);
    for (int i = 0; i < 1000 && storage->isFilling(); ++i) QCoreApplication::processEvents();
    title->textView().setCaret(7);
    int removedFromDocument = 0;
    QObject::connect(storage->document(), &QTextDocument::contentsChange, [&](int, int removed, int added) {
        removedFromDocument += removed > added ? removed - added : 0;
    });

    FakeSelectionReader reader;
    CaptureService capture(
        *store, [&](const QUuid& id) { return id == n->uuid(); }, settings, clock, reader);
    store->setActiveNoteID(n->uuid());
    const auto result = capture.ingest(CaptureContext{captured, {}, {}, {}, {}}, false);
    ASSERT_TRUE(std::holds_alternative<CaptureService::Appended>(result));
    EXPECT_TRUE(std::get<CaptureService::Appended>(result).writing);
    EXPECT_EQ(n->body(), body + "\n" + captured);
    EXPECT_EQ(storage->text(), "Long\n" + body + "\n" + captured);
    ASSERT_TRUE(storage->isFilling());
    EXPECT_LT(storage->document()->characterCount(), storage->length() - DocumentTextStorage::fillAtOnce);
    EXPECT_EQ(title->textView().selection(), (TextRange{7, 0}));
    for (int i = 0; i < 1000 && storage->isFilling(); ++i) QCoreApplication::processEvents();
    EXPECT_EQ(storage->readDocument(), storage->attributedText());
    EXPECT_EQ(removedFromDocument, 0) << "the text shown stays as it was laid out";
    store->context().waitForWrite();
    EXPECT_FALSE(store->context().hasChanges()) << "all of it written";
    ASSERT_EQ(rows<Capture>().size(), 1);
    EXPECT_EQ(rows<Capture>().first()->noteUUID(), n->uuid());

    EXPECT_TRUE(capture.undoLast());
    EXPECT_EQ(n->body(), body);
    EXPECT_EQ(storage->text(), "Long\n" + body);
    EXPECT_EQ(title->textView().selection(), (TextRange{7, 0}));
}

// The body reads as one document with one selection: selecting in a block leaves no selection drawn in
// another one.
TEST_F(BlockEditorViewTest, OnlyTheFocusedBlockShowsASelection)
{
    showPictureBetween("first words", "second words");
    auto* first = qobject_cast<RichNSTextView*>(c().controllerAt(0)->view());
    auto* second = qobject_cast<RichNSTextView*>(c().controllerAt(2)->view());
    ASSERT_TRUE(first && second);
    second->setFocus();
    turn();
    c().textController(2)->textView().setSelection({0, 6});
    ASSERT_TRUE(second->textCursor().hasSelection());

    // A drag across the first block, ending over the second.
    const QPoint from = first->caretRect(2).center().toPoint();
    QTest::mousePress(first->viewport(), Qt::LeftButton, {}, from);
    for (int dy : {4, 12, 40, 120}) {
        const QPoint to = from + QPoint(30, dy);
        QMouseEvent move(QEvent::MouseMove, to, first->viewport()->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(first->viewport(), &move);
    }
    QTest::mouseRelease(first->viewport(), Qt::LeftButton, {}, from + QPoint(30, 120));
    turn();
    EXPECT_TRUE(first->hasFocus());
    EXPECT_GT(c().textController(0)->textView().selection().length, 0);
    EXPECT_EQ(c().textController(2)->textView().selection(), (TextRange{6, 0}));
    EXPECT_FALSE(second->textCursor().hasSelection());
}

// A right-click beside the text (a menu there, then Escape) leaves the keys with the text block.
TEST_F(BlockEditorViewTest, ARightClickBesideTheTextLeavesTheKeysWithIt)
{
    Note* n = addNote("Trip", "socks");
    store->saveNow();
    show(n, {420, 400});
    auto* text = qobject_cast<RichNSTextView*>(c().controllerAt(0)->view());
    ASSERT_TRUE(text);
    QApplication::setActiveWindow(editor.get());
    text->setFocus();
    turn();
    QTest::keyClick(text, Qt::Key_End, Qt::ControlModifier);
    // Below the last line: the body's own area, not the text's.
    const QPoint below(60, editor->viewport()->height() - 12);
    QWidget* under = editor->viewport()->childAt(below);
    QWidget* target = under ? under : editor->viewport();
    ASSERT_NE(target, text);
    const QPoint at = target->mapFrom(editor->viewport(), below);
    for (Qt::MouseButton button : {Qt::RightButton, Qt::MiddleButton}) {
        QTest::mouseClick(target, button, {}, at);
        turn();
        EXPECT_EQ(QApplication::focusWidget(), text) << int(button);
    }
    QTest::keyClicks(QApplication::focusWidget(), "!");
    EXPECT_EQ(c().textController(0)->textView().text(), "Trip\nsocks!");
    // A left click there still puts the caret into the text.
    c().textController(0)->textView().setCaret(0);
    QTest::mouseClick(target, Qt::LeftButton, {}, at);
    turn();
    EXPECT_EQ(QApplication::focusWidget(), text);
}

// An undo that takes away the focused picture leaves the keyboard with the body itself; Undo and Redo
// still walk the note's history from there, and from the scroll view around the blocks.
TEST_F(BlockEditorViewTest, UndoAndRedoReachTheHistoryFromTheBodyItself)
{
    showPictureBetween("a", "b");
    QApplication::setActiveWindow(editor.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(editor.get()));
    c().controllerAt(1)->view()->setFocus();
    turn();
    const auto press = [&](Qt::KeyboardModifiers mods) {
        QWidget* keys = QApplication::focusWidget();
        if (!keys) return;
        QTest::keyClick(keys, Qt::Key_Z, mods);
        turn();
    };
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_C, Qt::ControlModifier);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_V, Qt::ControlModifier);
    turn();
    EXPECT_EQ(stored(), (QStringList{"T:a", "I", "I", "T:b"}));
    press(Qt::ControlModifier);
    EXPECT_EQ(stored(), (QStringList{"T:a", "I", "T:b"}));
    ASSERT_EQ(QApplication::focusWidget(), editor->containerView());
    press(Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(stored(), (QStringList{"T:a", "I", "I", "T:b"}));
    press(Qt::ControlModifier);
    EXPECT_EQ(stored(), (QStringList{"T:a", "I", "T:b"}));

    // With the scroll view holding the keyboard (the body focused through its proxy).
    editor->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), editor.get());
    press(Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(stored(), (QStringList{"T:a", "I", "I", "T:b"}));
    press(Qt::ControlModifier);
    EXPECT_EQ(stored(), (QStringList{"T:a", "I", "T:b"}));
}

// A selected picture keeps its accent outline when its window is not the active one, drawn fainter
// (at 0.45 of its alpha); in the active window it is drawn whole.
TEST_F(BlockEditorViewTest, ASelectedPictureKeepsItsOutlineInAnInactiveWindow)
{
    showPictureBetween("a", "b");
    QApplication::setActiveWindow(editor.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(editor.get()));
    auto* picture = qobject_cast<ImageBlockView*>(c().controllerAt(1)->view());
    ASSERT_TRUE(picture);
    picture->setFocus();
    turn();
    // A point of the top edge of the outline, above the picture itself, and the background above it.
    const auto outline = [&](int above = 1) {
        const QRectF r = picture->imageRect();
        return picture->grab().toImage().pixelColor(int(r.center().x()), int(r.top()) - above);
    };
    const QColor accent = TarnwickTheme::accent();
    const QColor active = outline();
    EXPECT_TRUE(picture->overlayTarget());
    EXPECT_EQ(active.rgb(), accent.rgb());
    EXPECT_EQ(active.alpha(), 255);

    QWidget other;
    other.resize(100, 100);
    other.show();
    QApplication::setActiveWindow(&other);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    turn();
    EXPECT_TRUE(picture->isSelected());
    EXPECT_TRUE(picture->overlayTarget());
    const QColor inactive = outline();
    const QColor background = outline(6);
    EXPECT_NE(background.rgb(), accent.rgb());
    // The accent at 0.45 over the background.
    EXPECT_NEAR(inactive.red(), 0.45 * accent.red() + 0.55 * background.red(), 3);
    EXPECT_NEAR(inactive.green(), 0.45 * accent.green() + 0.55 * background.green(), 3);
    EXPECT_NEAR(inactive.blue(), 0.45 * accent.blue() + 0.55 * background.blue(), 3);

    // Back in the active window, whole again; and an unselected picture there has no outline at all.
    QApplication::setActiveWindow(editor.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(editor.get()));
    turn();
    EXPECT_EQ(outline().alpha(), 255);
    c().controllerAt(0)->view()->setFocus();
    turn();
    EXPECT_FALSE(picture->isSelected());
    EXPECT_FALSE(picture->overlayTarget());
}

// A selected picture is outlined on all four sides just outside it, in an active and an inactive window,
// whether it is narrower than its block or as wide; the picture itself stays where its block was laid out.
TEST_F(BlockEditorViewTest, ASelectedPictureIsOutlinedOnAllFourSidesWhereItWasLaidOut)
{
    showPictureBetween("a", "b", {420, 600});
    QWidget other;
    other.resize(100, 100);
    other.show();  // the window that takes the activation away below; it takes it once shown, too
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    editor->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(editor.get()));
    auto* picture = qobject_cast<ImageBlockView*>(c().controllerAt(1)->view());
    ASSERT_TRUE(picture);
    QWidget* body = editor->containerView();
    const QColor accent = TarnwickTheme::accent();
    const QRgb red = QColor(Qt::red).rgb();
    // At the middle of each side, in the body's pixels: the pixel just outside the picture is the accent
    // at the window's alpha over the background 3 px further out; the one just inside is still the picture.
    const auto expectOutline = [&](const QRect& r, qreal alpha, const char* window) {
        const QImage shot = body->grab().toImage();
        const QPoint mid = r.center();
        const std::pair<QPoint, QPoint> edges[] = {{{r.left(), mid.y()}, {-1, 0}},
                                                   {{r.right(), mid.y()}, {1, 0}},
                                                   {{mid.x(), r.top()}, {0, -1}},
                                                   {{mid.x(), r.bottom()}, {0, 1}}};
        for (const auto& [edge, out] : edges) {
            const QColor seen = shot.pixelColor(edge + out);
            const QColor background = shot.pixelColor(edge + 4 * out);
            const std::string where =
                QStringLiteral("%1 window, outside %2,%3").arg(window).arg(edge.x()).arg(edge.y()).toStdString();
            EXPECT_NE(background.rgb(), accent.rgb()) << where;
            EXPECT_NEAR(seen.red(), alpha * accent.red() + (1 - alpha) * background.red(), 3) << where;
            EXPECT_NEAR(seen.green(), alpha * accent.green() + (1 - alpha) * background.green(), 3) << where;
            EXPECT_NEAR(seen.blue(), alpha * accent.blue() + (1 - alpha) * background.blue(), 3) << where;
            EXPECT_EQ(shot.pixel(edge - out), red) << where;
        }
    };
    for (const ImageSizing& sizing : {ImageSizing::makeFit(), ImageSizing::makePreset(ImageSizing::Preset::large)}) {
        c().setImageSizing(c().controllerAt(1)->id(), sizing);
        c().controllerAt(0)->view()->setFocus();
        turn();
        // Where the block was laid out: the picture at its left edge, below the inset; its red there alone.
        const QRectF frame = c().entries()[1].frame;
        const QSizeF size = c().imageController(1)->displaySize(c().paperWidth());
        const QRect placed = QRectF(frame.topLeft() + QPointF(0, ImageBlockLayout::verticalInset), size).toRect();
        const QImage shot = body->grab().toImage();
        QRect drawn;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
                if (shot.pixel(x, y) == red) drawn |= QRect(x, y, 1, 1);
        EXPECT_EQ(drawn, placed);
        EXPECT_EQ(picture->imageRect().translated(picture->pos()), QRectF(placed));
        EXPECT_EQ(c().controllerAt(2)->view()->geometry(), c().entries()[2].frame.toAlignedRect());

        picture->setFocus();
        turn();
        expectOutline(placed, 1.0, "active");
        other.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
        turn();
        expectOutline(placed, 0.45, "inactive");
        editor->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(editor.get()));
    }
}
