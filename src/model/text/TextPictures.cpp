#include "model/text/TextPictures.h"

#include <QBuffer>
#include <QFile>
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

TextPictures::Split TextPictures::splitAttachments(const AttributedText& text)
{
    Split split;
    qsizetype from = 0;
    for (const AttributedText::Run& run : text.runs()) {
        if (!run.attributes.attachment) continue;
        split.prose.append(text.mid(from, run.start - from));
        from = run.start + run.length;
        // One picture per character of the run: neighbouring characters may show the same picture.
        for (qsizetype i = 0; i < run.length; ++i)
            if (const auto bytes = attachmentBytes(*run.attributes.attachment)) split.images.push_back(*bytes);
    }
    split.prose.append(text.mid(from, text.length() - from));
    return split;
}

std::variant<QByteArray, TextPictures::Skipped> TextPictures::readPictureFile(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists()) return Skipped{path, QStringLiteral("the file does not exist")};
    // Symbolic links are followed; what they point at must be a plain file too.
    if (!info.isFile()) return Skipped{path, QStringLiteral("it is not a regular file")};
    if (info.size() > maximumBytes) return Skipped{path, QStringLiteral("it is larger than 64 MB")};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return Skipped{path, QStringLiteral("it cannot be read: ") + file.errorString()};
    // The size is checked again while reading: the file may grow after the check above.
    const QByteArray bytes = file.read(maximumBytes + 1);
    if (bytes.size() > maximumBytes) return Skipped{path, QStringLiteral("it is larger than 64 MB")};
    if (bytes.isEmpty()) return Skipped{path, QStringLiteral("it is empty")};
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    if (!QImageReader(&buffer).canRead()) return Skipped{path, QStringLiteral("it is not a picture")};
    return bytes;
}
