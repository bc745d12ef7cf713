#include "platform/OwnWindows.h"

#include <QApplication>
#include <QEvent>
#include <QWindow>
#include <algorithm>

#include "platform/EwmhWindowState.h"
#include "platform/Settings.h"
#include "platform/WindowStates.h"

namespace {

constexpr const char* kOrderProperty = "tarnwickRequestOrder";
quint64 lastOrder = 0;

bool applicationActive()
{
    return QGuiApplication::applicationState() == Qt::ApplicationActive;
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
        if (m_options.taskbarFollowsSetting)  // known to the setting's live changes too
            WindowStates::applyTaskbarPresence(m_window->windowHandle(), m_settings);
        EwmhWindowState::States states = EwmhWindowState::read(id);
        if (!m_options.taskbarFollowsSetting) states.skipTaskbar = states.skipPager = true;
        if (m_options.aboveWhileActive) states.above = applicationActive();
        EwmhWindowState::apply(id, states);
        if (m_options.fixedSize) EwmhWindowState::setFixedSizeFunctions(id);
    }

    // Whether the level changed.
    bool applyLevel(bool active)
    {
        if (!m_options.aboveWhileActive || !m_window->isVisible()) return false;
        EwmhWindowState::States states = EwmhWindowState::read(m_window->winId());
        if (states.above == active) return false;
        states.above = active;
        EwmhWindowState::apply(m_window->winId(), states);
        return true;
    }

    QWidget* window() const { return m_window; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != m_window) return false;
        switch (event->type()) {
            case QEvent::Show:  // sent before the window maps
                beforeMap();
                break;
            case QEvent::WindowActivate:
                stamp(m_window);
                break;
            case QEvent::Close:
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
};

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
}

void observeApplicationState()
{
    static const bool observing = [] {
        if (qGuiApp)
            QObject::connect(qGuiApp, &QGuiApplication::applicationStateChanged, qGuiApp, &applicationStateChanged);
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

void OwnWindows::present(QWidget* window)
{
    if (!window) return;
    stamp(window);
    if (window->isMinimized()) window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
    if (QWindow* handle = window->windowHandle()) handle->requestActivate();
}

bool OwnWindows::isAdopted(const QWidget* window)
{
    return keeperOf(window) != nullptr;
}

quint64 OwnWindows::requestOrder(const QWidget* window)
{
    return window ? window->property(kOrderProperty).toULongLong() : 0;
}
