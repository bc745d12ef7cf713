#include "onboarding/OnboardingWindow.h"

#include <QCloseEvent>
#include <QCursor>
#include <QEasingCurve>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLayout>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QVariantAnimation>
#include <QWindow>

#include "design/LightPalette.h"
#include "design/SharePrivacy.h"
#include "design/TarnwickTheme.h"
#include "onboarding/KeyPressSequence.h"
#include "onboarding/OnboardingKeycap.h"
#include "onboarding/PracticeTextView.h"
#include "onboarding/TourPlacement.h"
#include "platform/FocusReturn.h"
#include "platform/OwnWindows.h"

namespace {

// The tour's curve: quick to start, long to settle.
QEasingCurve tourCurve()
{
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0.2, 0.7), QPointF(0.2, 1.0), QPointF(1.0, 1.0));
    return curve;
}

// A cheap blur for the few frames of a transition: down-scaled and scaled back up.
QPixmap softened(const QPixmap& source, qreal radius)
{
    if (radius < 0.25 || source.isNull()) return source;
    const qreal factor = 1.0 / (1.0 + radius);
    const QSize small = (QSizeF(source.size()) * factor).toSize().expandedTo(QSize(1, 1));
    QPixmap out = source.scaled(small, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                      .scaled(source.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    out.setDevicePixelRatio(source.devicePixelRatio());
    return out;
}

// A picture of a page without one of its parts, which is drawn live over the picture instead.
QPixmap pictureWithout(QWidget* page, const QWidget* part)
{
    if (!part) return page->grab();
    const qreal ratio = page->devicePixelRatioF();
    QPixmap out(page->size() * ratio);
    out.setDevicePixelRatio(ratio);
    out.fill(Qt::transparent);
    page->render(&out, QPoint(), QRegion(page->rect()) - QRect(part->mapTo(page, QPoint()), part->size()));
    return out;
}

}  // namespace

// Covers the page while one snapshot gives way to the next: the old one drifts left and fades, the new
// one drifts in from the right (with Reduce Motion, or for a change within a page, they only cross-fade).
// A part that animates on its own (the key caps being pressed, sliding over for their check mark) is left
// out of the pictures and drawn live over them, gliding from its old place to its new one.
class OnboardingWindow::Transition : public QWidget {
public:
    Transition(QWidget* parent, QPixmap from, QPixmap to, bool slide, int ms) : QWidget(parent)
    {
        m_from = std::move(from);
        m_to = std::move(to);
        m_slide = slide;
        setGeometry(parent->rect());
        m_animation = new QVariantAnimation(this);
        m_animation->setStartValue(0.0);
        m_animation->setEndValue(1.0);
        m_animation->setDuration(ms);
        m_animation->setEasingCurve(tourCurve());
        connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
            m_t = v.toReal();
            update();
        });
        connect(m_animation, &QVariantAnimation::finished, this, [this] {
            hide();
            deleteLater();
        });
        show();
        raise();
        m_animation->start();
    }
    bool running() const { return m_animation->state() == QAbstractAnimation::Running; }
    // `from` and `to` are the part's frames in this widget before and after the change.
    void carry(QWidget* live, const QRect& from, const QRect& to)
    {
        m_live = live;
        // Centre to centre: the page's old layout may have given the part another width.
        m_liveFrom = QRectF(from).center() - QRectF(QPointF(), QSizeF(to.size())).center();
        m_liveTo = to.topLeft();
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(rect(), TarnwickTheme::paper());
        const qreal shift = m_slide ? 8 : 0, blur = m_slide ? 2 : 0;
        p.setOpacity(1 - m_t);
        p.drawPixmap(QPointF(-shift * m_t, 0), softened(m_from, blur * m_t));
        p.setOpacity(m_t);
        p.drawPixmap(QPointF(shift * (1 - m_t), 0), softened(m_to, blur * (1 - m_t)));
        if (m_live) {
            p.setOpacity(1);
            m_live->render(&p, (m_liveFrom + (m_liveTo - m_liveFrom) * m_t).toPoint());
        }
    }

private:
    QPixmap m_from, m_to;
    QPointer<QWidget> m_live;
    QPointF m_liveFrom, m_liveTo;
    bool m_slide = false;
    qreal m_t = 0;
    QVariantAnimation* m_animation = nullptr;
};

OnboardingWindow::OnboardingWindow(OnboardingController& controller, NotificationCenter& center, Clock& clock,
                                   OnboardingServices services, Options options, QWidget* parent)
    : KeyablePanel(parent), m_controller(&controller), m_services(std::move(services)), m_options(options)
{
    // A normal window rather than a tool window: window managers leave utility windows out of their
    // keyboard switch (Alt+Tab), and a user without a mouse must be able to come back to the tour.
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_DeleteOnClose, false);
    // It takes the keyboard when shown, but Tab walks only its pages' controls: the window itself is
    // no stop the eye could find.
    setFocusPolicy(Qt::ClickFocus);
    setFixedSize(kWidth, kHeight);
    if (m_options.composited) setAttribute(Qt::WA_TranslucentBackground);
    // The tour always draws in the light scheme, whatever the desktop's, on the paper of its pages.
    QPalette light = LightPalette::make();
    for (auto group : {QPalette::Active, QPalette::Inactive})
        light.setColor(group, QPalette::Window, TarnwickTheme::paper());
    setPalette(light);

    m_flow = std::make_unique<OnboardingFlowModel>(center, *m_services.settings, controller.practice(),
                                                   m_options.captureAvailable);
    m_press = new KeyPressSequence(clock, m_options.reduceMotion, this);
    m_host = new QWidget(this);
    m_host->setGeometry(rect());

    connect(m_flow.get(), &OnboardingFlowModel::screenChanged, this, [this] { showPage(!m_options.reduceMotion); });
    connect(m_flow.get(), &OnboardingFlowModel::pageChanged, this, &OnboardingWindow::pageChanged);
    connect(m_flow.get(), &OnboardingFlowModel::earned, this, [this] {
        if (m_page.keycap) m_press->play(int(m_page.keycap->keys().size()));
    });
    connect(m_flow.get(), &OnboardingFlowModel::finished, this, [this] {
        if (m_controller) m_controller->finish();
    });
    showPage(false);
}

OnboardingWindow::~OnboardingWindow()
{
    stopWatchingKeyboard();
}

void OnboardingWindow::showPage(bool slide, bool sameScreen)
{
    setWindowTitle(m_flow->windowTitle());
    // Where the shelf will hang is known only once the tray has taken its icon, which may be after the
    // tour first showed at launch: each new page checks the tour still stands clear.
    if (isVisible() && m_page.widget) place();
    // Key caps that stay on the page across the change go on moving where the user sees them: they are
    // kept out of the pictures and drawn live over them (with Reduce Motion nothing of theirs moves, and
    // they cross-fade with the rest).
    const QPointer<OnboardingKeycap> oldKeys = sameScreen ? m_page.keycap : QPointer<OnboardingKeycap>();
    const bool liveKeys = oldKeys && !m_options.reduceMotion && isVisible();
    QPixmap before;
    QRect keysBefore;
    if (m_page.widget) {
        if (isVisible()) before = pictureWithout(m_page.widget, liveKeys ? oldKeys.data() : nullptr);
        if (liveKeys) keysBefore = QRect(oldKeys->mapTo(this, QPoint()), oldKeys->size());
        // The page on its way out takes no more input: only its picture moves. It goes on a later turn, as
        // the change may come from one of its own buttons.
        m_page.widget->hide();
        m_page.widget->deleteLater();
        m_page = {};
    }
    m_pageShape = pageShape();
    m_page = OnboardingScreens::build(*m_flow, m_services, m_press, m_options.reduceMotion, m_host);
    if (oldKeys && m_page.keycap) m_page.keycap->continueFrom(*oldKeys);
    m_page.widget->setGeometry(m_host->rect());
    m_page.widget->show();
    if (QLayout* layout = m_page.widget->layout()) layout->activate();
    if (!before.isNull()) {
        if (m_transition) m_transition->deleteLater();
        OnboardingKeycap* keys = liveKeys ? m_page.keycap.data() : nullptr;
        m_transition = new Transition(this, before, pictureWithout(m_page.widget, keys), slide,
                                      slide ? kTransitionMs : (m_options.reduceMotion ? kTransitionMs : kPageChangeMs));
        if (keys) {
            m_transition->carry(keys, keysBefore, QRect(keys->mapTo(this, QPoint()), keys->size()));
            connect(m_press, &KeyPressSequence::changed, m_transition, qOverload<>(&QWidget::update));
            connect(keys, &OnboardingKeycap::drawingChanged, m_transition, qOverload<>(&QWidget::update));
        }
    }
    focusPage();
}

bool OnboardingWindow::changingPage() const
{
    return m_transition && m_transition->running();
}

QString OnboardingWindow::pageShape() const
{
    const OnboardingFlowModel::Page shown = m_flow->page();
    return QStringLiteral("%1|%2|%3|%4")
        .arg(int(m_flow->screen()))
        .arg(shown.primaryButton)
        .arg(int(shown.captureGroup))
        .arg(shown.keysEarned);
}

void OnboardingWindow::pageChanged()
{
    if (pageShape() != m_pageShape) {
        showPage(false, true);
        return;
    }
    const OnboardingFlowModel::Page shown = m_flow->page();
    // Same page: the keys wake or sleep and the listening line follows the practice selection.
    if (m_page.keycap) {
        m_page.keycap->setEarned(shown.keysEarned);
        m_page.keycap->setAsleep(shown.keysAsleep);
    }
    if (m_page.listening && shown.listening) m_page.listening->setLabel(*shown.listening, shown.listeningUrgent);
}

void OnboardingWindow::focusPage()
{
    // The practice field takes the keyboard so Ctrl+A selects its sentence; elsewhere the page itself
    // has it, so the first Tab reaches the page's first control.
    if (m_page.field)
        m_page.field->setFocus(Qt::OtherFocusReason);
    else
        setFocus(Qt::OtherFocusReason);
}

void OnboardingWindow::place()
{
    QScreen* screen = QGuiApplication::screenAt(isVisible() ? geometry().center() : QCursor::pos());
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QPoint at = TourPlacement::topLeft(screen->availableGeometry(), size(),
                                             m_services.keepClear ? m_services.keepClear() : QList<QRect>());
    if (at != pos()) move(at);
}

void OnboardingWindow::present()
{
    place();
    if (m_services.settings) SharePrivacy::apply(QList<QObject*>{this}, *m_services.settings);
    winId();
    // Shown on the user's request (Replay) over the settings window: the same level as our other windows.
    if (m_services.settings)
        OwnWindows::adopt(this, *m_services.settings,
                          {.aboveWhileActive = true,
                           .hideOnClose = false,
                           .taskbar = OwnWindows::Options::Taskbar::always,
                           .givesKeyboardBack = true});
    watchKeyboard();
    bringToFront();
}

void OnboardingWindow::watchKeyboard()
{
    if (m_keyboard || !qApp) return;
    m_keyboard.emplace(windowHandle());
    // A dialog or popup of a note gives the keyboard back to that note itself.
    auto handsBack = [](const QWindow* window) {
        return window && (window->type() == Qt::Popup || window->type() == Qt::ToolTip || window->transientParent());
    };
    const QWindow* now = QGuiApplication::focusWindow();
    m_keyboard->keyboardMoved(now, handsBack(now));
    connect(qGuiApp, &QGuiApplication::focusWindowChanged, this,
            [this, handsBack](QWindow* window) { m_keyboard->keyboardMoved(window, handsBack(window)); });
    // Every hide of a window of ours passes here while the tour is open.
    qApp->installEventFilter(this);
}

void OnboardingWindow::stopWatchingKeyboard()
{
    if (!m_keyboard) return;
    if (qApp) qApp->removeEventFilter(this);
    if (qGuiApp) disconnect(qGuiApp, &QGuiApplication::focusWindowChanged, this, nullptr);
    m_keyboard.reset();
}

bool OnboardingWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::Hide || !m_keyboard || m_discarded) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || !widget->isWindow() || widget == this) return false;
    if (m_keyboard->windowGone(widget->windowHandle())) {
        // Sent after the window's unmap, so the window manager's own choice (often nothing) comes first.
        FocusReturn::activateForUser(this);
        focusPage();
    }
    return false;
}

void OnboardingWindow::bringToFront()
{
    if (OwnWindows::isAdopted(this)) {
        OwnWindows::present(this);
        setFocus(Qt::ActiveWindowFocusReason);
    } else {
        showAndFocus();
    }
    focusPage();
}

void OnboardingWindow::discard()
{
    m_discarded = true;
    stopWatchingKeyboard();
    // Replayed over the settings window, the tour hands the keyboard back to it as it goes.
    OwnWindows::dismiss(this);
    deleteLater();
}

void OnboardingWindow::keyPressEvent(QKeyEvent* event)
{
    if (OnboardingController::isQuitChord(event->key(), event->modifiers())) {
        event->accept();
        if (m_controller) m_controller->quit();
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        // A held key repeats: only its first press counts, or holding Return would run through the tour.
        if (event->isAutoRepeat() || m_discarded) return;
        if (m_page.primary && m_page.primary->isEnabled()) m_page.primary->click();
        return;
    }
    KeyablePanel::keyPressEvent(event);
}

void OnboardingWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    if (m_discarded) return;
    // Closed by the window manager: the tour ends without being completed.
    if (m_controller) m_controller->panelClosed();
}

void OnboardingWindow::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), kRadius, kRadius);
    p.fillPath(shape, TarnwickTheme::paper());
}

void OnboardingWindow::resizeEvent(QResizeEvent* event)
{
    // Without a compositor the corners are cut with a mask.
    if (!m_options.composited) {
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()), kRadius, kRadius);
        setMask(QRegion(shape.toFillPolygon().toPolygon()));
    }
    if (m_host) m_host->setGeometry(rect());
    KeyablePanel::resizeEvent(event);
}
