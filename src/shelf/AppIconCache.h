#pragma once

#include <QHash>
#include <QImage>
#include <QSet>
#include <QString>
#include <QStringList>
#include <optional>

// Application icons by desktop-file id (what a capture stores as its source's identifier), for the
// shelf's capture rows and the capture peek. Each id is looked up at most once per process: found
// icons and misses are both kept for good.
//
// The id comes from stored data, so it never becomes part of a path: it is matched among the .desktop
// entries actually installed. Icon files are decoded with a size and allocation limit; a broken,
// huge or missing icon is a miss, and the caller draws its fallback glyph.
class AppIconCache {
public:
    static constexpr int iconSize = 32;
    static constexpr qint64 maxIconFileBytes = 8 * 1024 * 1024;
    static constexpr int allocationLimitMB = 16;
    static constexpr int maxIconSide = 4096;
    // How long the main thread waits for one icon's decode before it is a miss.
    static constexpr qint64 decodeTimeoutMs = 3000;

    static AppIconCache& shared();

    // Entries under each of applicationDirs (the applications/ folders); icons named by an entry are
    // looked for in iconDirs (the icons/ folders, hicolor theme) and pixmapDirs.
    AppIconCache(QStringList applicationDirs, QStringList iconDirs, QStringList pixmapDirs);

    // The icon, iconSize pixels square, or a null image.
    QImage icon(const QString& desktopID);

    // How many ids were looked up on disk (for tests).
    int diskLookups() const { return m_diskLookups; }

    // Decodes an icon file within the limits; null when it is unreadable, too large or not an image.
    static QImage decode(const QString& path);

private:
    std::optional<QString> entryPath(const QString& desktopID);
    std::optional<QString> iconPath(const QString& iconName) const;

    QStringList m_applicationDirs;
    QStringList m_iconDirs;
    QStringList m_pixmapDirs;
    std::optional<QHash<QString, QString>> m_entries;  // id to file, listed on first need
    QHash<QString, QImage> m_cache;
    QSet<QString> m_misses;
    int m_diskLookups = 0;
};
