#include "design/OneElementAccessible.h"

#include <QWidget>

namespace {

const char* const kRoleProperty = "tarnwickOneElementRole";

QAccessibleInterface* factory(const QString&, QObject* object)
{
    auto* widget = qobject_cast<QWidget*>(object);
    if (!widget) return nullptr;
    const QVariant role = widget->property(kRoleProperty);
    return role.isValid() ? new OneElementAccessible(widget, QAccessible::Role(role.toInt())) : nullptr;
}

}  // namespace

void OneElementAccessible::present(QWidget* widget, QAccessible::Role role, const QString& name)
{
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        return true;
    }();
    Q_UNUSED(installed);
    widget->setProperty(kRoleProperty, int(role));
    widget->setAccessibleName(name);
    // With the accessibility bus running, something may have asked for the widget while its parts were
    // being added, and the stock interface been made and kept: it is dropped, so the next to ask gets
    // this one.
    QAccessibleInterface* current = QAccessible::queryAccessibleInterface(widget);
    if (current && !dynamic_cast<OneElementAccessible*>(current))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(current));
}
