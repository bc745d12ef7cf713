#pragma once

#include <QAccessibleWidget>

// A widget that assistive technologies read as one element with no children, whatever it holds: a
// picture made of several parts (the capsule the tour shows, say) is announced once, by its name, and
// nothing inside it can be reached, pressed or announced on its own.
class OneElementAccessible : public QAccessibleWidget {
public:
    // Gives `widget` this presentation, with `role` and `name`, in place of any made for it before.
    static void present(QWidget* widget, QAccessible::Role role, const QString& name);

    OneElementAccessible(QWidget* widget, QAccessible::Role role) : QAccessibleWidget(widget, role) {}

    int childCount() const override { return 0; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* focusChild() const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    // A picture does nothing when pressed.
    QStringList actionNames() const override { return {}; }
    void doAction(const QString&) override {}
};
