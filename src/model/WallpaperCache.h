#pragma once

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QSizeF>
#include <functional>
#include <optional>

#include "model/WallpaperRef.h"

// Turns wallpaper references into images and keeps every image it made for the life of the process.
// Stock patterns are drawn at one pixel per point, per pattern and size rounded up to 64-point steps;
// user pictures are decoded once per wallpaper id, whatever size is asked. Main thread only.
class WallpaperCache {
public:
    WallpaperCache() = default;
    static WallpaperCache& shared();

    // The image for a reference. `data` fetches a user wallpaper's bytes; it is called only for a user
    // reference that is not cached yet. None when those bytes are missing or unreadable (nothing is
    // cached then, so the next call tries again).
    std::optional<QImage> image(const WallpaperRef& ref, const QSizeF& size,
                                const std::function<std::optional<QByteArray>()>& data);

    // Each side raised to the next multiple of 64 points, at least 64.
    static QSize roundedSize(const QSizeF& size);
    // "<raw value>@<W>x<H>" of the rounded size.
    static QString stockKey(WallpaperStock stock, const QSizeF& size);
    // Draws a pattern at size W x H points, one pixel per point. Never fails.
    static QImage draw(WallpaperStock stock, const QSizeF& size);

private:
    QHash<QString, QImage> m_stock;
    QHash<QString, QImage> m_user;
};
