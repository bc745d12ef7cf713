#include "platform/ScaledPicture.h"

#include <QImageIOHandler>
#include <QImageReader>
#include <utility>

QImage ScaledPicture::read(QImageReader& reader, QSize size)
{
    const QByteArray format = reader.format().toLower();
    const bool scalesWhileReading = format == "jpeg" || format == "jpg" || format == "svg" || format == "svgz";
    if (size.isValid() && scalesWhileReading) reader.setScaledSize(size);
    QImage image = reader.read();
    if (image.isNull()) return image;
    const QImage::Format f = image.format();
    if (f != QImage::Format_RGB32 && f != QImage::Format_ARGB32 && f != QImage::Format_ARGB32_Premultiplied) {
        const bool alpha = image.hasAlphaChannel();
        image = std::move(image).convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    }
    if (!size.isValid()) return image;
    // A picture turned upright as it was read has its sides swapped.
    if (reader.autoTransform() && (reader.transformation() & QImageIOHandler::TransformationRotate90)) size.transpose();
    if (image.size() != size) image = image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return image;
}
