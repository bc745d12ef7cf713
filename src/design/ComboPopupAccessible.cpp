#include "design/ComboPopupAccessible.h"

#include <QComboBox>
#include <QListView>
#include <QPointer>

#include "design/LeafAccessible.h"

namespace {

const char* const kMarker = "tarnwickComboPopup";

// The combo a popup list belongs to: the list sits in the popup's frame, which the combo owns.
QComboBox* comboOf(const QWidget* list)
{
    for (QObject* up = list ? list->parent() : nullptr; up; up = up->parent())
        if (auto* combo = qobject_cast<QComboBox*>(up)) return combo;
    return nullptr;
}

class ChoiceAccessible : public LeafAccessible {
public:
    ChoiceAccessible(QListView* list, int row) : m_list(list), m_row(row) {}

    bool isValid() const override { return m_list && m_list->model() && m_row < m_list->model()->rowCount(); }
    QWindow* window() const override { return m_list ? m_list->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(m_list.data()); }
    QString text(QAccessible::Text t) const override
    {
        if (!isValid() || t != QAccessible::Name) return {};
        const QVariant spoken = index().data(Qt::AccessibleTextRole);
        return spoken.isValid() ? spoken.toString() : index().data(Qt::DisplayRole).toString();
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override
    {
        if (!isValid()) return {};
        const QRect local = m_list->visualRect(index());
        return QRect(m_list->viewport()->mapToGlobal(local.topLeft()), local.size());
    }
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        s.invisible = !m_list->isVisible();
        s.selectable = s.focusable = true;
        s.selected = m_list->currentIndex() == index();
        s.focused = s.selected && m_list->hasFocus();
        s.disabled = !(index().flags() & Qt::ItemIsEnabled);
        return s;
    }

private:
    QModelIndex index() const { return m_list->model()->index(m_row, m_list->modelColumn(), m_list->rootIndex()); }

    QPointer<QListView> m_list;
    int m_row;
};

QAccessibleInterface* factory(const QString&, QObject* object)
{
    auto* list = qobject_cast<QListView*>(object);
    return list && list->property(kMarker).toBool() ? new ComboPopupAccessible(list) : nullptr;
}

}  // namespace

ComboPopupAccessible::ComboPopupAccessible(QListView* list) : QAccessibleWidget(list, QAccessible::List) {}

ComboPopupAccessible::~ComboPopupAccessible()
{
    for (QAccessible::Id id : std::as_const(m_items)) QAccessible::deleteAccessibleInterface(id);
}

void ComboPopupAccessible::attach(QComboBox* combo)
{
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        return true;
    }();
    Q_UNUSED(installed);
    auto* list = qobject_cast<QListView*>(combo->view());
    if (!list) return;
    list->setProperty(kMarker, true);
    // The factory is asked only for an object nothing has asked about yet. On a desktop whose
    // accessibility bus runs, building the popup's list (combo->view() above) has already made and
    // kept the stock interface, whose items read as showing while the popup is closed: it is
    // dropped, so that the next to ask gets ours.
    QAccessibleInterface* current = QAccessible::queryAccessibleInterface(list);
    if (current && !dynamic_cast<ComboPopupAccessible*>(current))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(current));
}

QListView* ComboPopupAccessible::list() const
{
    return static_cast<QListView*>(widget());
}

QAccessibleInterface* ComboPopupAccessible::parent() const
{
    // The combo, not the popup's frame: the list is read as the combo's child.
    if (QComboBox* combo = comboOf(list())) return QAccessible::queryAccessibleInterface(combo);
    return QAccessibleWidget::parent();
}

QAccessible::State ComboPopupAccessible::state() const
{
    QAccessible::State s = QAccessibleWidget::state();
    s.invisible = !list()->isVisible();
    return s;
}

int ComboPopupAccessible::childCount() const
{
    return list()->model() ? list()->model()->rowCount(list()->rootIndex()) : 0;
}

QAccessibleInterface* ComboPopupAccessible::child(int index) const
{
    if (index < 0 || index >= childCount()) return nullptr;
    auto it = m_items.find(index);
    if (it == m_items.end())
        it = m_items.insert(index, QAccessible::registerAccessibleInterface(new ChoiceAccessible(list(), index)));
    return QAccessible::accessibleInterface(*it);
}

int ComboPopupAccessible::indexOfChild(const QAccessibleInterface* child) const
{
    for (auto it = m_items.cbegin(); it != m_items.cend(); ++it)
        if (QAccessible::accessibleInterface(it.value()) == child) return it.key();
    return -1;
}

QAccessibleInterface* ComboPopupAccessible::childAt(int x, int y) const
{
    const QModelIndex index = list()->indexAt(list()->viewport()->mapFromGlobal(QPoint(x, y)));
    return index.isValid() ? child(index.row()) : nullptr;
}

QAccessibleInterface* ComboPopupAccessible::focusChild() const
{
    const QModelIndex current = list()->currentIndex();
    return list()->hasFocus() && current.isValid() ? child(current.row()) : nullptr;
}
