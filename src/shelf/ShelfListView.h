#pragma once

#include <QListView>

#include "design/DoubleClickGuard.h"

class Clock;
class ShelfListModel;
class ShelfRowActions;
class ShelfRowDelegate;

// One surface of the shelf: a list drawn by the row delegate. The pointer hovers, clicks a row's
// primary command, its hover icons, its action chips or "Empty bin", and opens its menu. It never
// takes the keyboard: the search field keeps it.
class ShelfListView : public QListView {
    Q_OBJECT
public:
    ShelfListView(ShelfListModel& model, ShelfRowActions& actions, Clock& clock, QWidget* parent = nullptr);

    // Opens the menu of the row at `row` (the keyboard's way to a row's commands).
    void showMenu(int row, const QPoint& globalPos);
    void showMenuForSelection();
    // Keeps the selected row in the middle of the list.
    void scrollToSelection();

    ShelfRowDelegate* rowDelegate() const { return m_delegate; }
    // What a click on the row at `row` does: opens a note, peeks a capture, restores from the bin.
    void activateRow(int row);
    // What a click on the bin heading's "Empty bin" does.
    void emptyBin();

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    void setHovered(int row);
    // What a press at `pos` aims at: the item's row (or the bin's heading), what it hits, and the
    // command, named so that a row that slid into the place of another is not taken for it.
    QVariant pressTarget(const QPoint& pos) const;

    ShelfListModel& m_model;
    ShelfRowActions& m_actions;
    ShelfRowDelegate* m_delegate;
    DoubleClickGuard m_clicks;
};
