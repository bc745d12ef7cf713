#pragma once

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QWidget>

namespace tarnwick::test {

// Which window of ours has the keyboard as `closing` hides, once what was asked before the hide has been
// delivered. A window of ours gives the keyboard back while it is still on screen: once it has hidden,
// the window manager has chosen the next window itself (often another application's).
class KeyboardAtHide : public QObject {
public:
    explicit KeyboardAtHide(QWidget* closing) : m_closing(closing) { closing->installEventFilter(this); }
    QWidget* activeAtHide() const { return m_active; }
    int hides() const { return m_hides; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_closing && event->type() == QEvent::Hide) {
            ++m_hides;
            QCoreApplication::processEvents();
            m_active = QApplication::activeWindow();
        }
        return false;
    }

private:
    QWidget* m_closing;
    QPointer<QWidget> m_active;
    int m_hides = 0;
};

}  // namespace tarnwick::test
