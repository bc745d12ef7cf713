#include <gtest/gtest.h>

#include <QFontDatabase>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QStyleHints>
#include <QTest>
#include <QTimer>

#include "design/TarnwickType.h"
#include "editor/blocks/FakeBlockHost.h"
#include "editor/text/FindBar.h"
#include "editor/text/FormattingShortcutsSheet.h"
#include "editor/text/RichNSTextView.h"
#include "editor/text/TextBlockController.h"
#include "model/text/RichTextBridge.h"
#include "model/text/TextPictures.h"
#include "platform/Resources.h"

namespace {

class RichNSTextViewTest : public ::testing::Test {
protected:
    RichNSTextViewTest()
        : controller(QUuid::createUuid(), &host, true, theme(), TextBlockController::NoteStyle::floating, storage),
          view(controller, storage)
    {
        view.resize(400, 300);
        view.show();
        view.setFocus();
    }

    static ResolvedNoteTheme theme()
    {
        ResolvedNoteTheme t;
        t.ink = QColor("#2B2622");
        return t;
    }

    std::string text() const { return storage.text().toStdString(); }

    // Runs one edit and checks that it was one undo step, one cycle, and nothing behind the model's back.
    template <typename F>
    void oneStep(F edit, const char* what)
    {
        const int steps = host.undo.undoCount();
        const int cycles = controller.cycleCount();
        edit();
        EXPECT_EQ(host.undo.undoCount(), steps + 1) << what;
        EXPECT_EQ(controller.cycleCount(), cycles + 1) << what;
        EXPECT_EQ(storage.foreignChanges(), 0) << what;
    }

    FakeBlockHost host;
    DocumentTextStorage storage;
    TextBlockController controller;
    RichNSTextView view;
};

QString tempPath(const QString& name)
{
    return qEnvironmentVariable("XDG_RUNTIME_DIR") + u'/' + name;
}

QByteArray pngBytes()
{
    QImage image(3, 3, QImage::Format_RGB32);
    image.fill(Qt::blue);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

}  // namespace

TEST_F(RichNSTextViewTest, EveryEditPathIsOneStepThroughTheModel)
{
    QTest::keyClicks(&view, "Title");
    QTest::keyClick(&view, Qt::Key_Return, Qt::ShiftModifier);
    fprintf(stderr, "after Return %d\n", host.undo.undoCount());  // Return in the title moves to the body
    EXPECT_EQ(text(), "Title\n");
    oneStep([&] { QTest::keyClicks(&view, "x"); }, "typing");
    oneStep([&] { QTest::keyClick(&view, Qt::Key_Enter, Qt::KeypadModifier); }, "keypad enter");
    oneStep([&] { QTest::keyClick(&view, Qt::Key_Return, Qt::ShiftModifier); }, "shift return");
    EXPECT_EQ(text(), "Title\nx\n\n");  // line breaks, never U+2028
    oneStep([&] { QTest::keyClick(&view, Qt::Key_Backspace); }, "backspace");

    QApplication::clipboard()->setText("two words");
    oneStep([&] { QTest::keyClick(&view, Qt::Key_V, Qt::ControlModifier); }, "paste");
    oneStep([&] { QTest::keyClick(&view, Qt::Key_Backspace, Qt::ControlModifier); }, "delete word");
    controller.textView().setSelection({6, 1});
    oneStep([&] { QTest::keyClick(&view, Qt::Key_X, Qt::ControlModifier); }, "cut");
    EXPECT_EQ(QApplication::clipboard()->text(), "x");
    oneStep([&] { QTest::keyClick(&view, Qt::Key_Insert, Qt::ShiftModifier); }, "shift insert");
    QInputMethodEvent commit;
    commit.setCommitString("é");
    oneStep([&] { QApplication::sendEvent(&view, &commit); }, "input method");
    controller.textView().setSelection({6, 1});
    oneStep([&] { controller.textView().moveSelection(0); }, "drag move");
    EXPECT_EQ(storage.readDocument(), storage.attributedText());

    // Undo and redo go through the note's stack.
    const std::string before = text();
    QTest::keyClick(&view, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_NE(text(), before);
    QTest::keyClick(&view, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(text(), before);
}

TEST_F(RichNSTextViewTest, MenuDropsAndThePlaceholderGoThroughTheSameRules)
{
    view.setTitlePlaceholder("Title");
    EXPECT_TRUE(view.placeholderShown());
    QTest::keyClick(&view, Qt::Key_Return);
    QTest::keyClicks(&view, "body");
    EXPECT_TRUE(view.placeholderShown());  // an empty title shows it over body lines too
    controller.textView().setCaret(0);
    QTest::keyClicks(&view, "T");
    EXPECT_FALSE(view.placeholderShown());

    // The menu's items act through the model, and the note view's items come last.
    view.setContextMenuHook([](QMenu* menu) { menu->addAction("Note item"); });
    QMenu menu;
    view.populateContextMenu(&menu);
    EXPECT_EQ(menu.actions().back()->text(), "Note item");
    QApplication::clipboard()->setText("pasted");
    for (QAction* action : menu.actions())
        if (action->text() == "Paste") oneStep([&] { action->trigger(); }, "menu paste");
    EXPECT_EQ(text(), "Tpasted\nbody");

    // Text dropped from elsewhere lands where it is dropped; pictures alone are left to the container.
    QMimeData dropped;
    dropped.setText("drop");
    const QPointF end = view.caretRect(storage.length()).center();
    // A drop reaches the widget that accepted the drag's entry.
    QDragEnterEvent enter(end.toPoint(), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &enter);
    QDropEvent drop(end, Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
    oneStep([&] { QApplication::sendEvent(view.viewport(), &drop); }, "drop");
    EXPECT_EQ(text(), "Tpasted\nbodydrop");
    QMimeData picture;
    picture.setData("image/png", pngBytes());
    QDragEnterEvent pictureEnter(end.toPoint(), Qt::CopyAction, &picture, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &pictureEnter);
    QDropEvent pictureDrop(end, Qt::CopyAction, &picture, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &pictureDrop);
    EXPECT_FALSE(pictureDrop.isAccepted());
    EXPECT_TRUE(host.pictures.empty());

    // A file that is no picture, named as a file manager names it (its address as text beside it),
    // is refused from its entry on and never lands as text; so is one named alone.
    QMimeData file;
    const QUrl notes = QUrl::fromLocalFile("/tmp/notes.txt");
    file.setUrls({notes});
    file.setText(notes.toString());
    QMimeData bare;
    bare.setUrls({notes});
    for (QMimeData* data : {&file, &bare}) {
        QDragEnterEvent fileEnter(end.toPoint(), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view.viewport(), &fileEnter);
        EXPECT_FALSE(fileEnter.isAccepted());
        QDropEvent fileDrop(end, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view.viewport(), &fileDrop);
        EXPECT_FALSE(fileDrop.isAccepted());
        EXPECT_EQ(text(), "Tpasted\nbodydrop");
    }
}

TEST_F(RichNSTextViewTest, ListKeysAndToDoGlyphClicks)
{
    QTest::keyClicks(&view, "T");
    QTest::keyClick(&view, Qt::Key_Return);
    QTest::keyClicks(&view, "[] task");
    QTest::keyClick(&view, Qt::Key_Tab);
    EXPECT_EQ(text(), "T\n    ☐ task");
    QTest::keyClick(&view, Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(text(), "T\n☐ task");
    const qsizetype caret = controller.textView().selection().location;
    const QRectF glyph = view.caretRect(2);
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, glyph.center().toPoint() + QPoint(2, 0));
    EXPECT_EQ(text(), "T\n☑ task");
    EXPECT_EQ(controller.textView().selection().location, caret);
    EXPECT_EQ(storage.foreignChanges(), 0);

    // Three (and four) presses 80 ms apart on the box, as the toolkit hands them over (press, double
    // click, press, ...), toggle it once; a press after the double-click time is a click of its own.
    const QPointF on = glyph.center() + QPointF(2, 0);
    quint64 at = 10'000'000;
    auto click = [&](QEvent::Type type) {
        for (QEvent::Type t : {type, QEvent::MouseButtonRelease}) {
            QMouseEvent e(t, on, view.viewport()->mapToGlobal(on), Qt::LeftButton,
                          t == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
            e.setTimestamp(at += 40);
            QApplication::sendEvent(view.viewport(), &e);
        }
    };
    for (const auto& [presses, expected] : {std::pair{3, "T\n☐ task"}, std::pair{4, "T\n☑ task"}}) {
        click(QEvent::MouseButtonPress);
        click(QEvent::MouseButtonDblClick);
        for (int i = 2; i < presses; ++i) click(QEvent::MouseButtonPress);
        EXPECT_EQ(text(), expected) << presses << " presses";
        at += quint64(QGuiApplication::styleHints()->mouseDoubleClickInterval()) + 1;
    }
    click(QEvent::MouseButtonPress);
    EXPECT_EQ(text(), "T\n☐ task");
}

TEST_F(RichNSTextViewTest, PastedPicturesAndHtmlAreBoundedAndLoadNothing)
{
    QTest::keyClicks(&view, "T");
    QTest::keyClick(&view, Qt::Key_Return);
    auto paste = [&](QMimeData* data) {
        QApplication::clipboard()->setMimeData(data);
        QTest::keyClick(&view, Qt::Key_V, Qt::ControlModifier);
    };

    auto* png = new QMimeData;
    png->setData("image/png", pngBytes());
    paste(png);
    EXPECT_EQ(host.pictures.size(), 1u);
    EXPECT_EQ(text(), "T\n");

    auto* both = new QMimeData;
    both->setText("words");
    both->setData("image/png", pngBytes());
    paste(both);
    EXPECT_EQ(text(), "T\nwords");
    EXPECT_EQ(host.pictures.size(), 1u);

    const QString file = tempPath("copied.png");
    ASSERT_TRUE(QImage::fromData(pngBytes()).save(file));
    const QString big = tempPath("huge.png");
    QFile huge(big);
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly) && huge.resize(TextPictures::maximumBytes + 1));
    huge.close();
    auto* files = new QMimeData;
    files->setUrls({QUrl::fromLocalFile(file), QUrl::fromLocalFile(big)});
    files->setText(file + "\n" + big);
    paste(files);
    EXPECT_EQ(host.pictures.size(), 2u);
    ASSERT_EQ(host.skipped.size(), 1);
    EXPECT_TRUE(host.skipped[0].contains("huge.png"));
    EXPECT_EQ(text(), "T\nwords");

    const QString fifo = tempPath("pipe.png");
    ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    auto* html = new QMimeData;
    html->setHtml("<b>Ship</b> it<img src=\"" + QUrl::fromLocalFile(fifo).toString() +
                  "\"><table><tr><td>a</td><td>b</td></tr></table><ul><li>c</li></ul>");
    html->setText("fallback");
    paste(html);  // would hang here if the picture were read
    const std::string pasted = text();
    EXPECT_EQ(pasted.find("\xEF\xBF\xBC"), std::string::npos);  // no U+FFFC
    EXPECT_EQ(pasted.find("\xEF\xB7\x90"), std::string::npos);  // no U+FDD0
    EXPECT_EQ(storage.text().left(14), "T\nwordsShip it");
    EXPECT_TRUE(storage.attributesAt(7).font->isBold());
    EXPECT_FALSE(storage.attributesAt(12).font->isBold());
    EXPECT_EQ(storage.foreignChanges(), 0);
}

// A browser's "Copy Image" offers markup that holds only the picture, and the picture: that pastes the
// picture. Markup with words beside a picture still pastes the words alone.
TEST_F(RichNSTextViewTest, MarkupHoldingOnlyAPicturePastesThePicture)
{
    QTest::keyClicks(&view, "T");
    QTest::keyClick(&view, Qt::Key_Return);
    auto paste = [&](const QString& markup) {
        auto* data = new QMimeData;
        data->setHtml(markup);
        data->setData("image/png", pngBytes());
        QApplication::clipboard()->setMimeData(data);
        QTest::keyClick(&view, Qt::Key_V, Qt::ControlModifier);
    };
    paste(
        "<html><body>\n<!--StartFragment--><img src=\"https://example.org/cat.png\" alt=\"a cat\">"
        "<!--EndFragment-->\n</body></html>");
    ASSERT_EQ(host.pictures.size(), 1u);
    EXPECT_EQ(host.pictures[0], pngBytes());
    EXPECT_EQ(text(), "T\n");

    paste("<meta charset=\"utf-8\"><p><img src=\"https://example.org/cat.png\"></p><p> </p>");
    EXPECT_EQ(host.pictures.size(), 2u);
    EXPECT_EQ(text(), "T\n");

    paste("<b>Ship</b> it<img src=\"https://example.org/cat.png\">");
    EXPECT_EQ(host.pictures.size(), 2u);
    EXPECT_EQ(text(), "T\nShip it");

    // Markup with no words and no picture beside it pastes nothing.
    auto* bare = new QMimeData;
    bare->setHtml("<img src=\"https://example.org/cat.png\">");
    QApplication::clipboard()->setMimeData(bare);
    QTest::keyClick(&view, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(host.pictures.size(), 2u);
    EXPECT_EQ(text(), "T\nShip it");
    EXPECT_TRUE(host.skipped.isEmpty());
}

// Ctrl+V with the caret inside the title: the pasted lines after the first, and the rest of the title
// line pushed down with them, are body text keeping the paste's own bold; Ctrl+Z gives the title back.
TEST_F(RichNSTextViewTest, LinesPastedIntoTheTitleLeaveItsStyleThere)
{
    controller.load(TextRuns{"alpha line", {}}, QString("Hello World"), std::nullopt);
    const AttributedText loaded = storage.attributedText();
    const auto bold = [&](qsizetype at) { return storage.attributedText().attributesAt(at).font->weight; };
    const TextFont titleFont = *controller.titleAttributes().font;
    const auto paste = [&](QMimeData* data) {
        QApplication::clipboard()->setMimeData(data);
        controller.textView().setCaret(6);
        oneStep([&] { QTest::keyClick(&view, Qt::Key_V, Qt::ControlModifier); }, "paste");
    };

    auto* plain = new QMimeData;
    plain->setText("one\ntwo\nthree");
    paste(plain);
    ASSERT_EQ(text(), "Hello one\ntwo\nthreeWorld\nalpha line");
    for (qsizetype at = 10; at < storage.length(); ++at)
        ASSERT_NE(storage.attributedText().attributesAt(at).font, titleFont) << at;
    ASSERT_TRUE(controller.snapshot().textRuns());
    EXPECT_TRUE(controller.snapshot().textRuns()->runs.isEmpty());
    QTest::keyClick(&view, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(storage.attributedText(), loaded);

    auto* html = new QMimeData;
    html->setHtml("<p>one</p><p><b>Bold</b> plain</p><p>last</p>");
    paste(html);
    ASSERT_EQ(text(), "Hello one\nBold plain\nlastWorld\nalpha line");
    EXPECT_EQ(storage.attributedText().attributesAt(2).font, titleFont);
    EXPECT_GT(bold(10), 600);  // "Bold"
    EXPECT_EQ(bold(15), 400);  // " plain"
    EXPECT_EQ(bold(21), 400);  // "lastWorld"
    EXPECT_EQ(bold(25), 400);
    EXPECT_EQ(storage.readDocument(), storage.attributedText());
    QTest::keyClick(&view, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(storage.attributedText(), loaded);

    // The title's own words copied (as markup in the title's face) and pasted into the body.
    controller.textView().setSelection({6, 5});
    QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
    ASSERT_TRUE(QApplication::clipboard()->mimeData()->hasHtml());
    controller.textView().setCaret(storage.length());
    QTest::keyClick(&view, Qt::Key_V, Qt::ControlModifier);
    ASSERT_EQ(text(), "Hello World\nalpha lineWorld");
    EXPECT_NE(storage.attributedText().attributesAt(22).font, titleFont);
    EXPECT_TRUE(controller.snapshot().textRuns()->runs.isEmpty());
}

// After lines pasted on the title line, the caret stands in the body and types in the body's style, with
// Ctrl+B or Ctrl+I too, plain or markup that names its own family; nothing in the body keeps the title's
// family and size, not even a title word made italic that the paste pushed down.
TEST_F(RichNSTextViewTest, TypingAfterLinesPastedOnTheTitleLineIsTheBodys)
{
    const TextFont titleFont = *controller.titleAttributes().font;
    const TextFont bodyFont = *RichTextBridge::typingAttributes(theme()).font;
    const auto pasteAndType = [&](QMimeData* data, Qt::Key chord) {
        controller.load(TextRuns{"alpha line\nbravo line", {}}, QString("Hello World"), std::nullopt);
        QApplication::clipboard()->setMimeData(data);
        // The caret put before "World" by keys, as a user does.
        QTest::keyClick(&view, Qt::Key_Home, Qt::ControlModifier);
        QTest::keyClick(&view, Qt::Key_End);
        for (int i = 0; i < 5; ++i) QTest::keyClick(&view, Qt::Key_Left);
        EXPECT_EQ(controller.textView().selection(), (TextRange{6, 0}));
        QTest::keyClick(&view, Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(controller.textView().typingAttributes().font, bodyFont);
        QTest::keyClick(&view, chord, Qt::ControlModifier);
        QTest::keyClicks(&view, "typed");
        return storage.text().indexOf("typed");
    };
    const auto font = [&](qsizetype at) { return *storage.attributedText().attributesAt(at).font; };
    const auto bodyOnly = [&](const char* what) {
        for (qsizetype at = storage.text().indexOf(u'\n') + 1; at < storage.length(); ++at)
            EXPECT_FALSE(font(at).family == titleFont.family && font(at).pointSize == titleFont.pointSize)
                << what << " at " << at;
    };

    auto* plain = new QMimeData;
    plain->setText("one\ntwo\n");
    qsizetype at = pasteAndType(plain, Qt::Key_B);
    ASSERT_EQ(text(), "Hello one\ntwo\ntypedWorld\nalpha line\nbravo line");
    EXPECT_EQ(font(at), (TextFont{bodyFont.family, bodyFont.pointSize, 700, false}));
    bodyOnly("plain, bold");

    plain = new QMimeData;
    plain->setText("one\ntwo\n");
    at = pasteAndType(plain, Qt::Key_I);
    EXPECT_EQ(font(at), (TextFont{bodyFont.family, bodyFont.pointSize, bodyFont.weight, true}));
    bodyOnly("plain, italic");

    auto* html = new QMimeData;
    html->setHtml("<span style=\"font-family:Arial\">one</span><br><span style=\"font-family:Arial\">two</span><br>");
    at = pasteAndType(html, Qt::Key_B);
    EXPECT_EQ(font(at), (TextFont{bodyFont.family, bodyFont.pointSize, 700, false}));
    bodyOnly("markup, bold");

    // Markup in the title's own family and size (a copy from another note's title, made bold there) lands
    // in the body's face and keeps its bold; Undo gives back the note as it was.
    controller.load(TextRuns{"alpha line", {}}, QString("Hello World"), std::nullopt);
    const AttributedText loaded = storage.attributedText();
    html = new QMimeData;
    html->setHtml(QString("one<br><span style=\"font-family:'%1'; font-size:%2pt; font-weight:700\">Big</span> two")
                      .arg(titleFont.family)
                      .arg(titleFont.pointSize * TextFont::qtPointsPerDesignPoint));
    QApplication::clipboard()->setMimeData(html);
    controller.textView().setCaret(6);
    QTest::keyClick(&view, Qt::Key_V, Qt::ControlModifier);
    ASSERT_EQ(text(), "Hello one\nBig twoWorld\nalpha line");
    EXPECT_EQ(font(10), (TextFont{bodyFont.family, bodyFont.pointSize, 700, false}));
    bodyOnly("markup in the title's face");
    QTest::keyClick(&view, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(storage.attributedText(), loaded);
}

// The title line stands 6 points above the body, in the brand face, or in the desktop's serif face
// where the brand face is missing: never in the sans of the body.
TEST_F(RichNSTextViewTest, TheTitleIsASerifParagraphSixPointsAboveTheBody)
{
    const auto check = [&](const char* face) -> std::string {
        controller.load(TextRuns{"first line", {}}, QString("Trip"), std::nullopt);
        const TextAttributes title = storage.attributedText().attributesAt(0);
        if (!title.font || !title.paragraphStyle) {
            ADD_FAILURE() << face << ": the title has no font or paragraph style";
            return {};
        }
        EXPECT_EQ(title.font->pointSize, 19) << face;
        EXPECT_EQ(title.font->weight, 600) << face;
        EXPECT_EQ(title.paragraphStyle->paragraphSpacing, 6) << face;
        EXPECT_EQ(storage.attributedText().attributesAt(5).paragraphStyle->paragraphSpacing, 0) << face;
        // What the eye sees: the body's first line starts 6 points below the title's line.
        EXPECT_NEAR(view.caretRect(5).top() - view.caretRect(0).bottom(), 6, 1.01) << face;
        const QString shown = QFontInfo(title.font->toQFont()).family();
        EXPECT_NE(shown, QFontInfo(QFontDatabase::systemFont(QFontDatabase::GeneralFont)).family()) << face;
        return shown.toStdString();
    };
    // Another test of this program may have registered the brand face; it is put back at the end.
    QFontDatabase::removeAllApplicationFonts();
    if (TarnwickType::newsreaderAvailable()) GTEST_SKIP() << "the brand face is installed on this desktop";
    QFont serif(QStringLiteral("serif"));
    serif.setStyleHint(QFont::Serif);
    EXPECT_EQ(check("without the brand face"), QFontInfo(serif).family().toStdString());

    ASSERT_TRUE(TarnwickType::registerFont(Resources::dataFile(QStringLiteral("fonts/Newsreader.ttf"))));
    EXPECT_EQ(check("with the brand face"), "Newsreader");
}

TEST(FormattingShortcutsSheetTest, ShowsTheLinuxChordsAndMarkersAsPlainText)
{
    FormattingShortcutsSheet sheet;
    QStringList texts;
    for (const QLabel* label : sheet.findChildren<QLabel*>()) {
        EXPECT_EQ(label->textFormat(), Qt::PlainText);
        texts << label->text();
    }
    for (const QString& expected :
         QStringList{"Formatting", "Ctrl+Shift+X", "Strikethrough", "Ctrl+\\", "Type to structure", "Tab / Shift+Tab",
                     "**b**", FormattingShortcutsSheet::note()})
        EXPECT_TRUE(texts.contains(expected)) << expected.toStdString();
    EXPECT_EQ(texts.size(), 3 + 2 * 14);
}

TEST_F(RichNSTextViewTest, WindowShortcutsPassWhileTheEditorKeepsItsChords)
{
    int closed = 0;
    int bolded = 0;
    QAction close("Close");
    close.setShortcut(QKeySequence("Ctrl+W"));
    QObject::connect(&close, &QAction::triggered, [&] { ++closed; });
    QAction bold("Window bold");
    bold.setShortcut(QKeySequence("Ctrl+B"));
    QObject::connect(&bold, &QAction::triggered, [&] { ++bolded; });
    view.addAction(&close);
    view.addAction(&bold);
    QApplication::setActiveWindow(&view);
    QTest::keyClick(&view, Qt::Key_W, Qt::ControlModifier);
    QTest::keyClick(&view, Qt::Key_B, Qt::ControlModifier);
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(bolded, 0);
    EXPECT_TRUE(controller.textView().typingAttributes().font->isBold());
}

namespace {

// One editor of its own per case: a body line after the title line, typed as a user would.
struct TypedEditor {
    TypedEditor() : controller(QUuid::createUuid(), &host, true, {}, TextBlockController::NoteStyle::floating, storage)
    {
        view.resize(400, 300);
        view.show();
        view.setFocus();
        QTest::keyClicks(&view, "T");
        QTest::keyClick(&view, Qt::Key_Return);
    }
    QString body() const { return storage.text().mid(2); }
    // The view shows exactly the selection the model would replace.
    bool inStep() const
    {
        const QTextCursor cursor = view.textCursor();
        const TextRange sel = controller.textView().selection();
        return cursor.selectionStart() == sel.location && cursor.selectionEnd() == sel.end();
    }

    FakeBlockHost host;
    DocumentTextStorage storage;
    TextBlockController controller;
    RichNSTextView view{controller, storage};
};

}  // namespace

TEST(RichNSTextViewSelectionTest, FormattingKeepsTheSelectionShownAndCollapsingKeysEndIt)
{
    struct Format {
        const char* name;
        std::function<void(TypedEditor&)> apply;
    };
    const std::vector<Format> formats = {
        {"Ctrl+B", [](TypedEditor& e) { QTest::keyClick(&e.view, Qt::Key_B, Qt::ControlModifier); }},
        {"Ctrl+I", [](TypedEditor& e) { QTest::keyClick(&e.view, Qt::Key_I, Qt::ControlModifier); }},
        {"Ctrl+U", [](TypedEditor& e) { QTest::keyClick(&e.view, Qt::Key_U, Qt::ControlModifier); }},
        {"Ctrl+Shift+X",
         [](TypedEditor& e) { QTest::keyClick(&e.view, Qt::Key_X, Qt::ControlModifier | Qt::ShiftModifier); }},
        {"format row bold", [](TypedEditor& e) { e.controller.apply(FormatCommand::bold); }},
        {"format row strikethrough", [](TypedEditor& e) { e.controller.apply(FormatCommand::strikethrough); }},
    };
    struct Ending {
        Qt::Key key;
        const char* expected;
    };
    const std::vector<Ending> endings = {{Qt::Key_End, "wordZ"}, {Qt::Key_Right, "wordZ"}, {Qt::Key_unknown, "Z"}};
    for (const Format& format : formats) {
        for (const Ending& ending : endings) {
            TypedEditor e;
            QTest::keyClicks(&e.view, "word");
            QTest::keyClick(&e.view, Qt::Key_Home);
            QTest::keyClick(&e.view, Qt::Key_End, Qt::ShiftModifier);
            format.apply(e);
            // Still selected, and shown so.
            EXPECT_EQ(e.view.textCursor().selectedText(), "word") << format.name;
            EXPECT_TRUE(e.inStep()) << format.name;
            if (ending.key != Qt::Key_unknown) QTest::keyClick(&e.view, ending.key);
            QTest::keyClicks(&e.view, "Z");
            EXPECT_EQ(e.body(), ending.expected) << format.name << " then key " << ending.key;
            EXPECT_TRUE(e.inStep()) << format.name;
        }
    }
}

TEST(RichNSTextViewSelectionTest, TheCaretFollowsMarkerRewritesAndListReturns)
{
    // A marker rewritten to one of the same length leaves the shown caret after the bullet.
    for (const char* marker : {"- ", "* ", "+ "}) {
        TypedEditor e;
        QTest::keyClicks(&e.view, "one two");
        QTest::keyClick(&e.view, Qt::Key_Home);
        QTest::keyClicks(&e.view, marker);
        EXPECT_TRUE(e.inStep()) << marker;
        QTest::keyClick(&e.view, Qt::Key_End);
        QTest::keyClicks(&e.view, "Z");
        EXPECT_EQ(e.body(), "• one twoZ") << marker;
    }

    // Return on an empty nested numbered item outdents it into the run it joins; Return again ends the
    // list, as for an item that was never nested.
    TypedEditor e;
    QTest::keyClicks(&e.view, "1. a");
    QTest::keyClick(&e.view, Qt::Key_Return);
    QTest::keyClick(&e.view, Qt::Key_Tab);
    QTest::keyClicks(&e.view, "b");
    QTest::keyClick(&e.view, Qt::Key_Return);
    QTest::keyClick(&e.view, Qt::Key_Return);
    EXPECT_EQ(e.body(), "1. a\n    b. b\n2. ");
    EXPECT_TRUE(e.inStep());
    QTest::keyClick(&e.view, Qt::Key_Return);
    EXPECT_EQ(e.body(), "1. a\n    b. b\n");
    QTest::keyClicks(&e.view, "after");
    EXPECT_EQ(e.body(), "1. a\n    b. b\nafter");

    // Numbers left stale by an undo are fixed by the next key, and that key still acts on the list.
    TypedEditor u;
    QTest::keyClicks(&u.view, "1. a");
    QTest::keyClick(&u.view, Qt::Key_Return);
    QTest::keyClicks(&u.view, "b");
    u.controller.textView().setCaret(3);
    QTest::keyClicks(&u.view, "0");  // "10. a" renumbers the second item to "11. ", a step of its own
    EXPECT_EQ(u.body(), "10. a\n11. b");
    QTest::keyClick(&u.view, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(u.body(), "10. a\n2. b");
    u.controller.textView().setCaret(u.storage.length());
    QTest::keyClick(&u.view, Qt::Key_Return);
    EXPECT_EQ(u.body(), "10. a\n11. b\n12. ");
    EXPECT_TRUE(u.inStep());
}

TEST_F(RichNSTextViewTest, SpecialFilesOnTheClipboardAreSkippedAtOnce)
{
    QTest::keyClicks(&view, "T");
    QTest::keyClick(&view, Qt::Key_Return);
    const QString fifo = tempPath("p");
    ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    const QString link = tempPath("link.png");
    ASSERT_TRUE(QFile::link(fifo, link));
    const QString socketPath = tempPath("s.sock");
    const int listening = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    qstrncpy(address.sun_path, socketPath.toLocal8Bit().constData(), sizeof address.sun_path);
    ASSERT_EQ(::bind(listening, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    // Opening any of these for reading would wait for a writer, fail late or never end.
    for (const QString& path : {fifo, link, socketPath, QStringLiteral("/dev/zero")}) {
        host.skipped.clear();
        auto* data = new QMimeData;
        data->setUrls({QUrl::fromLocalFile(path)});
        QApplication::clipboard()->setMimeData(data);
        QTest::keyClick(&view, Qt::Key_V, Qt::ControlModifier);
        ASSERT_EQ(host.skipped.size(), 1) << path.toStdString();
        EXPECT_TRUE(host.skipped[0].endsWith("it is not a regular file")) << host.skipped[0].toStdString();
        EXPECT_EQ(text(), "T\n");
        // The same path read for a drop onto the body.
        const auto read = TextPictures::readPictureFile(path);
        ASSERT_TRUE(std::holds_alternative<TextPictures::Skipped>(read));
        EXPECT_FALSE(std::get<TextPictures::Skipped>(read).notPicture);
    }
    // A plain text file a file manager copied is pasted as its name, as before.
    const QString notes = tempPath("notes.txt");
    QFile file(notes);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a picture");
    file.close();
    auto* data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(notes)});
    data->setText(notes);
    QApplication::clipboard()->setMimeData(data);
    host.skipped.clear();
    QTest::keyClick(&view, Qt::Key_V, Qt::ControlModifier);
    EXPECT_TRUE(host.skipped.isEmpty());
    EXPECT_EQ(storage.text(), "T\n" + notes);
    ::close(listening);
}

TEST_F(RichNSTextViewTest, PastedFilesTakeTheDropCapsAndGiveOneNotice)
{
    QTest::keyClicks(&view, "T");
    QTest::keyClick(&view, Qt::Key_Return);
    QList<QUrl> urls;
    for (int i = 0; i < 60; ++i) {
        const QString path = tempPath(QStringLiteral("many-%1.png").arg(i));
        ASSERT_TRUE(QImage::fromData(pngBytes()).save(path));
        urls << QUrl::fromLocalFile(path);
    }
    const QString big = tempPath("seventy.png");
    QFile huge(big);
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly) && huge.resize(70LL * 1024 * 1024));
    huge.close();
    const QString fifo = tempPath("queue.png");
    ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    auto* data = new QMimeData;
    data->setUrls(QList<QUrl>{QUrl::fromLocalFile(big), QUrl::fromLocalFile(fifo)} + urls);
    QApplication::clipboard()->setMimeData(data);
    host.skipped.clear();
    QTest::keyClick(&view, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(host.pictures.size(), 50u);
    ASSERT_EQ(host.skipped.size(), 1);  // one notice for all twelve left out
    EXPECT_TRUE(host.skipped[0].startsWith(
        "12 files were not added: seventy.png, queue.png, many-50.png and 9 more. seventy.png: "))
        << host.skipped[0].toStdString();
    EXPECT_EQ(text(), "T\n");
}

TEST_F(RichNSTextViewTest, TheTitlePlaceholderIsPaintedInTheThemeInkUntilTheFirstCharacter)
{
    // The controller gives the title block its placeholder; nobody sets it by hand.
    EXPECT_TRUE(view.placeholderShown());
    auto pixelUnderT = [&] {
        const QImage shot = view.viewport()->grab().toImage();
        // The stem of the "T" lies a few points in from the left padding, in the first line.
        const QRectF line = view.caretRect(0);
        QColor darkest = Qt::white;
        for (int x = 5; x < 20; ++x)
            for (int y = int(line.top()) + 4; y < int(line.bottom()) - 2; ++y) {
                const QColor c = shot.pixelColor(x, y);
                if (c.lightness() < darkest.lightness() && c.alpha() > 0) darkest = c;
            }
        return darkest;
    };
    const QColor drawn = pixelUnderT();
    EXPECT_NE(drawn, QColor(Qt::white));
    EXPECT_LT(drawn.alpha() == 255 ? drawn.lightness() : 0, 250);
    QTest::keyClicks(&view, "a");
    EXPECT_FALSE(view.placeholderShown());
    EXPECT_EQ(storage.text(), "a\n");  // never stored

    // A new theme re-inks the placeholder.
    ResolvedNoteTheme dark;
    dark.ink = QColor("#F0E0D0");
    controller.applyTheme(dark, std::nullopt);
    QColor ink = controller.titlePlaceholderAttributes().foreground.value();
    EXPECT_EQ(ink.rgb(), QColor("#F0E0D0").rgb());
    EXPECT_NEAR(ink.alphaF(), 0.32, 0.01);
}

// The theme a note was opened with, applied again, sets nothing: a long note is not set again. The title
// keeps its own face (the brand serif) whatever the theme's family.
TEST_F(RichNSTextViewTest, ApplyingTheSameThemeAgainSetsNothing)
{
    TarnwickType::registerBundledFonts();
    ASSERT_TRUE(TarnwickType::newsreaderAvailable());
    controller.load(TextRuns{"first line\nsecond line", {}}, QString("Title"), std::nullopt);
    int changes = 0;
    QObject::connect(&storage, &TextStorage::changed, [&] { ++changes; });
    controller.applyTheme(theme(), std::nullopt);
    EXPECT_EQ(changes, 0);
    ResolvedNoteTheme mono = theme();
    mono.fontFamily = QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
    controller.applyTheme(mono, std::nullopt);
    EXPECT_EQ(storage.attributedText().attributesAt(0).font->family, "Newsreader");
}

TEST_F(RichNSTextViewTest, TheFindBarSearchesAsOneTypesAndEscapeGivesTheCaretBack)
{
    QTest::keyClicks(&view, "Trip");
    QTest::keyClick(&view, Qt::Key_Return);
    QTest::keyClicks(&view, "then recieve, RECIEVE");
    controller.textView().setCaret(2);
    FindBar bar(&view);
    bar.resize(300, 30);
    bar.show();
    QApplication::setActiveWindow(&view);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    bar.open(&controller);
    EXPECT_EQ(QApplication::focusWidget(), bar.field());
    bar.field()->setText("old");
    bar.open(&controller);
    EXPECT_EQ(bar.field()->selectedText(), "old");  // opened again: the field's text is selected
    bar.field()->clear();
    QTest::keyClicks(bar.field(), "recieve");
    EXPECT_EQ(bar.statusText(), "1 of 2");
    EXPECT_EQ(controller.textView().selection(), (TextRange{10, 7}));
    QTest::keyClick(bar.field(), Qt::Key_Return);
    EXPECT_EQ(bar.statusText(), "2 of 2");
    QTest::keyClick(bar.field(), Qt::Key_F3, Qt::ShiftModifier);
    EXPECT_EQ(bar.statusText(), "1 of 2");
    QTest::keyClick(bar.field(), Qt::Key_Escape);
    EXPECT_FALSE(bar.isOpen());
    EXPECT_EQ(controller.textView().selection(), (TextRange{2, 0}));
    EXPECT_EQ(storage.text(), "Trip\nthen recieve, RECIEVE");  // finding never writes

    // A focus move to another block hides the bar without moving the caret back.
    bar.open(&controller);
    EXPECT_TRUE(bar.isOpen());
    controller.hideFindBar();
    EXPECT_FALSE(bar.isOpen());
}

namespace {

// One key whose text is given whole, as the platform delivers an emoji or a composed character.
void typeKey(QWidget* to, const QString& text, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, modifiers, text);
    QApplication::sendEvent(to, &press);
}

// Types "/" at the caret and, while the slash menu that opens runs, the keys given to it.
bool slashThen(TypedEditor& e, const std::function<void(QWidget* menu)>& keys)
{
    bool opened = false;
    QTimer::singleShot(50, [&] {
        if (QWidget* menu = QApplication::activePopupWidget()) {
            opened = true;
            keys(menu);
        }
    });
    // A menu the keys left open would hold the test: it is closed, and the test told so.
    bool leftOpen = false;
    QTimer::singleShot(1000, [&] {
        if (QWidget* menu = QApplication::activePopupWidget()) {
            leftOpen = true;
            menu->close();
        }
    });
    QTest::keyClick(&e.view, Qt::Key_Slash);  // returns once the menu has closed
    return opened && !leftOpen;
}

// The text cursor's complaints while a test runs (a caret set from a position the text no longer has).
QStringList qtWarnings;
void keepWarnings(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type != QtDebugMsg && type != QtInfoMsg && message.startsWith(u"QTextCursor")) qtWarnings << message;
}

}  // namespace

TEST(RichNSTextViewKeysTest, EveryTypedKeyReachesTheText)
{
    // Characters beyond the BMP arrive as one key with a surrogate pair for its text.
    {
        TypedEditor e;
        typeKey(&e.view, QString::fromUtf8("\U0001F600"));
        typeKey(&e.view, QString::fromUtf8("\U0001F469\u200D\U0001F4BB"));
        typeKey(&e.view, QString(QChar(0xD83D)));  // half a character is no text
        typeKey(&e.view, QString::fromUtf8("\U0001D400"), Qt::ShiftModifier);
        EXPECT_EQ(e.body(), QString::fromUtf8("\U0001F600\U0001F469\u200D\U0001F4BB\U0001D400"));
        EXPECT_TRUE(e.inStep());
    }
    // A key that is not the slash menu's own closes it and is typed after the "/" that opened it.
    {
        TypedEditor e;
        EXPECT_TRUE(slashThen(e, [](QWidget* menu) { QTest::keyClick(menu, Qt::Key_U); }));
        EXPECT_FALSE(QApplication::activePopupWidget());
        QTest::keyClicks(&e.view, "sr/bin is where");
        EXPECT_EQ(e.body(), "/usr/bin is where");
        QTest::keyClick(&e.view, Qt::Key_Return);
        EXPECT_TRUE(slashThen(e, [](QWidget* menu) {
            QTest::keyClick(menu, Qt::Key_Shift);  // a bare modifier keeps the menu open
            EXPECT_TRUE(menu->isVisible());
            typeKey(menu, QString::fromUtf8("\U0001F600"));
        }));
        EXPECT_EQ(e.body(), QString::fromUtf8("/usr/bin is where\n/\U0001F600"));
        // Return before any item is highlighted is a new line after the "/".
        QTest::keyClick(&e.view, Qt::Key_Return);
        EXPECT_TRUE(slashThen(e, [](QWidget* menu) { QTest::keyClick(menu, Qt::Key_Return); }));
        QTest::keyClicks(&e.view, "z");
        EXPECT_EQ(e.body(), QString::fromUtf8("/usr/bin is where\n/\U0001F600\n/\nz"));
        EXPECT_TRUE(e.inStep());
    }
    // Its own keys: Escape and Backspace take the "/" back, Down and Return choose an item.
    {
        TypedEditor e;
        EXPECT_TRUE(slashThen(e, [](QWidget* menu) { QTest::keyClick(menu, Qt::Key_Escape); }));
        EXPECT_TRUE(slashThen(e, [](QWidget* menu) { QTest::keyClick(menu, Qt::Key_Backspace); }));
        EXPECT_EQ(e.body(), "");
        EXPECT_TRUE(slashThen(e, [](QWidget* menu) {
            QTest::keyClick(menu, Qt::Key_Down);
            QTest::keyClick(menu, Qt::Key_Return);
        }));
        QTest::keyClicks(&e.view, "x");
        EXPECT_EQ(e.body(), QString::fromUtf8("\u2610 x"));
    }
}

TEST(RichNSTextViewKeysTest, UndoAndRedoLeaveTheCaretAfterTheTextAndTheViewInStep)
{
    qtWarnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(keepWarnings);
    {
        TypedEditor e;
        QTest::keyClicks(&e.view, "keep ");
        QApplication::clipboard()->setText("pasted words");
        QTest::keyClick(&e.view, Qt::Key_V, Qt::ControlModifier);
        QTest::keyClick(&e.view, Qt::Key_Z, Qt::ControlModifier);
        EXPECT_EQ(e.body(), "keep ");
        EXPECT_EQ(e.controller.textView().selection(), (TextRange{7, 0}));
        QTest::keyClick(&e.view, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_EQ(e.controller.textView().selection(), (TextRange{19, 0}));
        EXPECT_TRUE(e.inStep());
        QTest::keyClicks(&e.view, "Q");
        EXPECT_EQ(e.body(), "keep pasted wordsQ");

        // Deleting at the end and in the middle, and undoing that: the view's caret is the model's each time.
        for (int i = 0; i < 3; ++i) QTest::keyClick(&e.view, Qt::Key_Backspace);
        EXPECT_TRUE(e.inStep());
        e.controller.textView().setCaret(6);
        QTest::keyClick(&e.view, Qt::Key_Backspace);
        EXPECT_TRUE(e.inStep());
        QTest::keyClick(&e.view, Qt::Key_Z, Qt::ControlModifier);
        EXPECT_EQ(e.controller.textView().selection(), (TextRange{6, 0}));
        EXPECT_TRUE(e.inStep());
        QTest::keyClick(&e.view, Qt::Key_Z, Qt::ControlModifier);
        EXPECT_EQ(e.body(), "keep pasted word");
        EXPECT_EQ(e.controller.textView().selection(), (TextRange{18, 0}));

        // Undoing a format change leaves a caret too, never a selection the next key would replace.
        e.controller.textView().setSelection({2, 4});
        QTest::keyClick(&e.view, Qt::Key_B, Qt::ControlModifier);
        QTest::keyClick(&e.view, Qt::Key_Z, Qt::ControlModifier);
        EXPECT_EQ(e.controller.textView().selection().length, 0);
        QTest::keyClick(&e.view, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_EQ(e.controller.textView().selection(), (TextRange{6, 0}));
        EXPECT_TRUE(e.inStep());
        EXPECT_EQ(e.storage.foreignChanges(), 0);
    }
    qInstallMessageHandler(previous);
    EXPECT_TRUE(qtWarnings.isEmpty()) << qtWarnings.join(u'\n').toStdString();
}

TEST(RichNSTextViewKeysTest, ADragMovesWithinTheNoteAndControlCopies)
{
    FakeBlockHost host;
    QWidget note;
    DocumentTextStorage firstStorage, secondStorage;
    TextBlockController first(QUuid::createUuid(), &host, true, {}, TextBlockController::NoteStyle::floating,
                              firstStorage);
    TextBlockController second(QUuid::createUuid(), &host, false, {}, TextBlockController::NoteStyle::floating,
                               secondStorage);
    RichNSTextView firstView(first, firstStorage, &note), secondView(second, secondStorage, &note);
    note.resize(400, 300);
    secondView.move(0, 150);
    note.show();
    first.load(TextRuns{"one two three", {}}, QString("T"), std::nullopt);
    second.load(TextRuns{"below", {}}, std::nullopt, std::nullopt);
    const int steps = host.undo.undoCount();

    // Within a block (QTextEdit drags from its viewport): "one" dropped inside "three" moves there.
    first.textView().setSelection({2, 3});
    EXPECT_TRUE(firstView.moveDroppedText(firstView.viewport(), 14));
    EXPECT_EQ(firstStorage.text(), "T\n two threonee");
    // Into another block of the note: one step, undone whole.
    first.textView().setSelection({2, 4});
    EXPECT_TRUE(secondView.moveDroppedText(firstView.viewport(), 5));
    EXPECT_EQ(firstStorage.text(), "T\n threonee");
    EXPECT_EQ(secondStorage.text(), "below two");
    EXPECT_EQ(host.undo.undoCount(), steps + 2);
    host.undo.undo();
    EXPECT_EQ(firstStorage.text(), "T\n two threonee");
    EXPECT_EQ(secondStorage.text(), "below");
    EXPECT_EQ(firstStorage.foreignChanges() + secondStorage.foreignChanges(), 0);

    // Another note's text, or a drop with Ctrl held (a copy), is pasted and the source is left alone.
    QWidget other;
    DocumentTextStorage otherStorage;
    TextBlockController outside(QUuid::createUuid(), &host, false, {}, TextBlockController::NoteStyle::floating,
                                otherStorage);
    RichNSTextView otherView(outside, otherStorage, &other);
    outside.load(TextRuns{"far", {}}, std::nullopt, std::nullopt);
    outside.textView().setSelection({0, 3});
    EXPECT_FALSE(secondView.moveDroppedText(otherView.viewport(), 0));
    QMimeData copied;
    copied.setText("copy ");
    const QPointF start = secondView.caretRect(0).center();
    QDragEnterEvent enter(start.toPoint(), Qt::CopyAction, &copied, Qt::LeftButton, Qt::ControlModifier);
    QApplication::sendEvent(secondView.viewport(), &enter);
    QDropEvent drop(start, Qt::CopyAction, &copied, Qt::LeftButton, Qt::ControlModifier);
    QApplication::sendEvent(secondView.viewport(), &drop);
    EXPECT_EQ(secondStorage.text(), "copy below");
    EXPECT_EQ(otherStorage.text(), "far");
}

TEST_F(RichNSTextViewTest, TextDroppedOrMiddleClickedInTakesTheStyleWhereItLands)
{
    controller.load(TextRuns{"first line\nsecond", {}}, QString("Trip"), std::nullopt);
    const auto font = [&](qsizetype at) { return storage.attributedText().attributesAt(at).font; };
    const auto click = [&](qsizetype at) {
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.caretRect(at).center().toPoint());
    };
    const auto drop = [&](qsizetype at, const QString& text) {
        QMimeData data;
        data.setText(text);
        const QPointF point = view.caretRect(at).center();
        QDragEnterEvent enter(point.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view.viewport(), &enter);
        QDropEvent dropped(point, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view.viewport(), &dropped);
    };
    ASSERT_NE(font(1), font(8));  // the title's style is not the body's

    // The caret in the title, a drop on the body: the body's style, as a click there and a paste give.
    click(2);
    drop(8, "XYZ");
    ASSERT_EQ(storage.text(), "Trip\nfirXYZst line\nsecond");
    EXPECT_EQ(font(8), font(7));
    EXPECT_EQ(font(10), font(7));
    // Back the other way: the caret in the body, a drop on the title keeps the title's style. Undo takes
    // each drop away whole.
    drop(2, "ab");
    ASSERT_EQ(storage.text(), "Trabip\nfirXYZst line\nsecond");
    EXPECT_EQ(font(2), font(1));
    EXPECT_EQ(font(3), font(1));
    host.undo.undo();
    EXPECT_EQ(storage.text(), "Trip\nfirXYZst line\nsecond");
    host.undo.undo();
    EXPECT_EQ(storage.text(), "Trip\nfirst line\nsecond");

    // The PRIMARY selection pasted by the middle button, where the desktop has one.
    if (!QApplication::clipboard()->supportsSelection()) return;
    QApplication::clipboard()->setText("mid", QClipboard::Selection);
    click(1);
    const QPoint second = view.caretRect(19).center().toPoint();
    QTest::mouseClick(view.viewport(), Qt::MiddleButton, {}, second);
    ASSERT_EQ(storage.text(), "Trip\nfirst line\nsecmidond");
    EXPECT_EQ(font(19), font(18));
}

// With accessibility on before the view is built, as on a desktop running a screen reader: what a tool
// puts in, deletes or replaces over the accessibility bus goes through the model like typing (stored,
// one undo step each, the shown document in step); a block that takes no edits is left alone.
TEST(RichNSTextViewAccessTest, AssistiveToolsEditThroughTheModel)
{
    QAccessible::setActive(true);
    FakeBlockHost host;
    DocumentTextStorage storage;
    TextBlockController controller(
        QUuid::createUuid(), &host, true,
        [] {
            ResolvedNoteTheme t;
            t.ink = QColor("#2B2622");
            return t;
        }(),
        TextBlockController::NoteStyle::floating, storage);
    RichNSTextView view(controller, storage);
    view.setAccessibleName("Note body");
    view.resize(400, 300);
    view.show();
    view.setFocus();
    QTest::keyClicks(&view, "Title");
    QTest::keyClick(&view, Qt::Key_Return);
    QTest::keyClicks(&view, "body");

    QAccessibleInterface* a11y = QAccessible::queryAccessibleInterface(&view);
    ASSERT_TRUE(a11y);
    EXPECT_EQ(a11y->text(QAccessible::Name), "Note body");
    EXPECT_TRUE(a11y->state().editable && a11y->state().multiLine);
    QAccessibleEditableTextInterface* edit = a11y->editableTextInterface();
    QAccessibleTextInterface* read = a11y->textInterface();
    ASSERT_TRUE(edit && read);
    const auto inStep = [&] {
        return storage.foreignChanges() == 0 && storage.readDocument() == storage.attributedText() &&
               read->text(0, read->characterCount()) == storage.text();
    };

    const int steps = host.undo.undoCount();
    const int changes = host.changes;
    edit->insertText(10, " spoken");
    EXPECT_EQ(storage.text(), "Title\nbody spoken");
    EXPECT_GT(host.changes, changes) << "the insert never reached the note";
    EXPECT_EQ(controller.textView().selection(), (TextRange{17, 0}));
    EXPECT_TRUE(inStep());
    edit->replaceText(6, 10, "note");
    EXPECT_EQ(storage.text(), "Title\nnote spoken");
    edit->deleteText(10, 17);
    EXPECT_EQ(storage.text(), "Title\nnote");
    a11y->setText(QAccessible::Value, "Whole\nnew");
    EXPECT_EQ(storage.text(), "Whole\nnew");
    EXPECT_TRUE(inStep());
    EXPECT_EQ(host.undo.undoCount(), steps + 4);
    host.undo.undo();
    EXPECT_EQ(storage.text(), "Title\nnote");
    host.undo.undo();
    host.undo.undo();
    host.undo.undo();
    EXPECT_EQ(storage.text(), "Title\nbody");
    EXPECT_TRUE(inStep());

    // Reading, the caret and the selection are the view's own, and the model follows them.
    int start = 0, end = 0;
    EXPECT_EQ(read->textAtOffset(7, QAccessible::WordBoundary, &start, &end), "body");
    EXPECT_EQ((std::pair{start, end}), (std::pair{6, 10}));
    EXPECT_EQ(read->textAtOffset(2, QAccessible::ParagraphBoundary, &start, &end), "Title");
    EXPECT_EQ(read->textAfterOffset(2, QAccessible::ParagraphBoundary, &start, &end), "body");
    read->setSelection(0, 1, 4);
    EXPECT_EQ(controller.textView().selection(), (TextRange{1, 3}));
    read->setCursorPosition(8);
    EXPECT_EQ(controller.textView().selection(), (TextRange{8, 0}));
    EXPECT_EQ(read->cursorPosition(), 8);

    // Typing after the tool's insert lands where the window shows the caret.
    edit->insertText(10, "!");
    QTest::keyClicks(&view, "?");
    EXPECT_EQ(storage.text(), "Title\nbody!?");

    controller.textView().setEditable(false);
    edit->insertText(0, "x");
    edit->deleteText(0, 3);
    EXPECT_EQ(storage.text(), "Title\nbody!?");
    EXPECT_TRUE(a11y->state().readOnly);
    EXPECT_TRUE(inStep());
}
