#pragma once

#include <QAccessibleWidget>
#include <QHash>

class ThemeGrid;

// Makes the painted tiles of a ThemeGrid reachable by assistive tools: each tile is a button child
// named after its theme (verbatim), the selected one carrying the selected state.
class ThemeGridAccessible : public QAccessibleWidget {
public:
    explicit ThemeGridAccessible(ThemeGrid* grid);
    ~ThemeGridAccessible() override;

    // Registers the factory once per process.
    static void install();

    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    // The tile the keyboard is on while the grid has the focus.
    QAccessibleInterface* focusChild() const override;

    ThemeGrid* grid() const;

private:
    mutable QHash<int, QAccessible::Id> m_tiles;
};
