#include "model/text/TextPictures.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

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
    const QByteArray native = QFile::encodeName(path);
    const bool namedPicture =
        QImageReader::supportedImageFormats().contains(QFileInfo(path).suffix().toLower().toUtf8());
    struct stat st {};
    if (::lstat(native.constData(), &st) != 0)
        return Skipped{path, QStringLiteral("the file does not exist"), !namedPicture};
    // A link is followed with stat, which never opens what it points at.
    if (S_ISLNK(st.st_mode) && ::stat(native.constData(), &st) != 0)
        return Skipped{path, QStringLiteral("the file does not exist"), !namedPicture};
    if (S_ISDIR(st.st_mode)) return Skipped{path, QStringLiteral("it is a folder"), true};
    if (!S_ISREG(st.st_mode)) return Skipped{path, QStringLiteral("it is not a regular file")};
    if (st.st_size > maximumBytes) return Skipped{path, QStringLiteral("it is larger than 64 MiB")};

    // Opened without waiting: the path may have been swapped for a pipe since it was looked at.
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return Skipped{path, QStringLiteral("it cannot be read: ") + QString::fromLocal8Bit(strerror(errno)),
                       !namedPicture};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return Skipped{path, QStringLiteral("it is not a regular file")};
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return Skipped{path, QStringLiteral("it cannot be read: ") + file.errorString()};
    }
    // The head of the file says whether it is a picture; a large text file is not read whole for that.
    const QByteArray head = file.read(4096);
    QBuffer headBuffer;
    headBuffer.setData(head);
    headBuffer.open(QIODevice::ReadOnly);
    if (!namedPicture && QImageReader::imageFormat(&headBuffer).isEmpty())
        return Skipped{path, QStringLiteral("it is not a picture"), true};
    // The size is checked again while reading: the file may grow after the checks above.
    const QByteArray bytes = head + file.read(maximumBytes + 1 - head.size());
    if (bytes.size() > maximumBytes) return Skipped{path, QStringLiteral("it is larger than 64 MiB")};
    if (bytes.isEmpty()) return Skipped{path, QStringLiteral("it is empty")};
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    if (!QImageReader(&buffer).canRead()) return Skipped{path, QStringLiteral("it is not a picture")};
    return bytes;
}
