#include "editor/text/RichNSTextView.h"

#include <QBuffer>
#include <QImageWriter>

std::optional<QByteArray> RichNSTextView::attachmentBytes(const TextAttachment& attachment)
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
