#include "shelf/AppIconCache.h"

#include "platform/BoundedFile.h"
#include "platform/BoundedWait.h"
#include "platform/PictureGuard.h"
#include "platform/ScaledPicture.h"

#include <QBuffer>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QStandardPaths>

namespace {

QStringList dataDirs(const QString& sub)
{
    QStringList dirs;
    for (const QString& base : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
        dirs << QDir(base).filePath(sub);
    return dirs;
}

// The Icon key of the main group of a desktop entry (read from its first 64 KB).
QString iconKey(const QString& path)
{
    const auto read = BoundedFile::read(path, 64 * 1024, BoundedFile::Overflow::Truncate);
    const QByteArray* bytes = std::get_if<QByteArray>(&read);
    if (!bytes) return {};
    const QList<QByteArray> lines = bytes->split('\n');
    bool inMain = false;
    for (const QByteArray& raw : lines) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith('[')) {
            inMain = line == "[Desktop Entry]";
            continue;
        }
        if (inMain && line.startsWith("Icon=")) return QString::fromUtf8(line.mid(5)).trimmed();
    }
    return {};
}

}  // namespace

AppIconCache& AppIconCache::shared()
{
    static AppIconCache cache(dataDirs(QStringLiteral("applications")), dataDirs(QStringLiteral("icons")),
                              dataDirs(QStringLiteral("pixmaps")));
    return cache;
}

AppIconCache::AppIconCache(QStringList applicationDirs, QStringList iconDirs, QStringList pixmapDirs)
    : m_applicationDirs(std::move(applicationDirs)),
      m_iconDirs(std::move(iconDirs)),
      m_pixmapDirs(std::move(pixmapDirs))
{
}

QImage AppIconCache::icon(const QString& desktopID)
{
    if (desktopID.isEmpty()) return {};
    if (const auto it = m_cache.constFind(desktopID); it != m_cache.constEnd()) return *it;
    if (m_misses.contains(desktopID)) return {};
    ++m_diskLookups;
    QImage image;
    if (const auto entry = entryPath(desktopID)) {
        if (const auto path = iconPath(iconKey(*entry))) image = decode(*path);
    }
    if (image.isNull()) {
        m_misses.insert(desktopID);
        return {};
    }
    m_cache.insert(desktopID, image);
    return image;
}

std::optional<QString> AppIconCache::entryPath(const QString& desktopID)
{
    if (!m_entries) {
        // The first dir holding an id wins, as on the desktop ($XDG_DATA_HOME before the system).
        m_entries.emplace();
        for (const QString& dir : std::as_const(m_applicationDirs)) {
            const QDir root(dir);
            QDirIterator it(dir, {QStringLiteral("*.desktop")}, QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext()) {
                const QString path = it.next();
                QString id = root.relativeFilePath(path);
                id.chop(8);
                id.replace(u'/', u'-');
                if (!m_entries->contains(id)) m_entries->insert(id, path);
            }
        }
    }
    const auto it = m_entries->constFind(desktopID);
    if (it == m_entries->constEnd()) return std::nullopt;
    return *it;
}

std::optional<QString> AppIconCache::iconPath(const QString& name) const
{
    if (name.isEmpty()) return std::nullopt;
    if (QDir::isAbsolutePath(name)) {
        const QFileInfo info(name);
        return info.isFile() ? std::optional(info.absoluteFilePath()) : std::nullopt;
    }
    if (name.contains(u'/') || name == QLatin1String("..") || name == QLatin1String(".")) return std::nullopt;
    static const QStringList sizes = {QStringLiteral("32x32"),    QStringLiteral("48x48"),   QStringLiteral("64x64"),
                                      QStringLiteral("scalable"), QStringLiteral("128x128"), QStringLiteral("256x256"),
                                      QStringLiteral("24x24"),    QStringLiteral("16x16")};
    static const QStringList extensions = {QStringLiteral(".png"), QStringLiteral(".svg"), QStringLiteral(".xpm")};
    for (const QString& size : sizes) {
        for (const QString& base : m_iconDirs) {
            for (const QString& ext : extensions) {
                const QString path = base + QStringLiteral("/hicolor/") + size + QStringLiteral("/apps/") + name + ext;
                if (QFileInfo(path).isFile()) return path;
            }
        }
    }
    for (const QString& base : m_pixmapDirs) {
        for (const QString& ext : extensions) {
            const QString path = base + u'/' + name + ext;
            if (QFileInfo(path).isFile()) return path;
        }
    }
    return std::nullopt;
}

QImage AppIconCache::decode(const QString& path)
{
    const auto read = BoundedFile::read(path, maxIconFileBytes);
    const QByteArray* bytes = std::get_if<QByteArray>(&read);
    if (!bytes || bytes->isEmpty()) return {};
    QBuffer buffer;
    buffer.setData(*bytes);
    buffer.open(QIODevice::ReadOnly);
    const QByteArray suffix = QFileInfo(path).suffix().toLower().toUtf8();
    QByteArray format = QImageReader::imageFormat(&buffer);
    if (format.isEmpty()) format = suffix;
    // Told by the suffix, the reader draws a drawing whatever its contents say.
    if ((format == "svg" || format == "svgz") && !PictureGuard::isDrawing(*bytes)) return {};
    if (!PictureGuard::selfContained(*bytes)) return {};
    // The decoder gets only these bytes, checked above; still, a file from anywhere is decoded off the
    // main thread, and given up (a miss) if it has not ended within the bound.
    const std::optional<QImage> decoded = runWithin<QImage>(QDeadlineTimer(decodeTimeoutMs), [bytes = *bytes,
                                                                                              format]() mutable {
        QBuffer source(&bytes);
        source.open(QIODevice::ReadOnly);
        QImageReader reader(&source, format);
        reader.setAllocationLimit(allocationLimitMB);
        const QSize size = reader.size();
        if (size.isValid() && (size.width() > maxIconSide || size.height() > maxIconSide)) return QImage();
        return ScaledPicture::read(
            reader, size.isValid() && !size.isEmpty() ? size.scaled(iconSize, iconSize, Qt::KeepAspectRatio) : QSize());
    });
    if (!decoded) return {};
    QImage image = *decoded;
    if (image.isNull()) return {};
    if (image.width() != iconSize || image.height() != iconSize) {
        // Centred on a square canvas, so every icon takes the same room.
        QImage square(iconSize, iconSize, QImage::Format_ARGB32_Premultiplied);
        square.fill(Qt::transparent);
        const QImage scaled = image.scaled(iconSize, iconSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        for (int y = 0; y < scaled.height(); ++y)
            for (int x = 0; x < scaled.width(); ++x)
                square.setPixelColor(x + (iconSize - scaled.width()) / 2, y + (iconSize - scaled.height()) / 2,
                                     scaled.pixelColor(x, y));
        image = square;
    }
    return image;
}
