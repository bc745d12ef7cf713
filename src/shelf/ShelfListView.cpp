#include "shelf/ShelfListView.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>

#include "model/Capture.h"
#include "model/Note.h"
#include "shelf/ShelfListModel.h"
#include "shelf/ShelfRowActions.h"
#include "shelf/ShelfRowDelegate.h"

ShelfListView::ShelfListView(ShelfListModel& model, ShelfRowActions& actions, QWidget* parent)
    : QListView(parent), m_model(model), m_actions(actions), m_delegate(new ShelfRowDelegate(actions, this))
{
    setModel(&m_model);
    setItemDelegate(m_delegate);
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true);
    setFrameShape(QFrame::NoFrame);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    // Lay out a large list in batches, so the first rows show before the last are measured.
    setLayoutMode(QListView::Batched);
    setBatchSize(400);
    setSpacing(0);
    viewport()->setAutoFillBackground(false);
    setAttribute(Qt::WA_TranslucentBackground);
    connect(&m_model, &QAbstractItemModel::modelReset, this, [this] { m_delegate->setHoveredRow(-1); });
}

void ShelfListView::setHovered(int row)
{
    const int before = m_delegate->hoveredRow();
    if (before == row) return;
    m_delegate->setHoveredRow(row);
    for (const int r : {before, row})
        if (r >= 0 && r < m_model.rowCount()) viewport()->update(visualRect(m_model.index(r)));
}

void ShelfListView::mouseMoveEvent(QMouseEvent* event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    const auto kind = index.isValid() ? m_model.item(index.row()).kind : ShelfListModel::Kind::hint;
    const bool row = kind == ShelfListModel::Kind::note || kind == ShelfListModel::Kind::capture ||
                     kind == ShelfListModel::Kind::binNote;
    setHovered(row ? index.row() : -1);
}

void ShelfListView::leaveEvent(QEvent* event)
{
    setHovered(-1);
    QListView::leaveEvent(event);
}

void ShelfListView::mousePressEvent(QMouseEvent* event)
{
    event->accept();  // no selection by the view: the state holds it
}

void ShelfListView::mouseDoubleClickEvent(QMouseEvent* event)
{
    event->accept();
}

void ShelfListView::runPrimary(int row)
{
    const auto& item = m_model.item(row);
    switch (item.kind) {
        case ShelfListModel::Kind::note:
            if (Note* note = m_model.note(row)) m_actions.openNote(*note);
            break;
        case ShelfListModel::Kind::capture:
            if (Capture* capture = m_model.capture(row)) m_actions.peekCapture(*capture);
            break;
        case ShelfListModel::Kind::binNote:
            if (Note* note = m_model.note(row); note && note->isTrashed()) m_actions.restore(*note);
            break;
        default:
            break;
    }
}

void ShelfListView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) return;
    const QPoint pos = event->position().toPoint();
    const QModelIndex index = indexAt(pos);
    if (!index.isValid()) return;
    const auto hit = m_delegate->hitTest(visualRect(index), index, pos);
    switch (hit.kind) {
        case ShelfRowDelegate::Hit::Kind::row:
            runPrimary(index.row());
            break;
        case ShelfRowDelegate::Hit::Kind::hoverIcon: {
            const auto commands = m_delegate->hoverCommands(index);
            if (hit.command < commands.size()) commands[hit.command].run();
            break;
        }
        case ShelfRowDelegate::Hit::Kind::chip: {
            const auto commands = m_delegate->chipCommands(index);
            if (hit.command < commands.size()) commands[hit.command].run();
            break;
        }
        case ShelfRowDelegate::Hit::Kind::emptyBin:
            m_actions.emptyBin();
            break;
        case ShelfRowDelegate::Hit::Kind::none:
            break;
    }
}

void ShelfListView::showMenu(int row, const QPoint& globalPos)
{
    if (row < 0 || row >= m_model.rowCount()) return;
    const auto kind = m_model.item(row).kind;
    if (kind != ShelfListModel::Kind::note && kind != ShelfListModel::Kind::capture &&
        kind != ShelfListModel::Kind::binNote)
        return;
    const auto commands = m_actions.commands(m_model.item(row).row);
    if (commands.isEmpty()) return;
    QMenu menu(this);
    for (const auto& command : commands) {
        if (!command.inMenu) continue;
        if (command.destructive) menu.addSeparator();
        QAction* action = menu.addAction(command.title);
        const auto run = command.run;
        connect(action, &QAction::triggered, this, [run] { run(); });
    }
    menu.exec(globalPos);
}

void ShelfListView::showMenuForSelection()
{
    const auto selected = m_model.selectedRow();
    if (!selected) return;
    const int row = m_model.indexOf(*selected);
    if (row < 0) return;
    scrollTo(m_model.index(row));
    const QRect rect = visualRect(m_model.index(row));
    showMenu(row, viewport()->mapToGlobal(QPoint(rect.x() + 40, rect.bottom())));
}

void ShelfListView::contextMenuEvent(QContextMenuEvent* event)
{
    const QModelIndex index = indexAt(event->pos());
    if (index.isValid()) showMenu(index.row(), event->globalPos());
}

void ShelfListView::scrollToSelection()
{
    const auto selected = m_model.selectedRow();
    if (!selected) return;
    const int row = m_model.indexOf(*selected);
    if (row >= 0) scrollTo(m_model.index(row), QAbstractItemView::PositionAtCenter);
}
