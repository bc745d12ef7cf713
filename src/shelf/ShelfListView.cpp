#include "shelf/ShelfListView.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QScrollBar>
#include <QStyleOptionMenuItem>
#include <QToolTip>

#include "design/OverlayScrollBar.h"
#include "design/TarnwickTheme.h"

#include "model/Capture.h"
#include "model/Note.h"
#include "shelf/ShelfListAccessible.h"
#include "shelf/ShelfListModel.h"
#include "shelf/ShelfRowActions.h"
#include "shelf/ShelfRowDelegate.h"

namespace {

// Draws the entries of a row's menu that destroy something in the destructive colour.
class DestructiveMenuStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override
    {
        const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        const auto* menu = qobject_cast<const QMenu*>(widget);
        if (element == CE_MenuItem && item && menu && !item->text.isEmpty()) {
            for (const QAction* action : menu->actions()) {
                if (action->text() != item->text || !action->property("destructive").toBool()) continue;
                QStyleOptionMenuItem red(*item);
                for (const auto role : {QPalette::Text, QPalette::ButtonText, QPalette::WindowText})
                    red.palette.setColor(role, TarnwickTheme::destructive());
                QProxyStyle::drawControl(element, &red, painter, widget);
                return;
            }
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }
};

}  // namespace

ShelfListView::ShelfListView(ShelfListModel& model, ShelfRowActions& actions, Clock& clock, QWidget* parent)
    : QListView(parent), m_model(model), m_actions(actions), m_delegate(new ShelfRowDelegate(actions, this))
{
    ShelfListAccessible::install();
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
    // Hint rows are as tall as their text at the list's width.
    setResizeMode(QListView::Adjust);
    OverlayScrollBar::install(this, clock);
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
    if (event->button() == Qt::LeftButton) m_clicks.press(pressTarget(event->position().toPoint()), *event);
    event->accept();  // no selection by the view: the state holds it
}

void ShelfListView::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The first click acted already (and may have moved the rows): the second acts on nothing, nor does
    // a third that follows it.
    if (event->button() == Qt::LeftButton) m_clicks.doublePress(*event);
    event->accept();
}

QVariant ShelfListView::pressTarget(const QPoint& pos) const
{
    const QModelIndex index = indexAt(pos);
    if (!index.isValid()) return {};
    const auto hit = m_delegate->hitTest(visualRect(index), index, pos);
    if (hit.kind == ShelfRowDelegate::Hit::Kind::none) return {};
    const auto& item = m_model.item(index.row());
    return QStringLiteral("%1/%2/%3/%4/%5")
        .arg(int(item.kind))
        .arg(int(item.row.kind))
        .arg(item.row.id.toString(QUuid::WithoutBraces))
        .arg(int(hit.kind))
        .arg(hit.command);
}

void ShelfListView::activateRow(int row)
{
    if (row < 0 || row >= m_model.rowCount()) return;
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

void ShelfListView::emptyBin()
{
    m_actions.emptyBin();
}

void ShelfListView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) return;
    const QPoint pos = event->position().toPoint();
    // Only a single click that ends where it began acts: never the end of a double click.
    if (!m_clicks.release(pressTarget(pos))) return;
    const QModelIndex index = indexAt(pos);
    if (!index.isValid()) return;
    const auto hit = m_delegate->hitTest(visualRect(index), index, pos);
    switch (hit.kind) {
        case ShelfRowDelegate::Hit::Kind::row:
            activateRow(index.row());
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
            emptyBin();
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
    // One style for every menu, parented to the application so it outlives them all.
    static QPointer<DestructiveMenuStyle> style;
    if (!style) {
        style = new DestructiveMenuStyle(QApplication::style()->name());
        style->setParent(qApp);
    }
    menu.setStyle(style);
    for (const auto& command : commands) {
        if (!command.inMenu) continue;
        if (command.destructive) menu.addSeparator();
        QAction* action = menu.addAction(command.title);
        action->setProperty("destructive", command.destructive);
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

bool ShelfListView::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex index = indexAt(help->pos());
        if (index.isValid()) {
            for (const auto& mark : m_delegate->marks(visualRect(index), index)) {
                if (!mark.rect.contains(help->pos())) continue;
                // The command table's own words, never a note's or a capture's: no markup to fear.
                QToolTip::showText(help->globalPos(), mark.name, viewport(), mark.rect);
                // Titled with its text, so that the desktop (and a test) can tell which tip is up.
                for (QWidget* window : QApplication::topLevelWidgets())
                    if (window->inherits("QTipLabel") && window->isVisible()) window->setWindowTitle(mark.name);
                event->accept();
                return true;
            }
        }
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    return QListView::viewportEvent(event);
}
