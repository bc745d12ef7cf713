#include "model/NoteImage.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QImageReader>
#include <QImageWriter>
#include <algorithm>

#include "model/StoredValue.h"
#include "platform/PictureGuard.h"
#include "platform/ScaledPicture.h"

const EntityDescription& NoteImage::entityDescription()
{
    static const EntityDescription entity{
        QStringLiteral("NoteImage"),
        {
            {QStringLiteral("uuid"), AttributeType::Uuid, false, QVariant(), QString(), false, true},
            {QStringLiteral("noteUUID"), AttributeType::Uuid, true, QVariant(), QString(), false, true},
            {QStringLiteral("data"), AttributeType::Data, true, QVariant(), QString(), true},
            {QStringLiteral("lockedCipher"), AttributeType::Data, true, QVariant(), QString(), true},
            {QStringLiteral("utType"), AttributeType::String, false, QStringLiteral("public.png")},
            {QStringLiteral("pixelWidth"), AttributeType::Int, false, QVariant::fromValue<qint64>(0)},
            {QStringLiteral("pixelHeight"), AttributeType::Int, false, QVariant::fromValue<qint64>(0)},
            {QStringLiteral("byteCount"), AttributeType::Int, false, QVariant::fromValue<qint64>(0)},
            {QStringLiteral("contentHash"), AttributeType::String, false, QString()},
            {QStringLiteral("createdAt"), AttributeType::Date},
        },
        [] { return new NoteImage(); },
    };
    return entity;
}

NoteImage::NoteImage() : ManagedObject(entityDescription()) {}

std::optional<QUuid> NoteImage::noteUUID() const
{
    return optionalFromVariant<QUuid>(value(NoteUUID));
}
void NoteImage::setNoteUUID(const std::optional<QUuid>& v)
{
    setValue(NoteUUID, variantFromOptional(v));
}
std::optional<QByteArray> NoteImage::data() const
{
    return optionalFromVariant<QByteArray>(value(Data));
}
void NoteImage::setData(const std::optional<QByteArray>& v)
{
    setValue(Data, variantFromOptional(v));
}
std::optional<QByteArray> NoteImage::lockedCipher() const
{
    return optionalFromVariant<QByteArray>(value(LockedCipher));
}
void NoteImage::setLockedCipher(const std::optional<QByteArray>& v)
{
    setValue(LockedCipher, variantFromOptional(v));
}

QImage NoteImage::image() const
{
    const auto bytes = data();
    if (!bytes || bytes->isEmpty() || !PictureGuard::selfContained(*bytes)) return QImage();
    return QImage::fromData(*bytes);
}

const QSet<QString>& NoteImage::passThroughTypes()
{
    static const QSet<QString> types{QStringLiteral("public.png"), QStringLiteral("public.jpeg"),
                                     QStringLiteral("com.compuserve.gif")};
    return types;
}

QString NoteImage::typeIdentifier(const QByteArray& qtFormat)
{
    const QByteArray f = qtFormat.toLower();
    if (f == "png") return QStringLiteral("public.png");
    if (f == "jpeg" || f == "jpg") return QStringLiteral("public.jpeg");
    if (f == "gif") return QStringLiteral("com.compuserve.gif");
    if (f == "tiff" || f == "tif") return QStringLiteral("public.tiff");
    if (f == "bmp") return QStringLiteral("com.microsoft.bmp");
    if (f == "webp") return QStringLiteral("org.webmproject.webp");
    if (f == "heic" || f == "heif") return QStringLiteral("public.heic");
    if (f == "ico") return QStringLiteral("com.microsoft.ico");
    if (f == "icns") return QStringLiteral("com.apple.icns");
    if (f == "tga") return QStringLiteral("com.truevision.tga-image");
    if (f == "svg" || f == "svgz") return QStringLiteral("public.svg-image");
    return QString();
}

Result<NoteImage::Normalised, NoteImage::NormaliseError> NoteImage::normalised(const QByteArray& bytes)
{
    if (bytes.isEmpty()) return NormaliseError::empty;
    // Before any reader looks past the header: reading a drawing's size already opens what it names.
    if (!PictureGuard::selfContained(bytes)) return NormaliseError::refersOutside;

    QBuffer source;
    source.setData(bytes);
    source.open(QIODevice::ReadOnly);
    QImageReader reader(&source);
    reader.setAutoTransform(false);  // pixel sizes are those stored, before any orientation
    if (!reader.canRead()) return NormaliseError::unreadable;

    // Only the header is read here; pixels are decoded only when re-encoding.
    const QSize size = reader.size();
    if (!size.isValid() || size.width() < 1 || size.height() < 1) return NormaliseError::noPixelSize;
    const QString type = typeIdentifier(reader.format());
    const qint64 width = size.width();
    const qint64 height = size.height();
    const qint64 longest = std::max(width, height);

    if (passThroughTypes().contains(type) && longest <= maxPixelSide && bytes.size() <= maxPassThroughBytes)
        return Normalised{bytes, type, size};

    const double scale = std::min(double(maxPixelSide) / double(longest), 1.0);
    const int newWidth = int(std::max<qint64>(qint64(scale * double(width)), 1));
    const int newHeight = int(std::max<qint64>(qint64(scale * double(height)), 1));

    // What decoding costs at four bytes a pixel. Most decoders (PNG among them) decode the whole
    // picture before scaling it; JPEG scales while it reads but only down to an eighth of each side;
    // a vector picture is drawn at the wanted size.
    const QByteArray format = reader.format().toLower();
    const qint64 wanted = qint64(newWidth) * newHeight;
    qint64 decodedPixels = width * height;
    if (format == "jpeg" || format == "jpg") {
        decodedPixels = std::max(wanted, ((width + 7) / 8) * ((height + 7) / 8));
    } else if (format == "svg" || format == "svgz") {
        decodedPixels = wanted;
    }
    if (decodedPixels > decodeLimitBytes / 4) return NormaliseError::tooLarge;

    // Redrawn in 32-bit RGB(A) at the new size, in the picture's own colours whatever its depth.
    QImage decoded = ScaledPicture::read(reader, scale < 1.0 ? QSize(newWidth, newHeight) : QSize());
    if (decoded.isNull()) return NormaliseError::decodeFailed;
    const bool hasAlpha = decoded.hasAlphaChannel();
    if (decoded.size() != QSize(newWidth, newHeight))
        decoded = decoded.scaled(newWidth, newHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (decoded.isNull()) return NormaliseError::decodeFailed;

    QByteArray encoded;
    QBuffer target(&encoded);
    target.open(QIODevice::WriteOnly);
    QString encodedType;
    if (hasAlpha) {
        QImageWriter writer(&target, "png");
        if (!writer.write(decoded)) return NormaliseError::encodeFailed;
        encodedType = QStringLiteral("public.png");
    } else {
        QImageWriter writer(&target, "jpeg");
        writer.setQuality(85);
        if (!writer.write(decoded)) return NormaliseError::encodeFailed;
        encodedType = QStringLiteral("public.jpeg");
    }
    if (encoded.isEmpty()) return NormaliseError::encodeFailed;
    return Normalised{encoded, encodedType, QSize(newWidth, newHeight)};
}

QString NoteImage::hash(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}
