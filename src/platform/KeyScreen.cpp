#include "platform/KeyScreen.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

#include "platform/EwmhWindowState.h"

namespace {
qint64 area(const QRect& r)
{
    return r.isEmpty() ? 0 : qint64(r.width()) * r.height();
}

// The X server counts device pixels; Qt places screens at their device origin and scales what lies
// inside them.
QRect nativeGeometry(const QScreen* screen)
{
    const QRect g = screen->geometry();
    const qreal ratio = screen->devicePixelRatio();
    return {g.topLeft(), (QSizeF(g.size()) * ratio).toSize()};
}

QPoint toNative(QPoint p)
{
    const QScreen* screen = QGuiApplication::screenAt(p);
    if (!screen) return p;
    const QPoint origin = screen->geometry().topLeft();
    return origin + (p - origin) * screen->devicePixelRatio();
}

QRect toNative(const QRect& r)
{
    const QScreen* screen = QGuiApplication::screenAt(r.center());
    if (!screen) return r;
    const qreal ratio = screen->devicePixelRatio();
    return {toNative(r.topLeft()), (QSizeF(r.size()) * ratio).toSize()};
}
}  // namespace

namespace KeyScreen {

int choose(const QList<QRect>& screens, const std::optional<QRect>& keyWindow, QPoint pointer)
{
    int underPointer = -1;
    for (int i = 0; i < screens.size() && underPointer < 0; ++i)
        if (screens[i].contains(pointer)) underPointer = i;
    if (!keyWindow) return underPointer;
    qint64 most = 0;
    QList<int> holding;
    for (int i = 0; i < screens.size(); ++i) {
        const qint64 part = area(screens[i].intersected(*keyWindow));
        if (part == 0 || part < most) continue;
        if (part > most) holding.clear();
        most = part;
        holding << i;
    }
    if (holding.size() == 1) return holding.first();
    if (holding.isEmpty() || holding.contains(underPointer)) return underPointer;
    return holding.first();
}

QScreen* current()
{
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (screens.isEmpty()) return nullptr;
    QList<QRect> native;
    for (const QScreen* screen : screens) native << nativeGeometry(screen);
    // The window manager's word first: during the hot key's own grab the toolkit may already count our
    // window as having lost the keyboard. Without a window manager, our own window that has it.
    std::optional<QRect> key = EwmhWindowState::activeWindowFrame();
    if (!key)
        if (const QWindow* focus = QGuiApplication::focusWindow(); focus && focus->isVisible())
            key = toNative(focus->frameGeometry());
    const int chosen = choose(native, key, toNative(QCursor::pos()));
    return chosen >= 0 ? screens[chosen] : QGuiApplication::primaryScreen();
}

}  // namespace KeyScreen
