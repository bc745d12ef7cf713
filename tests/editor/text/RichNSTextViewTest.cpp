#include <gtest/gtest.h>

#include <sys/stat.h>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QImage>
#include <QMimeData>
#include <QTest>
#include <QTimer>

#include "editor/blocks/FakeBlockHost.h"
#include "editor/text/RichNSTextView.h"
#include "editor/text/TextBlockController.h"
#include "model/text/TextPictures.h"

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
