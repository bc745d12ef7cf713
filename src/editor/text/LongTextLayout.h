#pragma once

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTimer>

#include <vector>

class QTextLayout;

// A document layout for texts of many paragraphs. Qt's own layout walks every paragraph after an edit to
// move it, so a key typed near the top of a long text costs as much as the text after it. This one keeps
// each paragraph's height in a list and finds a paragraph's place from the sums of the heights above it:
// an edit lays out the paragraphs it touched, and a key costs the paragraph, not the text.
//
// A change of the width (a resize) or of the whole document lays out a few milliseconds' worth at once;
// the rest keeps its previous height, or an estimate from its length, and is laid out on later turns of
// the event loop, or at once where it is painted, hit or asked for. Until then the document's height is
// an estimate that `documentSizeChanged` corrects.
//
// It places paragraphs as the text editor's documents use them: the root frame's margins, each
// paragraph's left and right margin, first-line indent, indent, alignment, line height and tab stops,
// and the margins between paragraphs. Tables, floating frames and list markers are not drawn: these
// documents have none.
class LongTextLayout : public QAbstractTextDocumentLayout {
    Q_OBJECT
    Q_PROPERTY(int cursorWidth READ cursorWidth WRITE setCursorWidth)

public:
    explicit LongTextLayout(QTextDocument* document);
    ~LongTextLayout() override;

    void draw(QPainter* painter, const PaintContext& context) override;
    int hitTest(const QPointF& point, Qt::HitTestAccuracy accuracy) const override;
    int pageCount() const override;
    QSizeF documentSize() const override;
    QRectF frameBoundingRect(QTextFrame* frame) const override;
    QRectF blockBoundingRect(const QTextBlock& block) const override;

    int cursorWidth() const { return m_cursorWidth; }
    void setCursorWidth(int width);

    // True once every paragraph has its exact height.
    bool isSettled() const;
    // Lays out every paragraph still estimated, now.
    void settle();

    // The time one turn of the event loop spends on paragraphs still estimated.
    static constexpr int settleTurnMilliseconds = 8;

protected:
    void documentChanged(int from, int charsRemoved, int charsAdded) override;

private:
    struct Row {
        qreal height = 0;     // the lines of the paragraph
        qreal topMargin = 0;  // kept to collapse with the bottom margin of the paragraph above
        qreal bottomMargin = 0;
        bool exact = false;
    };
    struct Frame {
        qreal left = 0;
        qreal right = 0;
        qreal top = 0;
        qreal bottom = 0;
    };

    Frame frame() const;
    qreal contentWidth() const;
    Row layoutBlock(const QTextBlock& block) const;
    Row estimate(const QTextBlock& block, qreal previousHeight) const;
    // Lays out the paragraph at `index` if its height is an estimate; true when its height changed.
    bool ensureExact(int index, const QTextBlock& block) const;
    void markChanged(int index) const;
    void updateTops() const;
    qreal topOf(int index) const;
    int indexAt(qreal y) const;
    QTextBlock placedBlock(int index, const QTextBlock& hint = QTextBlock()) const;
    void relayoutAll(bool keepHeights);
    void settleSome();
    // Lays out estimated paragraphs in order for at most `milliseconds` (all of them when negative).
    void settleFor(qint64 milliseconds);
    void reportSize() const;

    mutable std::vector<Row> m_rows;
    mutable std::vector<qreal> m_tops;  // the top of each paragraph, valid below m_topsValid
    mutable int m_topsValid = 0;
    mutable int m_firstEstimated = 0;  // no paragraph above this one is estimated
    mutable QSizeF m_reportedSize;
    mutable bool m_sizeReportPending = false;
    qreal m_width = -1;
    int m_cursorWidth = 1;
    QTimer m_settleTimer;
};
