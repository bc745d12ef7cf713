#include "settings/ThemeGridAccessible.h"

#include <QPointer>

#include "design/LeafAccessible.h"
#include "settings/ThemeGrid.h"

namespace {

class TileAccessible : public LeafAccessible, public QAccessibleActionInterface {
public:
    TileAccessible(ThemeGrid* grid, int cell) : m_grid(grid), m_cell(cell) {}

    bool isValid() const override { return m_grid && m_cell < m_grid->cellCount(); }
    QWindow* window() const override { return m_grid ? m_grid->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(m_grid.data()); }
    QString text(QAccessible::Text t) const override
    {
        if (!isValid() || t != QAccessible::Name) return {};
        return m_grid->accessibleNameFor(m_cell);
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override
    {
        if (!isValid()) return {};
        const QRect local = m_grid->cellRect(m_cell);
        return QRect(m_grid->mapToGlobal(local.topLeft()), local.size());
    }
    QAccessible::Role role() const override { return QAccessible::Button; }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        // The grid's page may be behind another one: its tiles are then not on screen either.
        s.invisible = !m_grid->isVisible();
        const int index = m_grid->themeIndex(m_cell);
        s.focusable = true;
        s.focused = m_grid->hasFocus() && m_grid->currentCell() == m_cell;
        s.selectable = index >= 0;
        s.selected = index >= 0 && m_grid->themes()[index].id == m_grid->selectedID();
        return s;
    }
    void* interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override
    {
        if (isValid() && name == pressAction()) m_grid->activateCell(m_cell);
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QPointer<ThemeGrid> m_grid;
    int m_cell;
};

QAccessibleInterface* factory(const QString& className, QObject* object)
{
    if (className == QLatin1String("ThemeGrid") && object && object->isWidgetType())
        return new ThemeGridAccessible(static_cast<ThemeGrid*>(object));
    return nullptr;
}

}  // namespace

ThemeGridAccessible::ThemeGridAccessible(ThemeGrid* grid) : QAccessibleWidget(grid, QAccessible::List) {}

ThemeGridAccessible::~ThemeGridAccessible()
{
    for (QAccessible::Id id : std::as_const(m_tiles)) QAccessible::deleteAccessibleInterface(id);
}

void ThemeGridAccessible::install()
{
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        return true;
    }();
    Q_UNUSED(installed);
}

ThemeGrid* ThemeGridAccessible::grid() const
{
    return static_cast<ThemeGrid*>(widget());
}

int ThemeGridAccessible::childCount() const
{
    return grid()->cellCount();
}

QAccessibleInterface* ThemeGridAccessible::child(int index) const
{
    if (index < 0 || index >= childCount()) return nullptr;
    auto it = m_tiles.find(index);
    if (it == m_tiles.end())
        it = m_tiles.insert(index, QAccessible::registerAccessibleInterface(new TileAccessible(grid(), index)));
    return QAccessible::accessibleInterface(*it);
}

int ThemeGridAccessible::indexOfChild(const QAccessibleInterface* child) const
{
    for (auto it = m_tiles.cbegin(); it != m_tiles.cend(); ++it)
        if (QAccessible::accessibleInterface(it.value()) == child) return it.key();
    return -1;
}

QAccessibleInterface* ThemeGridAccessible::childAt(int x, int y) const
{
    const int cell = grid()->cellAt(grid()->mapFromGlobal(QPoint(x, y)));
    return cell < 0 ? nullptr : child(cell);
}

QAccessibleInterface* ThemeGridAccessible::focusChild() const
{
    return grid()->hasFocus() && grid()->currentCell() >= 0 ? child(grid()->currentCell()) : nullptr;
}
