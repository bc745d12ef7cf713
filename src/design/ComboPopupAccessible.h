#pragma once

#include <QAccessibleWidget>
#include <QHash>

class QComboBox;
class QListView;

// What assistive tools see of a combo box's popup list: one list item per choice, named by its text,
// the current one selected. While the popup is closed (or the combo's page is not shown) the list and
// its items are not on screen, and say so: the stock interface reads them as showing at all times.
class ComboPopupAccessible : public QAccessibleWidget {
public:
    explicit ComboPopupAccessible(QListView* list);
    ~ComboPopupAccessible() override;

    // Gives `combo`'s popup this interface, in place of any the toolkit made for it before.
    static void attach(QComboBox* combo);

    QAccessibleInterface* parent() const override;
    QAccessible::State state() const override;
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* focusChild() const override;

    QListView* list() const;

private:
    mutable QHash<int, QAccessible::Id> m_items;
};
