#pragma once

#include <QColor>
#include <optional>

#include "model/ResolvedNoteTheme.h"
#include "model/text/AttributedText.h"

// Between the editor's text (fonts, colours, line styles, paragraph styles) and the reduced model that
// the legacy bodies were stored in (size class, bold, italic, line styles, the done colour), plus the
// editor's typing attributes, list paragraph style and re-inking.
class RichTextBridge {
public:
    // Fonts here are concrete, so resolving one needs nothing from the environment; a context only says
    // that the caller lets run fonts be resolved at all. Without one, every run becomes body text.
    struct FontContext {};

    static constexpr qreal bodySize = 14.5;
    static constexpr qreal defaultLineHeight = 21.025;  // 1.45 x the body size

    // The ink of a done to-do item's content, drawn struck through.
    static const QColor& doneColor();

    // True when both colours convert to sRGB and red, green and blue each differ by less than 0.02.
    static bool matches(const QColor& a, const QColor& b);
    static bool isDoneColor(const QColor& color) { return matches(color, doneColor()); }

    // The theme's family at the body size when that family exists, else the system font.
    static TextFont baseFont(const std::optional<ResolvedNoteTheme>& theme);
    // Extra space between lines so that a line of the given font is lineHeight design points tall.
    static qreal lineSpacing(qreal lineHeight, const TextFont& font);
    // Only the theme's line spacing.
    static ParagraphStyle bodyParagraphStyle(const std::optional<ResolvedNoteTheme>& theme);
    // Font, ink and paragraph style of plain body text.
    static TextAttributes typingAttributes(const std::optional<ResolvedNoteTheme>& theme);
    // Wrapped lines of a list item start under its text, after the marker.
    static ParagraphStyle listParagraphStyle(const QString& prefix, const TextFont& font,
                                             const std::optional<ResolvedNoteTheme>& theme);

    // The text for a new theme: every font takes the theme's family (keeping size and traits), and text
    // in the previous ink (or in none) takes the new ink; the done colour and chosen colours stay.
    static AttributedText restyled(const AttributedText& text, const std::optional<ResolvedNoteTheme>& theme,
                                   const std::optional<QColor>& previousInk);
    static TextFont refamilied(const TextFont& font, const std::optional<QString>& family);

    // Rebuilds a text of the reduced model in the editor's terms, run by run, keeping every character:
    // each run gets its font mapped to a size class, the done colour or else the primary text colour,
    // single underline and strikethrough when it had any, and the default line spacing.
    static AttributedText toNSAttributed(const AttributedText& text, const std::optional<FontContext>& context);

    // The font a run of the reduced model shows in: headings at 20 and 17 points semibold, body text at
    // 14.5 points keeping bold and italic.
    static TextFont nsFont(const std::optional<TextFont>& font, const std::optional<FontContext>& context);
};
