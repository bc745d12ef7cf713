#include "model/text/TextPictures.h"

#include "platform/BoundedFile.h"
#include "platform/PictureGuard.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>

std::optional<QByteArray> TextPictures::attachmentBytes(const TextAttachment& attachment)
{
    if (!attachment.fileContents.isEmpty()) return attachment.fileContents;
    if (attachment.image.isNull()) return std::nullopt;
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(attachment.image) || png.isEmpty()) return std::nullopt;
    return png;
}

std::variant<QByteArray, TextPictures::Skipped> TextPictures::readPictureFile(const QString& path)
{
    const bool namedPicture =
        QImageReader::supportedImageFormats().contains(QFileInfo(path).suffix().toLower().toUtf8());
    auto opened = BoundedFile::open(path, maximumBytes);
    if (const auto* refused = std::get_if<BoundedFile::Refused>(&opened)) {
        switch (refused->failure) {
            case BoundedFile::Failure::Missing:
                return Skipped{path, QStringLiteral("the file does not exist"), !namedPicture};
            case BoundedFile::Failure::Folder:
                return Skipped{path, QStringLiteral("it is a folder"), true};
            case BoundedFile::Failure::NotRegular:
                return Skipped{path, QStringLiteral("it is not a regular file")};
            case BoundedFile::Failure::TooLarge:
                return Skipped{path, QStringLiteral("it is larger than 64 MiB")};
            case BoundedFile::Failure::Unreadable:
                return Skipped{path, QStringLiteral("it cannot be read: ") + refused->error, !namedPicture};
        }
    }
    BoundedFile& file = std::get<BoundedFile>(opened);
    if (file.size() > maximumBytes) return Skipped{path, QStringLiteral("it is larger than 64 MiB")};
    // The head of the file says whether it is a picture; a large text file is not read whole for that.
    const QByteArray head = file.readSome(4096);
    QBuffer headBuffer;
    headBuffer.setData(head);
    headBuffer.open(QIODevice::ReadOnly);
    if (!namedPicture && QImageReader::imageFormat(&headBuffer).isEmpty())
        return Skipped{path, QStringLiteral("it is not a picture"), true};
    // The size is checked again while reading: the file may grow after the checks above.
    const QByteArray bytes = head + file.readSome(maximumBytes + 1);
    if (file.overflowed()) return Skipped{path, QStringLiteral("it is larger than 64 MiB")};
    if (bytes.isEmpty()) return Skipped{path, QStringLiteral("it is empty")};
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    if (!QImageReader(&buffer).canRead()) return Skipped{path, QStringLiteral("it is not a picture")};
    if (const auto why = refusal(bytes)) return Skipped{path, *why};
    return bytes;
}

std::optional<QString> TextPictures::refusal(const QByteArray& bytes)
{
    if (PictureGuard::selfContained(bytes)) return std::nullopt;
    return QStringLiteral("it refers to files outside itself");
}
