#include "settings/SettingsTabStrip.h"

#include <QAccessibleWidget>

namespace {

class TabAccessible : public QAccessibleWidget {
public:
    explicit TabAccessible(SettingsTabButton* button) : QAccessibleWidget(button, QAccessible::PageTab) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name) {
            const QString name = widget()->accessibleName();
            return name.isEmpty() ? button()->text() : name;
        }
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.checkable = false;
        s.checked = false;
        s.selectable = true;
        s.selected = button()->isChecked();
        return s;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override
    {
        if (name == pressAction() && button()->isEnabled()) button()->click();
    }

private:
    QToolButton* button() const { return static_cast<QToolButton*>(widget()); }
};

QAccessibleInterface* factory(const QString& className, QObject* object)
{
    if (!object || !object->isWidgetType()) return nullptr;
    if (className == QLatin1String("SettingsTabButton"))
        return new TabAccessible(static_cast<SettingsTabButton*>(object));
    if (className == QLatin1String("SettingsTabStrip"))
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::PageTabList);
    return nullptr;
}

void install()
{
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        return true;
    }();
    Q_UNUSED(installed);
}

}  // namespace

SettingsTabStrip::SettingsTabStrip(QWidget* parent) : QWidget(parent)
{
    install();
}

SettingsTabButton::SettingsTabButton(QWidget* parent) : QToolButton(parent)
{
    install();
}
