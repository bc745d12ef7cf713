#pragma once

#include <QAccessibleWidget>
#include <QHash>

class ShelfListView;

// What assistive tools see of a shelf list: one child per item as drawn. A heading is a heading; a
// note, capture or bin row is a list item named as it reads, whose press action runs what a click
// does, with its hover icons (and, on the actions row, its chips) as buttons that run their command.
// The bin's heading holds "Empty bin" as a button. Empty-state hints are static text. While the list
// is hidden (the other surface shown), nothing of it reads as on screen.
class ShelfListAccessible : public QAccessibleWidget {
public:
    explicit ShelfListAccessible(ShelfListView* view);
    ~ShelfListAccessible() override;

    // Registers the factory once per process; before the first list asks for its interface.
    static void install();

    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;

    ShelfListView* view() const;

private:
    mutable QHash<int, QAccessible::Id> m_items;
};
