#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>

#include "editor/blocks/FakeBlockHost.h"
#include "editor/text/RichNSTextView.h"
#include "editor/text/TextBlockController.h"

namespace {

// A title block in a shown view, the caret below the title, as after typing "Long" and Return.
class LargeTextTest : public ::testing::Test {
protected:
    LargeTextTest()
        : controller(QUuid::createUuid(), &host, true, ResolvedNoteTheme{}, TextBlockController::NoteStyle::floating,
                     storage),
          view(controller, storage)
    {
        view.resize(400, 300);
        view.show();
        view.setFocus();
        controller.load(TextRuns{}, QStringLiteral("Long"), 5);
    }

    // Lines of 60 characters; every fifth a bullet item, so the list styling has work across slices.
    static QString lines(qsizetype atLeast)
    {
        QString text;
        for (int i = 0; text.size() < atLeast; ++i)
            text += (i % 5 == 0 ? QStringLiteral("• ") : QString()) + QString(57, QChar(u'a' + i % 26)) + u'\n';
        return text;
    }

    void paste(const QString& text)
    {
        QMimeData data;
        data.setText(text);
        view.pasteMimeData(&data);
    }

    void fill()
    {
        for (int turns = 0; storage.isFilling() && turns < 1000; ++turns) QCoreApplication::processEvents();
    }

    FakeBlockHost host;
    DocumentTextStorage storage;
    TextBlockController controller;
    RichNSTextView view;
};

}  // namespace

TEST_F(LargeTextTest, ALongPasteIsStoredAtOnceAndShownSliceBySlice)
{
    const QString text = lines(3 * DocumentTextStorage::fillAtOnce);
    const int changes = host.changes;
    paste(text);
    // Stored and told before the first turn of the event loop; the document still filling.
    EXPECT_EQ(storage.text(), QStringLiteral("Long\n") + text);
    EXPECT_EQ(host.changes, changes + 1);
    ASSERT_TRUE(storage.isFilling());
    const qreal early = view.heightForWidth(400);
    const int layouts = host.layouts;
    fill();
    EXPECT_GT(host.layouts, layouts);
    EXPECT_GT(view.heightForWidth(400), 10 * early);
    EXPECT_EQ(storage.readDocument(), storage.attributedText());
    // The view's caret is where the model put it: after the pasted text.
    EXPECT_EQ(view.textCursor().position(), storage.length());
    EXPECT_EQ(controller.textView().selection(), (TextRange{storage.length(), 0}));
    // Items pasted are styled as list lines, the last one too.
    const qsizetype lastItem = storage.text().lastIndexOf(QStringLiteral("• "));
    EXPECT_GT(storage.attributesAt(lastItem).paragraphStyle->headIndent, 0);
    EXPECT_EQ(storage.foreignChanges(), 0);
}

TEST_F(LargeTextTest, KeysAndClicksWhileFillingActOnTheWholeText)
{
    // A key typed while a paste fills lands after the paste at once; the rest keeps entering slice by
    // slice instead of all in the key's turn.
    const QString text = lines(2 * DocumentTextStorage::fillAtOnce);
    paste(text);
    ASSERT_TRUE(storage.isFilling());
    QTest::keyClicks(&view, QStringLiteral("Z"));
    EXPECT_TRUE(storage.isFilling());
    EXPECT_EQ(storage.text(), QStringLiteral("Long\n") + text + u'Z');
    fill();
    EXPECT_EQ(storage.readDocument(), storage.attributedText());
    EXPECT_EQ(view.textCursor().position(), storage.length());

    // The end key while filling means the end of the whole text: the next letter goes there.
    paste(QStringLiteral("\n") + text);
    ASSERT_TRUE(storage.isFilling());
    QTest::keyClick(&view, Qt::Key_Home, Qt::ControlModifier);
    QTest::keyClick(&view, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(&view, QStringLiteral("Y"));
    fill();
    EXPECT_TRUE(storage.text().endsWith(text + u'Y'));
    EXPECT_EQ(storage.readDocument(), storage.attributedText());
    host.undo.undo();
    host.undo.undo();

    // A click in the part already shown, then one undo: back to the text before the paste.
    paste(text);
    ASSERT_TRUE(storage.isFilling());
    QTextCursor title(view.document());
    title.setPosition(2);
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.cursorRect(title).center());
    EXPECT_EQ(controller.textView().selection(), (TextRange{2, 0}));
    fill();
    host.undo.undo();
    EXPECT_EQ(storage.text(), QStringLiteral("Long\n") + text + u'Z');
    EXPECT_EQ(storage.readDocument(), storage.attributedText());
}

TEST_F(LargeTextTest, ALongNoteLoadsWithItsCaretAndStylesAndSnapshotsWhole)
{
    const QString text = lines(2 * DocumentTextStorage::fillAtOnce);
    controller.load(TextRuns{text, {{.loc = 10, .len = 5, .b = true}}}, QStringLiteral("Big"), 0);
    ASSERT_TRUE(storage.isFilling());
    // The snapshot is the whole body while the view still fills.
    EXPECT_EQ(controller.snapshot().textRuns()->text, text);
    fill();
    EXPECT_EQ(view.textCursor().position(), 0);
    EXPECT_EQ(storage.readDocument(), storage.attributedText());
    EXPECT_TRUE(storage.attributesAt(4 + 10).font->isBold());
}

TEST_F(LargeTextTest, CopyingAndMovingByLinesWhileALongTextFills)
{
    QStringList warnings;
    static QStringList* sink = nullptr;
    sink = &warnings;
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& message) { sink->append(message); });
    const QString text = lines(2 * DocumentTextStorage::fillAtOnce);
    paste(text);
    ASSERT_TRUE(storage.isFilling());
    // The end of the whole text selected and copied before the view holds it: the copy is the text
    // selected, whole.
    controller.textView().setSelection({storage.length() - 2, 2});
    view.copy();
    EXPECT_EQ(QApplication::clipboard()->text(), text.right(2));
    fill();
    QTest::keyClick(&view, Qt::Key_Up, Qt::ShiftModifier);
    view.copy();
    EXPECT_EQ(QApplication::clipboard()->text().size(), controller.textView().selection().length);
    QTest::keyClick(&view, Qt::Key_Up);
    QTest::keyClicks(&view, QStringLiteral("Q"));
    qInstallMessageHandler(previous);
    EXPECT_EQ(warnings, QStringList());
    EXPECT_EQ(storage.text().length(), 5 + text.length() + 1);
    EXPECT_EQ(storage.readDocument(), storage.attributedText());
}

TEST_F(LargeTextTest, WhatIsTypedInATextTooTallToShowWholeIsShownBesideWhatItIsStoredBeside)
{
    // The line holding the caret as the view shows it and as the storage holds it.
    auto caretLine = [&] {
        const qsizetype at = controller.textView().selection().location;
        const QString& t = storage.text();
        const qsizetype from = t.lastIndexOf(u'\n', at - 1) + 1;
        const qsizetype to = t.indexOf(u'\n', at) < 0 ? t.size() : t.indexOf(u'\n', at);
        return std::pair{view.textCursor().block().text(), t.mid(from, to - from)};
    };
    // About three quarters shown, then (after the relaunch) less.
    storage.setMaxShownHeight(300000);
    const QString text = lines(2 * DocumentTextStorage::fillAtOnce);

    // Typed at the shown end once the text stopped growing: stored at the end of the last shown line,
    // not at the start of the first one held back.
    controller.load(TextRuns{text, {}}, QStringLiteral("Long"), 0);
    fill();
    ASSERT_TRUE(storage.isHeldBack());
    QTest::keyClick(&view, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(&view, QStringLiteral("WY"));
    auto [shown, stored] = caretLine();
    EXPECT_TRUE(shown.endsWith(QStringLiteral("WY")));
    EXPECT_EQ(shown, stored);
    EXPECT_EQ(view.document()->lastBlock().text(), shown);
    const qsizetype typedAt = storage.text().indexOf(QStringLiteral("WY"));
    EXPECT_EQ(storage.text().mid(typedAt, 3), QStringLiteral("WY\n"));

    // Loaded again, as after a relaunch, where less of it may be shown: the letters found are shown
    // in their line, and the document grows no taller for it. So is a line near the end of the text.
    const TextRuns runs = *controller.snapshot().textRuns();
    storage.setMaxShownHeight(250000);
    controller.load(runs, QStringLiteral("Long"), 0);
    fill();
    ASSERT_TRUE(storage.isHeldBack());
    ASSERT_GT(typedAt, storage.pendingFrom());
    ASSERT_LT(typedAt, storage.pendingFrom() + storage.heldBackLength());
    const int lines = view.document()->blockCount();
    for (const qsizetype at : {typedAt, storage.length() - 70}) {
        controller.textView().setSelection({at, 2});
        EXPECT_EQ(view.textCursor().selectedText(), storage.text().mid(at, 2));
        EXPECT_EQ(view.textCursor().block().text(), caretLine().second);
        EXPECT_LE(view.document()->blockCount(), lines);
        EXPECT_EQ(storage.toText(view.textCursor().selectionStart()), at);
    }
    // Far beyond what a document this short could take in: the match is not shown, and the caret
    // stays where the view shows it rather than on text out of sight.
    storage.setMaxShownHeight(20000);
    controller.load(runs, QStringLiteral("Long"), 0);
    fill();
    ASSERT_TRUE(storage.isHeldBack());
    controller.textView().setSelection({typedAt, 2});
    EXPECT_EQ(controller.textView().selection(), (TextRange{storage.pendingFrom(), 0}));

    // The end key while a long note fills, then typing: stored at the true end and shown there, after
    // the true last line, while it fills and once it is held back.
    controller.load(TextRuns{text.chopped(1), {}}, QStringLiteral("Long"), 0);
    ASSERT_TRUE(storage.isFilling());
    QTest::keyClick(&view, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(&view, QStringLiteral("WY"));
    EXPECT_TRUE(storage.text().endsWith(text.chopped(1) + QStringLiteral("WY")));
    std::tie(shown, stored) = caretLine();
    EXPECT_EQ(shown, stored);
    fill();
    ASSERT_TRUE(storage.isHeldBack());
    std::tie(shown, stored) = caretLine();
    EXPECT_EQ(shown, stored);
    EXPECT_EQ(view.document()->lastBlock().text(), stored);
    EXPECT_EQ(storage.foreignChanges(), 0);
}
