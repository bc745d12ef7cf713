#include "platform/DisplayProbe.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <cstring>

namespace {

bool canOpenX11(const QByteArray& display)
{
    int screen = 0;
    xcb_connection_t* connection = xcb_connect(display.constData(), &screen);
    const bool ok = connection && xcb_connection_has_error(connection) == 0;
    if (connection) xcb_disconnect(connection);
    return ok;
}

bool canReachWayland(const QByteArray& display)
{
    QByteArray path = display;
    if (!path.startsWith('/')) path = qgetenv("XDG_RUNTIME_DIR") + '/' + display;
    sockaddr_un address{};
    if (path.size() >= qsizetype(sizeof(address.sun_path))) return false;
    address.sun_family = AF_UNIX;
    memcpy(address.sun_path, path.constData(), size_t(path.size()));
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    close(fd);
    return ok;
}

bool hasWaylandPlugin()
{
    const QDir platforms(QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms"));
    return !platforms.entryList({QStringLiteral("libqwayland*")}, QDir::Files).isEmpty();
}

}  // namespace

Result<QByteArray, QString> DisplayProbe::choosePlatform()
{
    const QByteArray requested = qgetenv("QT_QPA_PLATFORM");
    const bool wantsX11 = requested.isEmpty() || requested.startsWith("xcb");
    const bool wantsWayland = requested.isEmpty() || requested.startsWith("wayland");
    if (!wantsX11 && !wantsWayland) return QByteArray();

    const QByteArray x11 = qgetenv("DISPLAY");
    const QByteArray wayland = qgetenv("WAYLAND_DISPLAY");
    if (x11.isEmpty() && wayland.isEmpty())
        return QStringLiteral("Tarnwick needs a graphical session, but neither DISPLAY nor WAYLAND_DISPLAY is set.");

    if (wantsX11 && !x11.isEmpty() && canOpenX11(x11)) return QByteArray("xcb");
    if (wantsWayland && !wayland.isEmpty() && canReachWayland(wayland)) {
        if (hasWaylandPlugin()) return QByteArray("wayland");
        if (!wantsX11 || x11.isEmpty())
            return QStringLiteral(
                "Tarnwick needs an X11 display (or XWayland): this Wayland session has no X server, and Qt's "
                "Wayland support is not installed.");
    }
    if (wantsX11 && !x11.isEmpty())
        return QStringLiteral("Tarnwick cannot open the X display \"%1\".").arg(QString::fromLocal8Bit(x11));
    return QStringLiteral("Tarnwick cannot connect to the Wayland display \"%1\".")
        .arg(QString::fromLocal8Bit(wayland));
}
