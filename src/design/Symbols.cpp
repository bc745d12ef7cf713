#include "design/Symbols.h"

#include <QFile>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QPixmap>

#include "platform/Log.h"
#include "platform/Resources.h"

namespace {
QString resourcePath(const QString& name)
{
    return QStringLiteral(":/icons/") + name + QStringLiteral(".svg");
}
}  // namespace

QString Symbols::themeName(const QString& name)
{
    // Only where the freedesktop icon means the same thing.
    static const QHash<QString, QString> names = {
        {QStringLiteral("doc.on.doc"), QStringLiteral("edit-copy")},
        {QStringLiteral("arrow.uturn.backward"), QStringLiteral("edit-undo")},
        {QStringLiteral("chevron.down"), QStringLiteral("go-down")},
        {QStringLiteral("chevron.right"), QStringLiteral("go-next")},
        {QStringLiteral("exclamationmark.triangle"), QStringLiteral("dialog-warning")},
        {QStringLiteral("exclamationmark.triangle.fill"), QStringLiteral("dialog-warning")},
        {QStringLiteral("info.circle"), QStringLiteral("dialog-information")},
        {QStringLiteral("list.bullet"), QStringLiteral("format-list-unordered")},
        {QStringLiteral("list.number"), QStringLiteral("format-list-ordered")},
        {QStringLiteral("magnifyingglass"), QStringLiteral("edit-find")},
        {QStringLiteral("trash"), QStringLiteral("user-trash")},
        {QStringLiteral("arrow.triangle.2.circlepath"), QStringLiteral("view-refresh")},
    };
    return names.value(name);
}

QIcon Symbols::icon(const QString& name)
{
    Resources::ensureLoaded();
    const QString path = resourcePath(name);
    if (QFile::exists(path)) return QIcon(path);
    const QString theme = themeName(name);
    if (!theme.isEmpty() && QIcon::hasThemeIcon(theme)) return QIcon::fromTheme(theme);
    qCDebug(Log::app, "No icon for symbol %s", qUtf8Printable(name));
    return {};
}

QIcon Symbols::tinted(const QString& name, const QColor& color, int size, QList<qreal> ratios)
{
    const QIcon source = icon(name);
    if (source.isNull()) return {};
    QIcon result;
    for (const qreal ratio : ratios) {
        const QSize pixels(qRound(size * ratio), qRound(size * ratio));
        QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter p(&image);
            source.paint(&p, QRect(QPoint(), pixels));
            p.setCompositionMode(QPainter::CompositionMode_SourceIn);
            p.fillRect(image.rect(), color);
        }
        QPixmap pixmap = QPixmap::fromImage(image);
        pixmap.setDevicePixelRatio(ratio);
        result.addPixmap(pixmap);
    }
    return result;
}
