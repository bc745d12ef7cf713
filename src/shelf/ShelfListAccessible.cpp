#include "shelf/ShelfListAccessible.h"

#include <QPointer>

#include "design/LeafAccessible.h"
#include "shelf/ShelfListModel.h"
#include "shelf/ShelfListView.h"
#include "shelf/ShelfRowDelegate.h"

namespace {

using Kind = ShelfListModel::Kind;

bool isRow(Kind kind)
{
    return kind == Kind::note || kind == Kind::capture || kind == Kind::binNote;
}

// The parts every interface here shares: no object of its own, a place in a list that may change.
class Painted : public LeafAccessible {
public:
    explicit Painted(ShelfListView* view) : m_view(view) {}
    QWindow* window() const override { return m_view ? m_view->window()->windowHandle() : nullptr; }

protected:
    // The surface not shown (the browse list while searching, or the other way round) keeps its
    // items; none of them may be read as on screen.
    QAccessible::State baseState() const
    {
        QAccessible::State s;
        s.invisible = !m_view || !m_view->isVisible();
        return s;
    }

    QPointer<ShelfListView> m_view;
};

// A hover icon or a chip: a button that runs its command.
class CommandButton : public Painted, public QAccessibleActionInterface {
public:
    CommandButton(ShelfListView* view, int row, int command, QAccessibleInterface* parent)
        : Painted(view), m_row(row), m_command(command), m_parent(parent)
    {
    }

    bool isValid() const override { return m_view && m_command < int(commands().size()); }
    QAccessibleInterface* parent() const override { return m_parent; }
    QString text(QAccessible::Text t) const override
    {
        const auto all = commands();
        if (m_command >= int(all.size())) return {};
        const auto& command = all[m_command];
        // The command table's own words, as the tooltip and the chip say them.
        if (t == QAccessible::Name) return chip() || command.help.isEmpty() ? command.title : command.help;
        return {};
    }
    QRect rect() const override
    {
        if (!isValid()) return {};
        const QModelIndex index = m_view->model()->index(m_row, 0);
        const QRect item = m_view->visualRect(index);
        const QList<QRect> rects = m_view->rowDelegate()->commandRects(item, index);
        if (m_command >= rects.size()) return {};
        const QRect local = rects[m_command];
        return QRect(m_view->viewport()->mapToGlobal(local.topLeft()), local.size());
    }
    QAccessible::Role role() const override { return QAccessible::Button; }
    QAccessible::State state() const override
    {
        QAccessible::State s = baseState();
        s.invalid = !isValid();
        if (s.invalid) return s;
        s.focusable = chip();
        // The chip the keyboard is on (the search field keeps the real focus).
        s.focused = s.selected = chip() && model()->focusedAction() == m_command;
        return s;
    }
    void* interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override
    {
        if (name != pressAction()) return;
        const auto all = commands();
        if (m_command < int(all.size())) all[m_command].run();
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    ShelfListModel* model() const { return static_cast<ShelfListModel*>(m_view->model()); }
    // Read each time: the item at this place may have become the actions row since, or stopped being it.
    bool chip() const
    {
        return m_view && m_row < m_view->model()->rowCount() && model()->item(m_row).kind == Kind::actions;
    }
    QList<ShelfRowActions::Command> commands() const
    {
        if (!m_view || m_row >= m_view->model()->rowCount()) return {};
        const QModelIndex index = m_view->model()->index(m_row, 0);
        return chip() ? m_view->rowDelegate()->chipCommands(index) : m_view->rowDelegate()->hoverCommands(index);
    }

    int m_row, m_command;
    QAccessibleInterface* m_parent;
};

// The bin heading's "Empty bin": a button that empties the bin as its click does.
class EmptyBinButton : public Painted, public QAccessibleActionInterface {
public:
    EmptyBinButton(ShelfListView* view, int row, QAccessibleInterface* parent)
        : Painted(view), m_row(row), m_parent(parent)
    {
    }

    bool isValid() const override
    {
        return m_view && m_row < m_view->model()->rowCount() &&
               static_cast<ShelfListModel*>(m_view->model())->item(m_row).kind == Kind::binHeader;
    }
    QAccessibleInterface* parent() const override { return m_parent; }
    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Name ? QStringLiteral("Empty bin") : QString();
    }
    QRect rect() const override
    {
        if (!isValid()) return {};
        const QRect local = ShelfRowDelegate::emptyBinRect(m_view->visualRect(m_view->model()->index(m_row, 0)));
        return QRect(m_view->viewport()->mapToGlobal(local.topLeft()), local.size());
    }
    QAccessible::Role role() const override { return QAccessible::Button; }
    QAccessible::State state() const override
    {
        QAccessible::State s = baseState();
        s.invalid = !isValid();
        return s;
    }
    void* interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override
    {
        if (name == pressAction() && isValid()) m_view->emptyBin();
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    int m_row;
    QAccessibleInterface* m_parent;
};

// One item of the list, as drawn.
class Item : public Painted, public QAccessibleActionInterface {
public:
    Item(ShelfListView* view, int row) : Painted(view), m_row(row) {}
    ~Item() override
    {
        for (QAccessible::Id id : std::as_const(m_children)) QAccessible::deleteAccessibleInterface(id);
        if (m_emptyBin) QAccessible::deleteAccessibleInterface(m_emptyBin);
    }

    bool isValid() const override { return m_view && m_row < m_view->model()->rowCount(); }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(m_view.data()); }
    int childCount() const override
    {
        if (!isValid()) return 0;
        switch (kind()) {
            case Kind::note:
            case Kind::capture:
            case Kind::binNote:
                return int(m_view->rowDelegate()->hoverCommands(index()).size());
            case Kind::actions:
                return int(m_view->rowDelegate()->chipCommands(index()).size());
            case Kind::binHeader:
                return 1;
            default:
                return 0;
        }
    }
    QAccessibleInterface* child(int i) const override
    {
        if (i < 0 || i >= childCount()) return nullptr;
        if (kind() == Kind::binHeader) {
            if (!m_emptyBin)
                m_emptyBin = QAccessible::registerAccessibleInterface(
                    new EmptyBinButton(m_view, m_row, const_cast<Item*>(this)));
            return QAccessible::accessibleInterface(m_emptyBin);
        }
        auto it = m_children.find(i);
        if (it == m_children.end()) {
            auto* button = new CommandButton(m_view, m_row, i, const_cast<Item*>(this));
            it = m_children.insert(i, QAccessible::registerAccessibleInterface(button));
        }
        return QAccessible::accessibleInterface(*it);
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        if (m_emptyBin && QAccessible::accessibleInterface(m_emptyBin) == child) return 0;
        for (auto it = m_children.cbegin(); it != m_children.cend(); ++it)
            if (QAccessible::accessibleInterface(it.value()) == child) return it.key();
        return -1;
    }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text t) const override
    {
        if (!isValid()) return {};
        if (t == QAccessible::Name) return index().data(Qt::AccessibleTextRole).toString();
        if (t == QAccessible::Description) return index().data(Qt::AccessibleDescriptionRole).toString();
        return {};
    }
    QRect rect() const override
    {
        if (!isValid()) return {};
        const QRect local = m_view->visualRect(index());
        return QRect(m_view->viewport()->mapToGlobal(local.topLeft()), local.size());
    }
    QAccessible::Role role() const override
    {
        if (!isValid()) return QAccessible::NoRole;
        switch (kind()) {
            case Kind::header:
            case Kind::binHeader:
                return QAccessible::Heading;
            case Kind::hint:
                return QAccessible::StaticText;
            case Kind::actions:
                return QAccessible::ToolBar;
            default:
                return QAccessible::ListItem;
        }
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = baseState();
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        if (isRow(kind())) {
            const auto* model = static_cast<ShelfListModel*>(m_view->model());
            const auto selected = model->selectedRow();
            s.selectable = s.focusable = true;
            s.selected = selected && *selected == model->item(m_row).row;
            // The keyboard is on the row, unless it went on to one of its chips.
            s.focused = s.selected && model->focusedAction() < 0;
        }
        return s;
    }
    void* interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface && isValid() && isRow(kind())
                   ? static_cast<QAccessibleActionInterface*>(this)
                   : nullptr;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override
    {
        if (name == pressAction() && isValid() && isRow(kind())) m_view->activateRow(m_row);
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QModelIndex index() const { return m_view->model()->index(m_row, 0); }
    Kind kind() const { return static_cast<ShelfListModel*>(m_view->model())->item(m_row).kind; }

    int m_row;
    mutable QHash<int, QAccessible::Id> m_children;
    mutable QAccessible::Id m_emptyBin = 0;
};

QAccessibleInterface* factory(const QString& className, QObject* object)
{
    if (className == QLatin1String("ShelfListView") && object && object->isWidgetType())
        return new ShelfListAccessible(static_cast<ShelfListView*>(object));
    return nullptr;
}

}  // namespace

ShelfListAccessible::ShelfListAccessible(ShelfListView* view) : QAccessibleWidget(view, QAccessible::List) {}

ShelfListAccessible::~ShelfListAccessible()
{
    for (QAccessible::Id id : std::as_const(m_items)) QAccessible::deleteAccessibleInterface(id);
}

void ShelfListAccessible::install()
{
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        return true;
    }();
    Q_UNUSED(installed);
}

ShelfListView* ShelfListAccessible::view() const
{
    return static_cast<ShelfListView*>(widget());
}

int ShelfListAccessible::childCount() const
{
    return view()->model() ? view()->model()->rowCount() : 0;
}

QAccessibleInterface* ShelfListAccessible::child(int index) const
{
    if (index < 0 || index >= childCount()) return nullptr;
    auto it = m_items.find(index);
    if (it == m_items.end())
        it = m_items.insert(index, QAccessible::registerAccessibleInterface(new Item(view(), index)));
    return QAccessible::accessibleInterface(*it);
}

int ShelfListAccessible::indexOfChild(const QAccessibleInterface* child) const
{
    for (auto it = m_items.cbegin(); it != m_items.cend(); ++it)
        if (QAccessible::accessibleInterface(it.value()) == child) return it.key();
    return -1;
}

QAccessibleInterface* ShelfListAccessible::childAt(int x, int y) const
{
    const QModelIndex index = view()->indexAt(view()->viewport()->mapFromGlobal(QPoint(x, y)));
    return index.isValid() ? child(index.row()) : nullptr;
}
