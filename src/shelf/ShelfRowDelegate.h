#pragma once

#include <QHash>
#include <QPixmap>
#include <QStyledItemDelegate>

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

    static int heightOf(int kind, bool inSearch);

private:
    QPixmap symbol(const QString& name, const QColor& color, int size) const;
    QList<QRect> hoverIconRects(const QRect& itemRect, int count) const;
    QList<QRect> chipRects(const QRect& itemRect, const QList<ShelfRowActions::Command>& chips) const;

    ShelfRowActions& m_actions;
    int m_hovered = -1;
    mutable QHash<QString, QPixmap> m_symbols;
};
