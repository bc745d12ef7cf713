#include "design/DoubleClickGuard.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QStyleHints>
#include <QWidget>

void DoubleClickGuard::press(const QVariant& target, const QMouseEvent& event)
{
    pressAt(target, event.timestamp(), event.globalPosition());
}

void DoubleClickGuard::doublePress(const QMouseEvent& event)
{
    doublePressAt(event.timestamp(), event.globalPosition());
}

bool DoubleClickGuard::pressAt(const QVariant& target, quint64 timestamp, const QPointF& globalPos)
{
    const QStyleHints* hints = QGuiApplication::styleHints();
    const bool follows = m_inMultiClick && timestamp >= m_lastAt &&
                         timestamp - m_lastAt <= quint64(hints->mouseDoubleClickInterval()) &&
                         (globalPos - m_lastPos).manhattanLength() <= hints->mouseDoubleClickDistance();
    if (!follows) {
        m_inMultiClick = false;
        m_pressed = target;
        return false;
    }
    // The third (or later) press of one click: the next one is measured from here, as the toolkit does.
    m_lastAt = timestamp;
    m_lastPos = globalPos;
    m_pressed = QVariant();
    return true;
}

void DoubleClickGuard::doublePressAt(quint64 timestamp, const QPointF& globalPos)
{
    m_inMultiClick = true;
    m_lastAt = timestamp;
    m_lastPos = globalPos;
    m_pressed = QVariant();
}

namespace {

class SecondPressFilter : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::MouseButtonDblClick) {
            m_clicks.doublePress(static_cast<const QMouseEvent&>(*event));
            return true;
        }
        if (event->type() == QEvent::MouseButtonPress) {
            const auto& press = static_cast<const QMouseEvent&>(*event);
            return m_clicks.pressAt(QVariant(), press.timestamp(), press.globalPosition());
        }
        return false;
    }

private:
    // One for every guarded button: the button pressed again may be a new one, put where the last was.
    DoubleClickGuard m_clicks;
};

}  // namespace

void DoubleClickGuard::guardButton(QWidget* widget)
{
    // One filter for every guarded button, living as long as the application.
    static QPointer<SecondPressFilter> filter;
    if (!filter) filter = new SecondPressFilter(QCoreApplication::instance());
    widget->installEventFilter(filter);
}
