#pragma once

#include <QPointer>
#include <QVariantAnimation>
#include <QWidget>
#include "capture/CaptureCapsuleChrome.h"

#include "capture/CaptureCapsuleController.h"

// The capsule's window: a frameless tool window on top of everything and on every workspace, that
// never takes the focus, so the window the user works in keeps it. It carries the chrome, reports
// hover and clicks to the controller, and, while the capsule is up, reads keys for the whole
// application before any of its windows does.
class CaptureCapsuleView : public QWidget, public CaptureCapsuleController::Surface {
    Q_OBJECT
public:
    explicit CaptureCapsuleView(CaptureCapsuleController& controller);
    ~CaptureCapsuleView() override;

    void present(bool reduceMotion) override;
    void fadeOut(bool reduceMotion, std::function<void()> done) override;
    void orderOut() override;
    void setKeyMonitor(bool installed) override;

    CaptureCapsuleChrome* chrome() const { return m_chrome; }
    // The window title: the message, then ": " and the detail when there is one.
    static QString titleFor(const QString& message, const std::optional<QString>& detail);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void animate(int durationMs, const QEasingCurve& curve, double fromOpacity, double toOpacity, int fromY, int toY,
                 std::function<void()> done);

    CaptureCapsuleController& m_controller;
    QPointer<CaptureCapsuleChrome> m_chrome;
    QVariantAnimation m_animation;
    bool m_monitoring = false;
};
