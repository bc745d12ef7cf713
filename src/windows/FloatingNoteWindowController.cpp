#include "windows/FloatingNoteWindowController.h"

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QScreen>
#include <QVariantAnimation>
#include <QWheelEvent>
#include <QWindow>
#include <algorithm>
#include <cmath>

#include "model/Note.h"
#include "model/NoteNotifications.h"
#include "platform/Clock.h"
#include "platform/EwmhWindowState.h"
#include "platform/Settings.h"
#include "platform/WindowStates.h"
#include "store/NoteStore.h"
#include "windows/FloatingNotePanel.h"
#include "windows/FloatingNotesManager.h"
#include "windows/NoteWindowGeometry.h"
#include "windows/NoteWindowKeys.h"
#include "windows/ScreenRescue.h"

namespace G = NoteWindowGeometry;

namespace {

constexpr int liveResizeQuietMs = 250;
constexpr int frameAnimationMs = 200;

std::optional<QRectF> availableOf(QScreen* screen)
{
    if (!screen) return std::nullopt;
    return QRectF(screen->availableGeometry());
}

QList<QRectF> availableFrames()
{
    QList<QRectF> frames;
    for (const ScreenRescue::Screen& screen : ScreenRescue::screens()) frames.append(screen.availableFrame);
    return frames;
}

// A number from a notification: any numeric type, finite.
std::optional<double> numberIn(const QVariantMap& info, const char* key)
{
    const QVariant v = info.value(QLatin1String(key));
    switch (v.typeId()) {
        case QMetaType::Double:
        case QMetaType::Float:
        case QMetaType::Int:
        case QMetaType::LongLong: {
            const double d = v.toDouble();
            if (std::isfinite(d)) return d;
            return std::nullopt;
        }
        default:
            return std::nullopt;
    }
}

std::optional<bool> boolIn(const QVariantMap& info, const char* key)
{
    const QVariant v = info.value(QLatin1String(key));
    if (v.typeId() != QMetaType::Bool) return std::nullopt;
    return v.toBool();
}

SwipeTracker::EventPhase phaseOf(Qt::ScrollPhase phase)
{
    switch (phase) {
        case Qt::ScrollBegin:
            return SwipeTracker::EventPhase::began;
        case Qt::ScrollUpdate:
            return SwipeTracker::EventPhase::changed;
        case Qt::ScrollEnd:
            return SwipeTracker::EventPhase::ended;
        default:
            return SwipeTracker::EventPhase::none;
    }
}

}  // namespace

QSizeF FloatingNoteWindowController::globalNoteSize(const Settings& settings)
{
    return G::globalNoteSize(settings, G::maximumSize(availableOf(ScreenRescue::preferredScreen())));
}

QRectF FloatingNoteWindowController::newNoteFrame(const Settings& settings)
{
    QList<QRectF> frames;
    for (const ScreenRescue::Screen& screen : ScreenRescue::screens()) frames.append(screen.frame);
    return G::firstFrame({std::nullopt, globalNoteSize(settings), availableOf(ScreenRescue::preferredScreen()), frames,
                          availableFrames()});
}

double FloatingNoteWindowController::defaultOpacity(const Settings& settings)
{
    const QVariant v = settings.value(QStringLiteral("general.defaultOpacityValue"));
    const bool number =
        v.typeId() == QMetaType::Double || v.typeId() == QMetaType::Int || v.typeId() == QMetaType::LongLong;
    const double d = number ? v.toDouble() : 1.0;
    return std::isfinite(d) ? std::clamp(d, 0.0, 1.0) : 1.0;
}

QString FloatingNoteWindowController::titleFor(const Note& note)
{
    return note.isLocked() ? note.lockedTitle() : note.displayTitle();
}

FloatingNoteWindowController::FloatingNoteWindowController(Note& note, NoteStore& store, Settings& settings,
                                                           Clock& clock, DeckRootView::CardFactory makeCard)
    : m_noteID(note.uuid()), m_store(store), m_settings(settings), m_model(&note), m_swipe(*this, m_model, clock)
{
    m_cursor = [] { return QPointF(QCursor::pos()); };
    const bool translucent = EwmhWindowState::compositingManagerRunning();
    m_panel = std::make_unique<FloatingNotePanel>(FloatingNotesManager::globalFloatOnTop(settings), translucent);
    if (!makeCard) {
        // The note view is not here yet: until it is, each card is a plain sheet with the title.
        makeCard = [&store, translucent](QWidget* parent) -> DeckCard* {
            return new PlaceholderNoteCard(store, translucent, parent);
        };
    }
    m_view = new DeckRootView(m_model, std::move(makeCard), translucent, m_panel.get());
    m_model.setOpacity(defaultOpacity(settings));

    // The first frame: the saved corner with the shared size, rescued onto a screen.
    QList<QRectF> frames;
    for (const ScreenRescue::Screen& screen : ScreenRescue::screens()) frames.append(screen.frame);
    const std::optional<QRectF> preferred = availableOf(ScreenRescue::preferredScreen());
    const QRectF first =
        G::firstFrame({note.frameOnDesktop(), globalNoteSize(settings), preferred, frames, availableFrames()});
    ++m_settingFrame;
    m_panel->setGeometry(first.toRect());
    --m_settingFrame;
    m_view->setGeometry(m_panel->rect());

    // The limits follow the screen the window is on.
    m_panel->winId();
    if (QWindow* window = m_panel->windowHandle())
        connect(window, &QWindow::screenChanged, this, &FloatingNoteWindowController::applySizeBounds);
    connect(m_panel.get(), &FloatingNotePanel::moved, this, &FloatingNoteWindowController::onMoved);
    connect(m_panel.get(), &FloatingNotePanel::resized, this, &FloatingNoteWindowController::onResized);
    connect(m_panel.get(), &FloatingNotePanel::activationChanged, this,
            &FloatingNoteWindowController::onActivationChanged);
    connect(m_panel.get(), &FloatingNotePanel::edgeResizeStarted, this, [this] {
        m_liveResize = true;
        m_liveResizeEnd.start();
    });
    m_liveResizeEnd.setSingleShot(true);
    m_liveResizeEnd.setInterval(liveResizeQuietMs);
    connect(&m_liveResizeEnd, &QTimer::timeout, this, &FloatingNoteWindowController::endLiveResize);
    connect(&m_store, &NoteStore::revisionChanged, this, &FloatingNoteWindowController::updateTitle);
    connect(&m_model, &DeckModel::noteChanged, this, [this] { watchNote(m_model.note()); });
    watchNote(&note);

    applySizeBounds();
    installObservers();
    qApp->installEventFilter(this);

    if (note.frameOnDesktop() != frame()) {
        note.setFrameOnDesktop(frame());
        m_store.autosaveNow();
    }
}

FloatingNoteWindowController::~FloatingNoteWindowController()
{
    if (qApp) qApp->removeEventFilter(this);
    // Animations and the view go with the panel; stop them first so none calls back into a half-gone
    // controller.
    if (m_frameAnimation) m_frameAnimation->stop();
    if (m_offsetAnimation) m_offsetAnimation->stop();
}

void FloatingNoteWindowController::setManager(FloatingNotesManager* manager)
{
    m_manager = manager;
}

void FloatingNoteWindowController::installObservers()
{
    NotificationCenter& center = m_store.notifications();
    m_zoomObserver = center.observe(
        tarnwickToggleZoom,
        [this](const Notification& n) {
            if (concernsMe(n)) toggleZoom();
        },
        QString(), this);
    m_dragObserver = center.observe(
        tarnwickDragNote,
        [this](const Notification& n) {
            if (!concernsMe(n)) return;
            const auto dx = numberIn(n.userInfo, "dx"), dy = numberIn(n.userInfo, "dy");
            const auto ended = boolIn(n.userInfo, "ended");
            if (dx && dy && ended) dragStep(*dx, *dy, *ended);
        },
        QString(), this);
    m_rollObserver = center.observe(
        tarnwickToggleRollUp,
        [this](const Notification& n) {
            if (concernsMe(n)) toggleRollUp();
        },
        QString(), this);
    m_resizeObserver = center.observe(
        tarnwickResizeDrag,
        [this](const Notification& n) {
            if (!concernsMe(n)) return;
            const auto dx = numberIn(n.userInfo, "dx"), dy = numberIn(n.userInfo, "dy");
            const auto ended = boolIn(n.userInfo, "ended");
            if (dx && dy && ended) handleResizeDrag(*dx, *dy, *ended);
        },
        QString(), this);
}

bool FloatingNoteWindowController::concernsMe(const Notification& notification) const
{
    const QUuid id = QUuid::fromString(notification.object);
    return !id.isNull() && id == m_noteID;
}

// ---- NoteWindow ----

void FloatingNoteWindowController::applyFloatOnTop(bool floating)
{
    // QWidget::setWindowFlags would unmap and recreate the window; the QWindow's flags reach the
    // window manager in place and are what Qt reads again when the window is next mapped.
    Qt::WindowFlags flags = m_panel->windowFlags();
    flags.setFlag(Qt::WindowStaysOnTopHint, floating);
    m_panel->overrideWindowFlags(flags);
    QWindow* window = m_panel->windowHandle();
    if (!window) return;
    window->setFlags(flags);
    EwmhWindowState::States states = EwmhWindowState::read(m_panel->winId());
    states.above = floating;
    states.sticky = floating;
    EwmhWindowState::apply(m_panel->winId(), states);
}

void FloatingNoteWindowController::show()
{
    if (!m_panel->isVisible()) {
        const bool floating = FloatingNotesManager::globalFloatOnTop(m_settings);
        // Written before mapping; the window manager reads them when it takes the window.
        const bool skip = !WindowStates::showsInTaskbar(m_settings);
        EwmhWindowState::apply(m_panel->winId(), {floating, floating, skip, skip});
        // Remembered, so a change of the setting reaches this window too.
        if (QWindow* window = m_panel->windowHandle()) WindowStates::applyTaskbarPresence(window, m_settings);
    }
    m_panel->show();
    m_panel->raise();
    m_panel->activateWindow();
    if (QWindow* window = m_panel->windowHandle()) window->requestActivate();
    m_model.setIsKey(m_panel->isActiveWindow());
}

void FloatingNoteWindowController::present(const QUuid& noteID, int direction, bool interactive)
{
    if (noteID == m_noteID) return;
    Note* next = m_store.note(noteID);
    if (!next) return;
    m_noteID = noteID;
    clearDragState();
    m_model.setSlideDirection(direction);
    m_model.setNote(next);
    if (!interactive) {
        const double w = std::max<double>(m_panel->width(), 1);
        m_model.setPeekNote(nullptr);
        m_model.setDragOffset(direction >= 1 ? w : -w);
        animateDragOffset(0, 0.26, {});
    }
    m_model.setIsKey(m_panel->isActiveWindow());
}

void FloatingNoteWindowController::unroll()
{
    if (m_isRolled) unrollNow();
}

void FloatingNoteWindowController::orderOut()
{
    clearDragState();
    m_panel->hide();
}

void FloatingNoteWindowController::applyOpacity(double value)
{
    if (!std::isfinite(value)) return;
    m_model.setOpacity(std::clamp(value, 0.0, 1.0));
}

QRectF FloatingNoteWindowController::frame() const
{
    return QRectF(m_panel->geometry());
}

QRectF FloatingNoteWindowController::restingFrame() const
{
    return m_isRolled && m_expandedFrame ? *m_expandedFrame : frame();
}

bool FloatingNoteWindowController::fitToScreen()
{
    return fitSize();
}

void FloatingNoteWindowController::moveForRescue(const QRectF& target, std::function<void()> landed)
{
    if (!G::isFinite(target)) return;
    // A popover of the note would stay where the screen was: it closes (innermost first).
    const auto ours = [this](const QWidget* popup) {
        for (const QWidget* w = popup; w; w = w->parentWidget())
            if (w == m_panel.get()) return true;
        return false;
    };
    while (QWidget* popup = QApplication::activePopupWidget()) {
        if (!ours(popup) || !popup->close()) break;
    }
    if (m_isRolled && m_expandedFrame) m_expandedFrame->moveTopLeft(target.topLeft());
    setFrame(target, true, std::move(landed));
}

void FloatingNoteWindowController::retire()
{
    orderOut();
    m_manager = nullptr;
    // Deaf from now on, even if the event loop never comes round to deleting it (at quit).
    if (qApp) qApp->removeEventFilter(this);
    m_zoomObserver.reset();
    m_dragObserver.reset();
    m_rollObserver.reset();
    m_resizeObserver.reset();
    deleteLater();
}

// ---- Frames and sizes ----

QSizeF FloatingNoteWindowController::clampedMaxSize() const
{
    QScreen* screen = m_panel->screen();
    if (!screen) screen = QGuiApplication::primaryScreen();
    return G::maximumSize(availableOf(screen));
}

void FloatingNoteWindowController::applySizeLimits()
{
    const QSizeF max = clampedMaxSize();
    if (m_isRolled) {
        m_panel->setMinimumSize(int(G::minimumSize.width()), int(G::rolledHeight));
        m_panel->setMaximumSize(int(max.width()), int(G::rolledHeight));
    } else {
        m_panel->setMinimumSize(G::minimumSize.toSize());
        m_panel->setMaximumSize(std::max(int(max.width()), int(G::minimumSize.width())),
                                std::max(int(max.height()), int(G::minimumSize.height())));
    }
}

void FloatingNoteWindowController::applySizeBounds()
{
    if (fitSize() && !m_isRolled) saveFrame();
}

bool FloatingNoteWindowController::fitSize()
{
    const QRectF current = frame();
    const QSizeF max = clampedMaxSize();
    QSizeF size = G::clampedSize(current.size(), max);
    if (m_isRolled) size.setHeight(G::rolledHeight);
    applySizeLimits();
    if (size == current.size()) return false;
    // setFrame keeps it within the screens' area as well: a window zoomed on a larger screen keeps its
    // corner only where the smaller one leaves room for it.
    setFrame(G::keepingTopLeft(current, size), false);
    return frame() != current;
}

void FloatingNoteWindowController::setFrame(const QRectF& requested, bool animate, std::function<void()> done)
{
    if (!G::isFinite(requested)) return;
    // No frame the window takes leaves the area the screens cover.
    const QRect target = ScreenRescue::contained(requested, ScreenRescue::containmentBounds()).toRect();
    if (m_frameAnimation) {
        m_frameAnimation->stop();
        m_frameAnimation->deleteLater();
        m_frameAnimation = nullptr;
    }
    auto place = [this](const QRect& rect) {
        ++m_settingFrame;
        m_panel->setGeometry(rect);
        m_view->setGeometry(m_panel->rect());
        --m_settingFrame;
    };
    if (!animate || !m_animate || !m_panel->isVisible()) {
        place(target);
        applySizeLimits();
        if (done) done();
        return;
    }
    // The limits would clip the steps of a roll-up or zoom; they come back when the animation ends.
    m_panel->setMinimumSize(1, 1);
    m_panel->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    auto* animation = new QVariantAnimation(this);
    m_frameAnimation = animation;
    animation->setDuration(frameAnimationMs);
    animation->setEasingCurve(QEasingCurve::OutCubic);
    animation->setStartValue(m_panel->geometry());
    animation->setEndValue(target);
    connect(animation, &QVariantAnimation::valueChanged, this, [place](const QVariant& v) { place(v.toRect()); });
    connect(animation, &QVariantAnimation::finished, this, [this, animation, place, target, done] {
        place(target);
        applySizeLimits();
        if (m_frameAnimation == animation) m_frameAnimation = nullptr;
        animation->deleteLater();
        if (done) done();
    });
    animation->start();
}

void FloatingNoteWindowController::saveFrame()
{
    Note* note = m_store.note(m_noteID);
    if (!note) return;
    const QRectF current = frame();
    if (note->frameOnDesktop() == current) return;
    note->setFrameOnDesktop(current);
    m_store.autosaveNow();
}

void FloatingNoteWindowController::writeSharedSize()
{
    const QRectF current = frame();
    m_settings.setValue(QStringLiteral("notes.windowWidth"), current.width());
    m_settings.setValue(QStringLiteral("notes.windowHeight"), current.height());
}

void FloatingNoteWindowController::clearDragState()
{
    m_dragOrigin.reset();
    m_dragMouseStart.reset();
    m_isGripResizing = false;
}

// ---- Window commands ----

void FloatingNoteWindowController::unrollNow()
{
    m_isRolled = false;
    m_model.setIsRolled(false);
    applySizeLimits();
    if (m_expandedFrame) setFrame(*m_expandedFrame, false);
    m_expandedFrame.reset();
}

void FloatingNoteWindowController::toggleZoom()
{
    // A rolled window unrolls first, so the zoom starts from the frame the user knows.
    if (m_isRolled) unrollNow();
    const G::Zoom zoom = G::toggleZoom(frame(), clampedMaxSize(), m_lastUserFrame);
    m_lastUserFrame = zoom.lastUserFrame;
    QPointer<FloatingNoteWindowController> self(this);
    setFrame(zoom.target, true, [self] {
        if (self && !self->m_isRolled) self->saveFrame();
    });
}

void FloatingNoteWindowController::toggleRollUp()
{
    QPointer<FloatingNoteWindowController> self(this);
    if (m_isRolled) {
        m_isRolled = false;
        applySizeLimits();
        if (m_expandedFrame)
            setFrame(*m_expandedFrame, true, [self] {
                if (self && !self->m_isRolled) self->saveFrame();
            });
        m_expandedFrame.reset();
        m_model.setIsRolled(false);
        return;
    }
    m_expandedFrame = frame();
    m_isRolled = true;
    setFrame(G::rolledFrame(frame()), true);
    m_model.setIsRolled(true);
}

void FloatingNoteWindowController::handleResizeDrag(double dx, double dy, bool ended)
{
    if (!ended) {
        if (m_isRolled) return;
        m_isGripResizing = true;
        if (const auto resized = G::gripResized(frame(), dx, dy, clampedMaxSize())) setFrame(*resized, false);
        return;
    }
    const bool wasResizing = m_isGripResizing;
    m_isGripResizing = false;
    if (!wasResizing || m_isRolled) return;
    writeSharedSize();
    saveFrame();
}

void FloatingNoteWindowController::dragStep(double dx, double dy, bool ended)
{
    const QPointF mouse = m_cursor();
    if (!m_dragOrigin) {
        m_dragOrigin = frame().topLeft();
        m_dragMouseStart = G::dragMouseStart(mouse, dx, dy);
    }
    const QPointF origin = G::draggedOrigin(*m_dragOrigin, *m_dragMouseStart, mouse);
    setFrame(QRectF(origin, frame().size()), false);
    if (!ended) return;
    m_dragOrigin.reset();
    m_dragMouseStart.reset();
    // A drag may leave the strip between two screens of different heights: bring it back onto one.
    if (const auto preferred = availableOf(ScreenRescue::preferredScreen())) {
        const QRectF rescued = ScreenRescue::rescue(frame(), availableFrames(), *preferred);
        if (rescued != frame()) {
            QPointer<FloatingNoteWindowController> self(this);
            setFrame(rescued, true, [self] {
                if (self && !self->m_isRolled) self->saveFrame();
            });
            return;
        }
    }
    if (!m_isRolled) saveFrame();
}

// ---- Window events ----

void FloatingNoteWindowController::onMoved()
{
    if (m_settingFrame || m_dragOrigin || m_isRolled || m_liveResize || m_frameAnimation) return;
    // The window manager's nudge of a window the screens left behind: the rescue saves where it lands.
    if (m_manager && m_manager->rescuePending()) {
        m_movedDuringRescue = true;
        return;
    }
    saveFrame();
}

void FloatingNoteWindowController::onResized()
{
    m_view->setGeometry(m_panel->rect());
    if (m_liveResize) {
        m_liveResizeEnd.start();
        return;
    }
    if (m_settingFrame || m_isGripResizing || m_isRolled || m_frameAnimation) return;
    saveFrame();
}

void FloatingNoteWindowController::endLiveResize()
{
    m_liveResize = false;
    if (m_isRolled) return;
    writeSharedSize();
    saveFrame();
}

void FloatingNoteWindowController::onActivationChanged(bool active)
{
    if (active) {
        m_store.setActiveNoteID(m_noteID);
    } else {
        clearDragState();
    }
    m_model.setIsKey(active);
}

void FloatingNoteWindowController::updateTitle()
{
    if (const Note* note = m_model.note()) m_panel->setWindowTitle(titleFor(*note));
}

void FloatingNoteWindowController::watchNote(Note* note)
{
    disconnect(m_noteWatch);
    if (note) m_noteWatch = connect(note, &ManagedObject::attributeChanged, this, [this] { updateTitle(); });
    updateTitle();
}

// ---- Keys and wheel ----

bool FloatingNoteWindowController::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::Wheel && type != QEvent::MouseButtonPress) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != m_panel.get()) return false;
    switch (type) {
        case QEvent::KeyPress:
            return handleKey(static_cast<QKeyEvent*>(event));
        case QEvent::Wheel:
            return handleWheel(static_cast<QWheelEvent*>(event));
        case QEvent::MouseButtonPress: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() != Qt::LeftButton) return false;
            return m_panel->beginEdgeResize(m_panel->mapFromGlobal(mouse->globalPosition().toPoint()));
        }
        default:
            return false;
    }
}

bool FloatingNoteWindowController::handleKey(QKeyEvent* event)
{
    if (!m_panel->isActiveWindow()) return false;
    using C = NoteWindowKeys::Command;
    const C command = NoteWindowKeys::commandFor(event->key(), event->modifiers());
    QPointer<FloatingNotesManager> manager = m_manager;
    switch (command) {
        case C::none:
            return false;
        case C::previousNote:
        case C::nextNote:
            if (manager) manager->commitSwipe(*this, command == C::previousNote ? -1 : 1, false);
            return true;
        case C::closeNote:
            if (manager) manager->closeNote(m_noteID);
            return true;
        case C::find:
            // The find bar of the note shown (a card sliding out may still be in the window).
            for (DeckCard* card : m_panel->findChildren<DeckCard*>())
                if (card->isVisible() && card->showFindBar()) break;
            return true;
        case C::toggleSearchPalette:
            m_store.notifications().post(tarnwickToggleSearchPalette);
            return true;
    }
    return false;
}

bool FloatingNoteWindowController::handleWheel(QWheelEvent* event)
{
    const WheelSeen seen{event->timestamp(), event->globalPosition(), event->angleDelta(), event->pixelDelta()};
    if (seen.timestamp == m_lastWheel.timestamp && seen.position == m_lastWheel.position &&
        seen.angleDelta == m_lastWheel.angleDelta && seen.pixelDelta == m_lastWheel.pixelDelta)
        return false;
    m_lastWheel = seen;
    const bool precise = !event->pixelDelta().isNull();
    const double dx = precise ? event->pixelDelta().x() : event->angleDelta().x() / 120.0;
    const double dy = precise ? event->pixelDelta().y() : event->angleDelta().y() / 120.0;
    const Qt::ScrollPhase phase = event->phase();
    const auto momentum =
        phase == Qt::ScrollMomentum ? SwipeTracker::EventPhase::changed : SwipeTracker::EventPhase::none;
    return m_swipe.handleScroll(true, dx, dy, phaseOf(phase), momentum, precise);
}

// ---- SwipeHost ----

bool FloatingNoteWindowController::swipesEnabled() const
{
    return !m_isRolled && FloatingNotesManager::oneNoteAtATime(m_settings);
}

double FloatingNoteWindowController::windowWidth() const
{
    return m_panel->width();
}

QList<QUuid> FloatingNoteWindowController::deck()
{
    return m_manager ? m_manager->deck() : QList<QUuid>();
}

Note* FloatingNoteWindowController::note(const QUuid& id)
{
    return m_store.note(id);
}

qint64 FloatingNoteWindowController::storeRevision() const
{
    return m_store.revision();
}

QColor FloatingNoteWindowController::newNotePaper()
{
    return m_store.defaultTheme().paper;
}

void FloatingNoteWindowController::animateDragOffset(double to, double seconds, std::function<void()> done)
{
    if (m_offsetAnimation) {
        m_offsetAnimation->stop();
        m_offsetAnimation->deleteLater();
        m_offsetAnimation = nullptr;
    }
    if (!m_animate || !m_panel->isVisible()) {
        m_model.setDragOffset(to);
        if (done) done();
        return;
    }
    auto* animation = new QVariantAnimation(this);
    m_offsetAnimation = animation;
    animation->setDuration(std::max(1, int(seconds * 1000)));
    animation->setEasingCurve(QEasingCurve::OutCubic);
    animation->setStartValue(m_model.dragOffset());
    animation->setEndValue(to);
    connect(animation, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& v) { m_model.setDragOffset(v.toDouble()); });
    connect(animation, &QVariantAnimation::finished, this, [this, animation, to, done] {
        m_model.setDragOffset(to);
        if (m_offsetAnimation == animation) m_offsetAnimation = nullptr;
        animation->deleteLater();
        if (done) done();
    });
    animation->start();
}

void FloatingNoteWindowController::moveToNote(const QUuid& id, int direction)
{
    if (m_manager) m_manager->moveToNote(id, *this, direction);
}

void FloatingNoteWindowController::commitNewNote()
{
    if (m_manager) m_manager->commitNewNote(*this);
}
