#include "platform/OwnWindows.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QMessageBox>
#include <QScreen>
#include <QScrollArea>
#include <QTimer>
#include <QWindow>
#include <algorithm>

#include "platform/EwmhWindowState.h"
#include "platform/FocusReturn.h"
#include "platform/ScreenChanges.h"
#include "platform/Settings.h"
#include "platform/WindowStates.h"

namespace {

constexpr const char* kOrderProperty = "tarnwickRequestOrder";
constexpr const char* kNaturalSizeProperty = "tarnwickNaturalSize";
constexpr const char* kQuestionKeeper = "tarnwickQuestion";
quint64 lastOrder = 0;
// The window manager's frame around our last mapped decorated window: the guess for the next one
// until its own is known.
QMargins lastDecoration;

bool decorated(const QWidget* window)
{
    const Qt::WindowType type = window->windowType();
    return !window->windowFlags().testFlag(Qt::FramelessWindowHint) && type != Qt::Popup && type != Qt::ToolTip &&
           type != Qt::SplashScreen;
}

// The frame's margins, and whether they are the window manager's own rather than a guess.
std::pair<QMargins, bool> decorationOf(const QWidget* window)
{
    if (!decorated(window)) return {{}, true};
    if (const QWindow* handle = window->windowHandle(); handle && window->isVisible()) {
        const QMargins margins = handle->frameMargins();
        if (!margins.isNull()) {
            lastDecoration = margins;
            return {margins, true};
        }
    }
    // Before it is framed, the window manager says what its frame will be.
    if (window->testAttribute(Qt::WA_WState_Created) && lastDecoration.isNull())
        lastDecoration = EwmhWindowState::frameExtents(window->winId());
    return {lastDecoration, false};
}

// A focused control inside a scroll area of our windows is scrolled into view, however the focus came.
void scrollFocusIntoView(QWidget* now)
{
    if (!now || !OwnWindows::isAdopted(now->window())) return;
    for (QWidget* parent = now->parentWidget(); parent; parent = parent->parentWidget()) {
        auto* area = qobject_cast<QScrollArea*>(parent);
        if (area && area->widget() && area->widget()->isAncestorOf(now)) {
            area->ensureWidgetVisible(now, 8, 8);
            return;
        }
    }
}

bool applicationActive()
{
    return QGuiApplication::applicationState() == Qt::ApplicationActive;
}

// Puts `window` in the window manager's above layer or takes it out of it; whether that changed.
bool setAbove(QWidget* window, bool above)
{
    EwmhWindowState::States states = EwmhWindowState::read(window->winId());
    if (states.above == above) return false;
    states.above = above;
    EwmhWindowState::apply(window->winId(), states);
    return true;
}

void stamp(QWidget* window)
{
    window->setProperty(kOrderProperty, ++lastOrder);
}

// Lives on the window it keeps, as its child: watches its shows, closes and activations.
class Keeper : public QObject {
public:
    Keeper(QWidget* window, const Settings& settings, OwnWindows::Options options)
        : QObject(window), m_window(window), m_settings(settings), m_options(options)
    {
        setObjectName(QStringLiteral("tarnwickOwnWindow"));
        window->installEventFilter(this);
    }

    // Sets the states the window maps with; the window manager keeps them while it is mapped.
    void beforeMap()
    {
        const WId id = m_window->winId();
        const bool follows = m_options.taskbar == OwnWindows::Options::Taskbar::followsSetting;
        if (follows)  // known to the setting's live changes too
            WindowStates::applyTaskbarPresence(m_window->windowHandle(), m_settings);
        EwmhWindowState::States states = EwmhWindowState::read(id);
        if (!follows) states.skipTaskbar = states.skipPager = false;
        if (m_options.aboveWhileActive) states.above = applicationActive();
        EwmhWindowState::apply(id, states);
        if (m_options.fixedSize) EwmhWindowState::setFixedSizeFunctions(id);
    }

    // Whether the level changed.
    bool applyLevel(bool active)
    {
        if (!m_options.aboveWhileActive || !m_window->isVisible()) return false;
        return setAbove(m_window, active);
    }

    QWidget* window() const { return m_window; }

    // Where the keyboard goes back: the window of ours that has it as this one is presented (the one
    // under an open popup), kept while this one stays up; none when it came from elsewhere.
    void presenting(const FocusReturn& giveBackTo)
    {
        if (!m_options.givesKeyboardBack) return;
        if (giveBackTo.window() && giveBackTo.window() != m_window) {
            m_openedFrom = giveBackTo;
            return;
        }
        QWidget* from = QApplication::activeWindow();
        if (from && from->windowType() == Qt::Popup && from->parentWidget()) from = from->parentWidget()->window();
        if (from && from != m_window)
            m_openedFrom.capture(from);
        else if (!m_window->isVisible())
            m_openedFrom = {};
    }

    // While this window still has the keyboard to hand on: once it has hidden, the window manager
    // has chosen already.
    void givingUp() { m_openedFrom.restore(); }

    // The frame's real size is known once the window manager has framed the window: placed again
    // then, once per show.
    void placeOnceFramed()
    {
        if (!m_placeOnceFramed || !m_window->isVisible() || !decorationOf(m_window).second) return;
        m_placeOnceFramed = false;
        OwnWindows::placeOnScreen(m_window);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != m_window) return false;
        switch (event->type()) {
            case QEvent::Show:  // sent before the window maps
                beforeMap();
                OwnWindows::placeOnScreen(m_window);
                m_placeOnceFramed = decorated(m_window);
                break;
            case QEvent::Move:
            case QEvent::Resize:
                placeOnceFramed();
                break;
            case QEvent::WindowActivate:
                stamp(m_window);
                placeOnceFramed();
                break;
            case QEvent::Close:
                givingUp();
                if (m_options.hideOnClose) {
                    // Accepting the close would destroy the X window; hiding keeps it.
                    event->ignore();
                    m_window->hide();
                    return true;
                }
                break;
            default:
                break;
        }
        return false;
    }

private:
    QWidget* m_window;
    const Settings& m_settings;
    OwnWindows::Options m_options;
    bool m_placeOnceFramed = false;
    FocusReturn m_openedFrom;
};

// A modal question blocks every other window of ours, Qt's tray icon too (its own widget of this class
// on X11), whose clicks it then drops: made transient for the question, the icon is not blocked by it,
// so a click on it can still bring the question back. (A host's clicks over D-Bus are never blocked.)
void trayIconsFollow(QWindow* question)
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        QWindow* icon = widget->windowHandle();
        if (icon && widget->inherits("QSystemTrayIconSys") && icon != question) icon->setTransientParent(question);
    }
}

// Lives on a modal question, as its child: puts it on top of our windows whenever it shows.
class QuestionKeeper : public QObject {
public:
    explicit QuestionKeeper(QWidget* dialog) : QObject(dialog), m_dialog(dialog)
    {
        setObjectName(QLatin1String(kQuestionKeeper));
        dialog->installEventFilter(this);
    }

    QWidget* dialog() const { return m_dialog; }

    // Raised above our other windows and given the keyboard, as asked by the user: a window manager
    // may keep a window it maps under the one that has the keyboard.
    void bringForward()
    {
        if (!m_dialog->isVisible()) return;
        if (m_dialog->isMinimized()) m_dialog->setWindowState(m_dialog->windowState() & ~Qt::WindowMinimized);
        FocusReturn::activateForUser(m_dialog);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != m_dialog) return false;
        if (event->type() == QEvent::Show) {  // sent before the window maps, and so before it blocks others
            trayIconsFollow(m_dialog->windowHandle());
            // Asked for by the user in one of our windows: on their level from the first map.
            setAbove(m_dialog, true);
            QTimer::singleShot(0, this, [this] { bringForward(); });
        } else if (event->type() == QEvent::Hide && !m_dialog->isVisible()) {  // not when minimised
            trayIconsFollow(nullptr);
        } else if (event->type() == QEvent::Close) {
            // Only the window manager's close gets here (a dialog's own answers close without the
            // event). A message box would close with no button clicked, so what its Cancel does (the
            // keyboard given back, say) would not be done: it is answered with that button instead.
            auto* box = qobject_cast<QMessageBox*>(m_dialog);
            if (box && box->escapeButton()) {
                event->ignore();
                box->escapeButton()->click();
                return true;
            }
        }
        return false;
    }

private:
    QWidget* m_dialog;
};

QList<QuestionKeeper*> visibleQuestions()
{
    QList<QuestionKeeper*> questions;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* keeper = widget->findChild<QuestionKeeper*>(QLatin1String(kQuestionKeeper), Qt::FindDirectChildrenOnly);
        if (keeper && widget->isVisible()) questions.append(keeper);
    }
    return questions;
}

Keeper* keeperOf(const QWidget* window)
{
    return window ? window->findChild<Keeper*>(QStringLiteral("tarnwickOwnWindow"), Qt::FindDirectChildrenOnly)
                  : nullptr;
}

// Our visible windows, the one asked for or used last at the end.
QList<Keeper*> visibleKeepersInOrder()
{
    QList<Keeper*> keepers;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (Keeper* keeper = keeperOf(widget); keeper && widget->isVisible()) keepers.append(keeper);
    std::stable_sort(keepers.begin(), keepers.end(), [](Keeper* a, Keeper* b) {
        return OwnWindows::requestOrder(a->window()) < OwnWindows::requestOrder(b->window());
    });
    return keepers;
}

void applicationStateChanged(Qt::ApplicationState state)
{
    const bool active = state == Qt::ApplicationActive;
    bool changed = false;
    const QList<Keeper*> keepers = visibleKeepersInOrder();
    for (Keeper* keeper : keepers) changed = keeper->applyLevel(active) || changed;
    // A window that changes level lands anywhere in its new layer: put ours back in their order.
    if (changed && active)
        for (Keeper* keeper : keepers) keeper->window()->raise();
    // An open question goes with them, and over them.
    for (QuestionKeeper* question : visibleQuestions()) {
        setAbove(question->dialog(), active);
        if (active) question->dialog()->raise();
    }
}

void observeApplicationState()
{
    static const bool observing = [] {
        if (qGuiApp)
            QObject::connect(qGuiApp, &QGuiApplication::applicationStateChanged, qGuiApp, &applicationStateChanged);
        if (qApp)
            QObject::connect(qApp, &QApplication::focusChanged, qApp,
                             [](QWidget*, QWidget* now) { scrollFocusIntoView(now); });
        // A screen that shrinks or loses its work area under an open window: the window goes where it
        // would go if shown now.
        ScreenChanges::watch(qGuiApp, [] {
            for (Keeper* keeper : visibleKeepersInOrder()) OwnWindows::placeOnScreen(keeper->window());
        });
        return true;
    }();
    Q_UNUSED(observing);
}

}  // namespace

void OwnWindows::adopt(QWidget* window, const Settings& settings, Options options)
{
    if (!window || keeperOf(window)) return;
    new Keeper(window, settings, options);
    observeApplicationState();
}

QRect OwnWindows::fitFrame(QRect frame, const QRect& area)
{
    if (!area.isValid()) return frame;
    frame.setWidth(std::min(frame.width(), area.width()));
    frame.setHeight(std::min(frame.height(), area.height()));
    if (frame.right() > area.right()) frame.moveRight(area.right());
    if (frame.bottom() > area.bottom()) frame.moveBottom(area.bottom());
    if (frame.left() < area.left()) frame.moveLeft(area.left());
    if (frame.top() < area.top()) frame.moveTop(area.top());
    return frame;
}

void OwnWindows::placeOnScreen(QWidget* window)
{
    if (!window) return;
    const bool fixed = window->minimumSize() == window->maximumSize();
    // A fixed window keeps the size it was made with, so a larger screen gives it back.
    if (fixed && !window->property(kNaturalSizeProperty).isValid())
        window->setProperty(kNaturalSizeProperty, window->size());
    const QSize natural = fixed ? window->property(kNaturalSizeProperty).toSize() : window->size();
    const QMargins margins = decorationOf(window).first;
    const QRect frame(window->frameGeometry().topLeft(), natural.grownBy(margins));
    QScreen* screen = QGuiApplication::screenAt(frame.center());
    if (!screen) screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect placed = fitFrame(frame, screen->availableGeometry());
    const QSize content = placed.size().shrunkBy(margins);
    if (content != window->size()) {
        if (fixed)
            window->setFixedSize(content);
        else
            window->resize(content);
    }
    if (placed.topLeft() != window->frameGeometry().topLeft()) window->move(placed.topLeft());
}

void OwnWindows::present(QWidget* window, const FocusReturn& giveBackTo)
{
    if (!window) return;
    if (Keeper* keeper = keeperOf(window)) keeper->presenting(giveBackTo);
    stamp(window);
    if (window->isMinimized()) window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
    if (QWindow* handle = window->windowHandle()) handle->requestActivate();
}

void OwnWindows::dismiss(QWidget* window)
{
    if (!window) return;
    if (Keeper* keeper = keeperOf(window); keeper && window->isVisible()) keeper->givingUp();
    window->hide();
}

void OwnWindows::adoptQuestion(QWidget* dialog)
{
    if (!dialog || dialog->findChild<QuestionKeeper*>(QLatin1String(kQuestionKeeper), Qt::FindDirectChildrenOnly))
        return;
    new QuestionKeeper(dialog);
    observeApplicationState();
}

bool OwnWindows::bringQuestionForward()
{
    const QList<QuestionKeeper*> questions = visibleQuestions();
    if (questions.isEmpty()) return false;
    QuestionKeeper* asked = questions.last();
    for (QuestionKeeper* question : questions)
        if (question->dialog() == QApplication::activeModalWidget()) asked = question;
    asked->bringForward();
    return true;
}

bool OwnWindows::isAdopted(const QWidget* window)
{
    return keeperOf(window) != nullptr;
}

quint64 OwnWindows::requestOrder(const QWidget* window)
{
    return window ? window->property(kOrderProperty).toULongLong() : 0;
}
