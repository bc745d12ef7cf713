#include "design/TrayGlyph.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <cmath>

#include "design/TarnwickTheme.h"

namespace {

double channel(double c)
{
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double luminance(const QColor& c)
{
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

}  // namespace

namespace TrayGlyph {

QImage image(int pixels, bool lit)
{
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // Drawn on an 18-unit grid, the sheet filling most of it so it reads at 16 pixels.
    p.scale(pixels / 18.0, pixels / 18.0);

    if (lit) {
        // The plate fills the square; the sheet shrinks into its middle so that a band of rust shows
        // all round it.
        p.setPen(QPen(TarnwickTheme::surface(), 1.2));
        p.setBrush(TarnwickTheme::accentInk());
        p.drawRoundedRect(QRectF(0.6, 0.6, 16.8, 16.8), 4, 4);
        p.translate(9, 9);
        p.scale(0.7, 0.7);
        p.translate(-9, -9);
    }

    QPainterPath sheet;
    sheet.moveTo(3.5, 1.5);
    sheet.lineTo(11.5, 1.5);
    sheet.lineTo(15.5, 5.5);
    sheet.lineTo(15.5, 15);
    sheet.quadTo(15.5, 16.5, 14, 16.5);
    sheet.lineTo(4, 16.5);
    sheet.quadTo(2.5, 16.5, 2.5, 15);
    sheet.lineTo(2.5, 3);
    sheet.quadTo(2.5, 1.5, 3.5, 1.5);
    sheet.closeSubpath();

    const QColor ink = TarnwickTheme::textPrimary();
    p.setPen(QPen(ink, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(TarnwickTheme::surface());
    p.drawPath(sheet);

    // The turned corner and the two lines of writing.
    QPainterPath corner;
    corner.moveTo(11.5, 1.5);
    corner.lineTo(11.5, 5.5);
    corner.lineTo(15.5, 5.5);
    p.setBrush(Qt::NoBrush);
    p.drawPath(corner);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawRoundedRect(QRectF(5.5, 8.5, 7, 1.8), 0.9, 0.9);
    p.drawRoundedRect(QRectF(5.5, 11.8, 4.5, 1.8), 0.9, 0.9);
    return image;
}

QIcon icon(bool lit)
{
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64}) icon.addPixmap(QPixmap::fromImage(image(size, lit)));
    return icon;
}

double contrast(const QColor& a, const QColor& b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

}  // namespace TrayGlyph
