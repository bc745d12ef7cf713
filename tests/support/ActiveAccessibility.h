#pragma once

#include <QAccessible>

namespace tarnwick::test {

// Accessibility switched on for the test's span, as on a desktop whose accessibility bus runs before
// any window is built: the toolkit then makes and keeps a widget's interface as soon as anything about
// it changes, its construction included.
class ActiveAccessibility {
public:
    ActiveAccessibility()
    {
        // As the desktop's bridge does, every event asks for its object's interface.
        m_before = QAccessible::installUpdateHandler([](QAccessibleEvent* event) { event->accessibleInterface(); });
        QAccessible::setActive(true);
    }
    ~ActiveAccessibility()
    {
        QAccessible::setActive(false);
        QAccessible::installUpdateHandler(m_before);
    }
    ActiveAccessibility(const ActiveAccessibility&) = delete;
    ActiveAccessibility& operator=(const ActiveAccessibility&) = delete;

private:
    QAccessible::UpdateHandler m_before = nullptr;
};

}  // namespace tarnwick::test
