#include "platform/ScreenChanges.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

namespace {

// Lives on the context as its child, so the connections and a pending call go with it.
class ScreenWatcher : public QObject {
public:
    ScreenWatcher(QObject* context, std::function<void()> changed) : QObject(context), m_changed(std::move(changed))
    {
        auto* app = qGuiApp;
        if (!app) return;
        for (QScreen* screen : QGuiApplication::screens()) watch(screen);
        connect(app, &QGuiApplication::screenAdded, this, [this](QScreen* screen) {
            watch(screen);
            schedule();
        });
        connect(app, &QGuiApplication::screenRemoved, this, &ScreenWatcher::schedule);
    }

private:
    void watch(QScreen* screen)
    {
        connect(screen, &QScreen::geometryChanged, this, &ScreenWatcher::schedule);
        connect(screen, &QScreen::availableGeometryChanged, this, &ScreenWatcher::schedule);
    }
    void schedule()
    {
        if (m_pending) return;
        m_pending = true;
        QTimer::singleShot(0, this, [this] {
            m_pending = false;
            if (m_changed) m_changed();
        });
    }

    std::function<void()> m_changed;
    bool m_pending = false;
};

}  // namespace

void ScreenChanges::watch(QObject* context, std::function<void()> changed)
{
    if (context) new ScreenWatcher(context, std::move(changed));
}
