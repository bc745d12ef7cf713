#include "model/WallpaperCache.h"

#include "platform/PictureGuard.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

WallpaperCache& WallpaperCache::shared()
{
    static WallpaperCache cache;
    return cache;
}

QSize WallpaperCache::roundedSize(const QSizeF& size)
{
    auto side = [](double v) {
        // Capped at 8192 points a side: no window is larger, and the view scales the image to fill.
        const double steps = std::isfinite(v) ? std::ceil(v / 64.0) : 1.0;
        return int(std::max(std::min(steps, 128.0) * 64.0, 64.0));
    };
    return QSize(side(size.width()), side(size.height()));
}

QString WallpaperCache::stockKey(WallpaperStock stock, const QSizeF& size)
{
    const QSize rounded = roundedSize(size);
    return QStringLiteral("%1@%2x%3").arg(stock.rawValue()).arg(rounded.width()).arg(rounded.height());
}

std::optional<QImage> WallpaperCache::image(const WallpaperRef& ref, const QSizeF& size,
                                            const std::function<std::optional<QByteArray>()>& data)
{
    if (ref.kind() == WallpaperRef::Kind::user) {
        const auto cached = m_user.constFind(ref.userID());
        if (cached != m_user.constEnd()) return *cached;
        const auto bytes = data ? data() : std::nullopt;
        if (!bytes || bytes->isEmpty() || !PictureGuard::selfContained(*bytes)) return std::nullopt;
        const QImage decoded = QImage::fromData(*bytes);
        if (decoded.isNull()) return std::nullopt;
        m_user.insert(ref.userID(), decoded);
        return decoded;
    }
    const QString key = stockKey(ref.stock(), size);
    const auto cached = m_stock.constFind(key);
    if (cached != m_stock.constEnd()) return *cached;
    const QImage drawn = draw(ref.stock(), roundedSize(size));
    m_stock.insert(key, drawn);
    return drawn;
}

QImage WallpaperCache::draw(WallpaperStock stock, const QSizeF& size)
{
    const double w = size.width();
    const double h = size.height();
    QImage image(std::max(int(w), 1), std::max(int(h), 1), QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) return QImage();
    image.fill(Qt::transparent);

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    // The patterns are defined with y pointing up and angles counter-clockwise from the x axis.
    painter.translate(0, h);
    painter.scale(1, -1);

    // The wash: a linear gradient across the whole rectangle at -68 degrees, spanning the rectangle's
    // extent along that direction.
    const WallpaperStock::Wash wash = stock.wash();
    const double washAngle = -68.0 * M_PI / 180.0;
    const QPointF direction(std::cos(washAngle), std::sin(washAngle));
    const QPointF centre(w / 2, h / 2);
    const double half = (std::abs(w * direction.x()) + std::abs(h * direction.y())) / 2;
    QLinearGradient gradient(centre - half * direction, centre + half * direction);
    gradient.setColorAt(0, wash.start);
    gradient.setColorAt(1, wash.end);
    painter.fillRect(QRectF(0, 0, w, h), gradient);

    const double d = w + h;
    for (const WallpaperStock::LineSet& set : stock.lineSets()) {
        const double theta = set.angle * M_PI / 180.0;
        const QPointF along(std::cos(theta), std::sin(theta));
        const QPointF across(-std::sin(theta), std::cos(theta));
        QPainterPath path;
        if (d > 0 && set.spacing > 0) {
            for (double t = -d; t < d; t += set.spacing) {
                const QPointF c = centre + t * across;
                path.moveTo(c - d * along);
                path.lineTo(c + d * along);
            }
        }
        QPen pen(QColor::fromRgbF(0, 0, 0, float(set.alpha)));
        pen.setWidthF(set.width);
        painter.strokePath(path, pen);
    }
    painter.end();
    return image;
}
