#pragma once

#include <QHash>
#include <QPixmap>
#include <QStyledItemDelegate>
#include <optional>

#include "shelf/SearchSupport.h"
#include "shelf/ShelfListModel.h"
#include "shelf/ShelfRowActions.h"

class ShelfListModel;

// Draws every item of a shelf list: headings, rows, hints and the actions row, as plain text with the
// match set bold through text formats. It keeps nothing per row; the hovered row is the view's.
class ShelfRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    // What a point of an item hits.
    struct Hit {
        enum class Kind { none, row, hoverIcon, chip, emptyBin };
        Kind kind = Kind::none;
        int command = -1;  // index into the row's commands (hover icons and chips)
    };

    explicit ShelfRowDelegate(ShelfRowActions& actions, QObject* parent = nullptr);

    void setHoveredRow(int row) { m_hovered = row; }
    int hoveredRow() const { return m_hovered; }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    Hit hitTest(const QRect& itemRect, const QModelIndex& index, const QPoint& pos) const;
    // The commands offered on hover and in the actions row of a row (the row's own, or the row an
    // actions item belongs to).
    QList<ShelfRowActions::Command> hoverCommands(const QModelIndex& index) const;
    QList<ShelfRowActions::Command> chipCommands(const QModelIndex& index) const;

    // Where each of those commands stands in the item at `itemRect`: the chips of an actions item, the
    // hover icons of a row (drawn only under the pointer, but that is where they are).
    QList<QRect> commandRects(const QRect& itemRect, const QModelIndex& index) const;
    // Where the bin heading's "Empty bin" answers the pointer.
    static QRect emptyBinRect(const QRect& itemRect);

    static int heightOf(int kind, bool inSearch);

    // A small icon of a row that answers the pointer: a hover icon (its command's help) or the lock.
    struct Mark {
        QRect rect;
        QString name;      // tooltip and accessible name
        int command = -1;  // index into hoverCommands(), -1 for the lock
    };
    // The marks of the item at `itemRect`, where they are drawn now (hover icons only while hovered).
    QList<Mark> marks(const QRect& itemRect, const QModelIndex& index) const;

    // ---- Measures shared with the tests ----

    // An empty-state line laid out at a list's width: up to three lines, the last cut with an ellipsis.
    struct HintLayout {
        QStringList lines;
        qreal lineHeight = 0;
        int textWidth = 0;  // the width the lines were broken at
        int height = 0;     // the item's: the lines and the padding around them
    };
    static HintLayout hintLayout(const QString& text, int listWidth);
    static constexpr int hintPadding = 28;

    // A one-line text in `width`, cut at its end; when it has a bold range, the text before that range
    // gives way first, so the range shows whole whenever it fits.
    struct FittedLine {
        QString text;
        std::optional<SearchSupport::Highlighted::Span> bold;
    };
    static FittedLine fitLine(const QString& text, std::optional<SearchSupport::Highlighted::Span> bold,
                              const QFont& font, qreal width);

    // The trailing slot's time stamp: its font, its width, and the text a row shows in it.
    static QFont slotFont();
    static int slotWidth();
    static QString slotText(const ShelfListModel::RowTexts& texts);

private:
    QPixmap symbol(const QString& name, const QColor& color, int size) const;
    QList<QRect> hoverIconRects(const QRect& itemRect, int count) const;
    QList<QRect> chipRects(const QRect& itemRect, const QList<ShelfRowActions::Command>& chips) const;

    // Where a row's trailing marks stand: a capture's source, a note's pin and lock.
    struct RowMarks {
        int textRight = 0;
        QRect source, pin, lock;
    };
    static RowMarks rowMarks(const QRect& itemRect, ShelfListModel::Kind kind, const ShelfListModel::RowTexts& t);

    ShelfRowActions& m_actions;
    int m_hovered = -1;
    mutable QHash<QString, QPixmap> m_symbols;
};
