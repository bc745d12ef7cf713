#pragma once

#include <QAccessibleInterface>

// An element painted inside a widget rather than a widget of its own (a tile, a row's button, a list
// choice, a grip): no object behind it, no children unless it says otherwise, and no text to edit.
class LeafAccessible : public QAccessibleInterface {
public:
    QObject* object() const override { return nullptr; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* focusChild() const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    void setText(QAccessible::Text, const QString&) override {}
};
