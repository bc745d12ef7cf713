#pragma once

#include <QColor>
#include <optional>

#include "editor/text/AttributedText.h"

// Between the editor's text (fonts, colours, line styles, paragraph styles) and the reduced model that
// the markdown and list commands work on (size class, bold, italic, line styles, the done colour).
class RichTextBridge {
public:
    // Fonts here are concrete, so resolving one needs nothing from the environment; a context only says
    // that the caller lets run fonts be resolved at all. Without one, every run becomes body text.
    struct FontContext {};

    static constexpr qreal bodySize = 14.5;
    static constexpr qreal defaultLineHeight = 21.025;  // 1.45 x the body size

    // True when both colours convert to sRGB and red, green and blue each differ by less than 0.02.
    static bool matches(const QColor& a, const QColor& b);

    // Rebuilds a text of the reduced model in the editor's terms, run by run, keeping every character:
    // each run gets its font mapped to a size class, the done colour or else the primary text colour,
    // single underline and strikethrough when it had any, and the default line spacing.
    static AttributedText toNSAttributed(const AttributedText& text, const std::optional<FontContext>& context);

    // The font a run of the reduced model shows in: headings at 20 and 17 points semibold, body text at
    // 14.5 points keeping bold and italic.
    static TextFont nsFont(const std::optional<TextFont>& font, const std::optional<FontContext>& context);

    // Extra space between lines so that a line of the given font is lineHeight points tall.
    static qreal lineSpacing(qreal lineHeight, const TextFont& font);
};
