#pragma once

#include <optional>

#include "model/BaseStyle.h"
#include "model/NoteBlock.h"
#include "model/text/AttributedText.h"

// Converts between the editor's attributed text and the stored runs of a text block, always relative to
// a base style: only what differs from the base is stored, and reading lays the base over the whole text
// before the stored marks.
class TextRunsCodec {
public:
    // The text must hold no attachments (callers turn pictures into image blocks first).
    static TextRuns encode(const AttributedText& text, const BaseStyle& base);
    static AttributedText decode(const TextRuns& runs, const BaseStyle& base);

private:
    static TextFont font(const TextRuns::Run& run, const TextFont& base);
    static std::optional<QColor> colorFromHex(const QString& hex);
    static std::optional<QString> hex(const QColor& color);
    static std::optional<QString> linkString(const TextLink& link);
    static bool familyExists(const QString& family);
};
