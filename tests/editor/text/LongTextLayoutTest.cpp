#include <gtest/gtest.h>

#include <QAbstractTextDocumentLayout>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextLayout>

#include <memory>

#include "editor/text/LongTextLayout.h"
#include "editor/text/TextStorage.h"

namespace {

// The same text twice, laid out by Qt's own layout and by ours: every paragraph, line and hit must agree,
// after every edit too.
class LongTextLayoutTest : public ::testing::Test {
protected:
    LongTextLayoutTest()
    {
        for (QTextDocument* doc : {&reference, &ours}) {
            doc->setUndoRedoEnabled(false);
            doc->setDocumentMargin(0);
            QTextFrameFormat frame = doc->rootFrame()->frameFormat();
            frame.setLeftMargin(5);
            frame.setRightMargin(5);
            doc->rootFrame()->setFrameFormat(frame);
        }
        layout = new LongTextLayout(&ours);
        ours.setDocumentLayout(layout);
        edit([](QTextCursor& c) {
            QTextCharFormat bold;
            bold.setFontWeight(QFont::Bold);
            bold.setFontPointSize(18);
            for (int i = 0; i < 40; ++i) {
                c.insertText(QStringLiteral("Paragraph %1: ").arg(i));
                if (i % 7 == 3) c.insertText(QStringLiteral("a heading in bold "), bold);
                c.insertText(QString(i % 4 * 37, QChar(u'a' + i % 26)) + QStringLiteral(" words\tafter a tab 😀 end"));
                if (i % 9 == 0) c.insertBlock();  // an empty paragraph
                c.insertBlock();
            }
            c.insertText(QString(400, u'x'));  // one word wider than the column
        });
        // List items as the editor styles them: spacing under each line, a hanging indent.
        edit([](QTextCursor& c) {
            QTextBlockFormat item;
            item.setLineHeight(4, QTextBlockFormat::LineDistanceHeight);
            item.setLeftMargin(20);
            item.setTextIndent(-12);
            c.setPosition(c.document()->findBlockByNumber(5).position());
            c.setPosition(c.document()->findBlockByNumber(12).position(), QTextCursor::KeepAnchor);
            c.setBlockFormat(item);
        });
        setWidth(300);
    }

    template <typename Edit>
    void edit(Edit change)
    {
        for (QTextDocument* doc : {&reference, &ours}) {
            QTextCursor cursor(doc);
            cursor.beginEditBlock();
            change(cursor);
            cursor.endEditBlock();
        }
    }

    void setWidth(qreal width)
    {
        reference.setTextWidth(width);
        ours.setTextWidth(width);
    }

    void expectSame(const char* when)
    {
        SCOPED_TRACE(when);
        layout->settle();
        ASSERT_EQ(reference.blockCount(), ours.blockCount());
        EXPECT_EQ(reference.size(), ours.size());
        QAbstractTextDocumentLayout* theirs = reference.documentLayout();
        for (QTextBlock a = reference.begin(), b = ours.begin(); a.isValid(); a = a.next(), b = b.next()) {
            SCOPED_TRACE(a.blockNumber());
            ASSERT_EQ(theirs->blockBoundingRect(a), layout->blockBoundingRect(b));
            ASSERT_EQ(a.layout()->lineCount(), b.layout()->lineCount());
            for (int i = 0; i < a.layout()->lineCount(); ++i) {
                ASSERT_EQ(a.layout()->lineAt(i).textStart(), b.layout()->lineAt(i).textStart());
                ASSERT_EQ(a.layout()->lineAt(i).position(), b.layout()->lineAt(i).position());
            }
        }
        const qreal height = reference.size().height();
        const qreal step = std::max<qreal>(7, height / 300);
        for (qreal y = -5; y < height + 20; y += step)
            for (qreal x : {0.0, 4.0, 30.0, 151.0, 299.0, 320.0})
                for (Qt::HitTestAccuracy accuracy : {Qt::FuzzyHit, Qt::ExactHit})
                    ASSERT_EQ(theirs->hitTest({x, y}, accuracy), layout->hitTest({x, y}, accuracy))
                        << "at " << x << "," << y;
    }

    QTextDocument reference;
    QTextDocument ours;
    LongTextLayout* layout = nullptr;
};

}  // namespace

TEST_F(LongTextLayoutTest, PlacesParagraphsLinesAndHitsAsQtDoesThroughEdits)
{
    expectSame("laid out");
    edit([](QTextCursor& c) {
        c.setPosition(c.document()->findBlockByNumber(20).position() + 3);
        c.insertText(QStringLiteral("typed 😀"));
    });
    EXPECT_TRUE(layout->isSettled());  // a key lays out its paragraph, nothing waits
    expectSame("a few characters typed");
    edit([](QTextCursor& c) {
        c.setPosition(c.document()->findBlockByNumber(8).position() + 2);
        c.setPosition(c.document()->findBlockByNumber(15).position() + 5, QTextCursor::KeepAnchor);
        c.removeSelectedText();
    });
    expectSame("paragraphs joined");
    edit([](QTextCursor& c) {
        c.setPosition(c.document()->findBlockByNumber(3).position() + 4);
        c.insertText(QStringLiteral("one\ntwo\n\nthree "));
        c.insertBlock();
    });
    expectSame("paragraphs split");
    edit([](QTextCursor& c) {
        QTextCharFormat large;
        large.setFontPointSize(30);
        c.setPosition(c.document()->findBlockByNumber(2).position());
        c.setPosition(c.document()->findBlockByNumber(4).position() + 3, QTextCursor::KeepAnchor);
        c.mergeCharFormat(large);
    });
    expectSame("characters restyled");
    edit([](QTextCursor& c) {
        c.movePosition(QTextCursor::End);
        c.setPosition(c.document()->findBlockByNumber(1).position(), QTextCursor::KeepAnchor);
        c.removeSelectedText();
    });
    expectSame("almost everything deleted");
}

TEST_F(LongTextLayoutTest, ANewWidthSettlesOverTurnsToQtsHeight)
{
    edit([](QTextCursor& c) {
        c.movePosition(QTextCursor::End);
        for (int i = 0; i < 2000; ++i)
            c.insertText(QStringLiteral("\nline %1 of many, long enough to wrap once at the narrow width").arg(i));
    });
    expectSame("grown");
    QSignalSpy sizes(layout, &QAbstractTextDocumentLayout::documentSizeChanged);
    setWidth(180);
    // The paragraphs are laid out a few milliseconds' worth per turn; meanwhile the caret's paragraph
    // is answered exactly.
    EXPECT_FALSE(layout->isSettled());
    const QTextBlock middle = ours.findBlockByNumber(1000);
    EXPECT_EQ(layout->blockBoundingRect(middle).size(),
              reference.documentLayout()->blockBoundingRect(reference.findBlockByNumber(1000)).size());
    QElapsedTimer hang;
    hang.start();
    while (!layout->isSettled() && hang.elapsed() < 20000) QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    ASSERT_TRUE(layout->isSettled());
    ASSERT_FALSE(sizes.isEmpty());
    EXPECT_EQ(sizes.last().first().toSizeF(), reference.size());
    expectSame("narrower");
}

TEST_F(LongTextLayoutTest, PaintsWhatQtPaintsWithSelectionsAndTheCaret)
{
    layout->settle();
    const int from = ours.findBlockByNumber(4).position() + 3;
    const int to = ours.findBlockByNumber(9).position() + 20;
    auto paint = [&](QTextDocument& doc, const QRectF& clip) {
        QImage image(320, int(clip.height()), QImage::Format_ARGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.translate(0, -clip.top());
        QAbstractTextDocumentLayout::PaintContext context;
        context.clip = clip;
        context.cursorPosition = to;
        QTextCursor selected(&doc);
        selected.setPosition(from);
        selected.setPosition(to, QTextCursor::KeepAnchor);
        QTextCharFormat highlight;
        highlight.setBackground(Qt::blue);
        highlight.setForeground(Qt::white);
        context.selections.append({selected, highlight});
        // A whole-line mark given by a position alone, as the find bar's flash is.
        QTextCursor line(&doc);
        line.setPosition(ours.findBlockByNumber(12).position() + 2);
        QTextCharFormat full;
        full.setBackground(Qt::yellow);
        full.setProperty(QTextFormat::FullWidthSelection, true);
        context.selections.append({line, full});
        doc.documentLayout()->draw(&painter, context);
        return image;
    };
    for (const QRectF clip : {QRectF(0, 0, 320, 400), QRectF(0, 170, 320, 260), QRectF(0, 1500, 320, 300)})
        EXPECT_EQ(paint(reference, clip), paint(ours, clip)) << "clip from " << clip.top();
}

TEST(LongTextStorage, ALongTextIsLaidOutByTheLongTextLayout)
{
    DocumentTextStorage storage;
    storage.replace(0, 0, AttributedText(QStringLiteral("short")));
    EXPECT_EQ(qobject_cast<LongTextLayout*>(storage.document()->documentLayout()), nullptr);
    QString text;
    while (text.size() <= DocumentTextStorage::longText) text += QStringLiteral("a line of a long text\n");
    storage.replace(5, 0, AttributedText(text));
    storage.finishFilling();
    ASSERT_NE(qobject_cast<LongTextLayout*>(storage.document()->documentLayout()), nullptr);
    EXPECT_EQ(storage.document()->characterCount() - 1, storage.text().length());
}
