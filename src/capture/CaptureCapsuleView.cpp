#include "capture/CaptureCapsuleView.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QKeyEvent>
#include <QPainterPath>
#include <QScreen>

#include "capture/CapsuleGeometry.h"
#include "capture/CaptureCapsuleChrome.h"
#include "platform/EwmhWindowState.h"
#include "platform/KeyScreen.h"

namespace {
QEasingCurve bezier(QPointF c1, QPointF c2)
{
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(c1, c2, {1, 1});
    return curve;
}

// A screen reader speaks a notification when it appears; as a plain window the capsule went unheard.
QAccessibleInterface* capsuleAccessible(const QString&, QObject* object)
{
    if (auto* view = qobject_cast<CaptureCapsuleView*>(object))
        return new QAccessibleWidget(view, QAccessible::Notification);
    return nullptr;
}
}  // namespace

CaptureCapsuleView::CaptureCapsuleView(CaptureCapsuleController& controller)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus),
      m_controller(controller)
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_X11NetWmWindowTypeNotification);
    setFocusPolicy(Qt::NoFocus);
    resize(320, 44);
    static const bool accessibleInstalled = [] {
        QAccessible::installFactory(capsuleAccessible);
        return true;
    }();
    Q_UNUSED(accessibleInstalled);
}

CaptureCapsuleView::~CaptureCapsuleView()
{
    setKeyMonitor(false);
}

QString CaptureCapsuleView::titleFor(const QString& message, const std::optional<QString>& detail)
{
    return detail ? message + QStringLiteral(": ") + *detail : message;
}

void CaptureCapsuleView::present(bool reduceMotion)
{
    m_animation.stop();
    CaptureCapsuleModel& model = m_controller.model();
    const bool composited = EwmhWindowState::compositingManagerRunning();
    QPointer<CaptureCapsuleController> controller(&m_controller);
    CaptureCapsuleChrome::Content content{
        model.message(), model.detail(), model.symbol(), model.tint(),
        CaptureCapsuleChrome::Countdown::ofModel(model, m_controller.clock()),
        // Without a compositor nothing blends behind the pill: it is painted opaque.
        composited ? CaptureCapsuleChrome::Backing::vibrant : CaptureCapsuleChrome::Backing::solid,
        [controller] {
            if (controller) controller->undoAction();
        },
        model.showsUndo()};
    delete m_chrome;
    m_chrome = new CaptureCapsuleChrome(std::move(content), this);
    m_chrome->move(0, 0);
    m_chrome->adjustSize();
    const QSize size = m_chrome->sizeHint().expandedTo(m_chrome->minimumSizeHint());
    m_chrome->resize(size);
    setFixedSize(size);
    // Corners outside the pill would show black without a compositor to blend them away.
    if (composited)
        clearMask();
    else
        setMask(QRegion(m_chrome->outline().toFillPolygon().toPolygon()));
    setWindowTitle(titleFor(model.message(), model.detail()));
    setAccessibleName(windowTitle());

    QScreen* screen = KeyScreen::current();
    QPoint target = pos();
    if (screen) target = CapsuleGeometry::capsuleOrigin(screen->availableGeometry(), size);
    move(reduceMotion ? target : target + QPoint(0, 10));
    setWindowOpacity(0);
    if (!isVisible()) {
        // On every workspace: written before mapping, so the window manager takes it with the window.
        EwmhWindowState::States states = EwmhWindowState::read(winId());
        states.sticky = true;
        EwmhWindowState::apply(winId(), states);
    }
    show();
    raise();
    m_chrome->show();
    animate(reduceMotion ? 120 : 220, bezier({0.2, 0.7}, {0.2, 1.0}), 0, 1, y(), target.y(), {});
}

void CaptureCapsuleView::fadeOut(bool reduceMotion, std::function<void()> done)
{
    m_animation.stop();
    const int from = y();
    animate(180, bezier({0.4, 0.0}, {1.0, 1.0}), windowOpacity(), 0, from, reduceMotion ? from : from + 6,
            std::move(done));
}

void CaptureCapsuleView::orderOut()
{
    m_animation.stop();
    hide();
}

void CaptureCapsuleView::animate(int durationMs, const QEasingCurve& curve, double fromOpacity, double toOpacity,
                                 int fromY, int toY, std::function<void()> done)
{
    m_animation.disconnect(this);
    m_animation.setDuration(durationMs);
    m_animation.setEasingCurve(curve);
    m_animation.setStartValue(0.0);
    m_animation.setEndValue(1.0);
    const int x0 = x();
    connect(&m_animation, &QVariantAnimation::valueChanged, this, [=, this](const QVariant& v) {
        const double t = v.toDouble();
        setWindowOpacity(fromOpacity + (toOpacity - fromOpacity) * t);
        move(x0, int(std::lround(fromY + (toY - fromY) * t)));
    });
    if (done) connect(&m_animation, &QVariantAnimation::finished, this, [done] { done(); });
    m_animation.start();
}

void CaptureCapsuleView::setKeyMonitor(bool installed)
{
    if (installed == m_monitoring || !qApp) return;
    m_monitoring = installed;
    if (installed)
        qApp->installEventFilter(this);
    else
        qApp->removeEventFilter(this);
}

bool CaptureCapsuleView::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool ours =
            (key->key() == Qt::Key_Z && (key->modifiers() & Qt::ControlModifier)) || key->key() == Qt::Key_Escape;
        if (event->type() == QEvent::ShortcutOverride) {
            // Keeps an editor's own Ctrl+Z shortcut from firing; the key press that follows is ours.
            if (ours && m_controller.isShowing()) event->accept();
            return false;
        }
        if (m_controller.handleKey(key->key(), key->modifiers())) return true;
    }
    return QWidget::eventFilter(watched, event);
}

void CaptureCapsuleView::enterEvent(QEnterEvent*)
{
    m_controller.hoverChanged(true);
}

void CaptureCapsuleView::leaveEvent(QEvent*)
{
    m_controller.hoverChanged(false);
}

void CaptureCapsuleView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) return;
    if (m_chrome && m_chrome->isOnUndo(m_chrome->mapFrom(this, event->position().toPoint()))) return;
    if (m_controller.model().showsOpenAffordance()) m_controller.openAction();
}
