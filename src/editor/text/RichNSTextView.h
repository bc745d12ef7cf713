#pragma once

#include <QByteArray>
#include <optional>

#include "editor/text/AttributedText.h"

// The text view of one text block. Its widget part belongs to the block editor and joins this class when
// that lands; the picture rule below is shared with the migration of legacy bodies and needs no widgets.
class RichNSTextView {
public:
    // An attachment's picture bytes: its file contents when not empty, else its image encoded as PNG;
    // none when it has neither or the encoding fails.
    static std::optional<QByteArray> attachmentBytes(const TextAttachment& attachment);
};
