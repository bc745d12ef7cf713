#include "design/DoubleClickGuard.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QWidget>

namespace {

class SecondPressFilter : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject*, QEvent* event) override { return event->type() == QEvent::MouseButtonDblClick; }
};

}  // namespace

void DoubleClickGuard::guardButton(QWidget* widget)
{
    // One filter for every guarded button, living as long as the application.
    static QPointer<SecondPressFilter> filter;
    if (!filter) filter = new SecondPressFilter(QCoreApplication::instance());
    widget->installEventFilter(filter);
}
