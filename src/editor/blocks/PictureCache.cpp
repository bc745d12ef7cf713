#include "editor/blocks/PictureCache.h"

#include <QBuffer>
#include <QImageReader>

#include "model/NoteImage.h"
#include "platform/PictureGuard.h"
#include "platform/ScaledPicture.h"

QImage PictureCache::acquire(const NoteImage& row)
{
    const QUuid id = row.uuid();
    if (auto it = m_images.constFind(id); it != m_images.constEnd()) return *it;
    const auto bytes = row.data();
    // A stored row may come from anywhere (an older build, a copied store): it is judged like a paste.
    if (!bytes || bytes->isEmpty() || !PictureGuard::selfContained(*bytes)) return QImage();
    QByteArray data = *bytes;
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    const bool large = size.isValid() && (size.width() > m_maxSide || size.height() > m_maxSide);
    ++m_decodes;
    QImage image =
        ScaledPicture::read(reader, large ? size.scaled(m_maxSide, m_maxSide, Qt::KeepAspectRatio) : QSize());
    if (!image.isNull()) m_images.insert(id, image);
    return image;
}

QSize PictureCache::headerSize(const QByteArray& bytes)
{
    if (!PictureGuard::selfContained(bytes)) return QSize();
    QByteArray data = bytes;
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    return reader.size();
}
