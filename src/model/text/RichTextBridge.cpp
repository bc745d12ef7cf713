#include "model/text/RichTextBridge.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <cmath>

#include "design/TarnwickTheme.h"

namespace {

TextFont systemFont(qreal size, int weight = 400)
{
    return TextFont{QString(), size, weight, false};
}

// Font metrics need the GUI font database; command-line tools have none.
bool hasFontDatabase()
{
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

bool familyExists(const QString& family)
{
    return !hasFontDatabase() || QFontDatabase::hasFamily(family);
}

}  // namespace

const QColor& RichTextBridge::doneColor()
{
    static const QColor color = QColor::fromRgbF(0.45f, 0.42f, 0.38f, 1.0f);
    return color;
}

bool RichTextBridge::matches(const QColor& a, const QColor& b)
{
    if (!a.isValid() || !b.isValid()) return false;
    const QColor x = a.toExtendedRgb();
    const QColor y = b.toExtendedRgb();
    return std::abs(x.redF() - y.redF()) < 0.02 && std::abs(x.greenF() - y.greenF()) < 0.02 &&
           std::abs(x.blueF() - y.blueF()) < 0.02;
}

TextFont RichTextBridge::baseFont(const std::optional<ResolvedNoteTheme>& theme)
{
    if (theme && theme->fontFamily && !theme->fontFamily->isEmpty() && familyExists(*theme->fontFamily))
        return TextFont{*theme->fontFamily, bodySize, 400, false};
    return systemFont(bodySize);
}

qreal RichTextBridge::lineSpacing(qreal lineHeight, const TextFont& font)
{
    if (!hasFontDatabase()) return 0;
    const QFontMetricsF metrics(font.toQFont());
    // Qt's descent is positive where the other text system's descender is negative.
    return std::max<qreal>(0, lineHeight - std::ceil(metrics.ascent() + metrics.descent() + metrics.leading()));
}

ParagraphStyle RichTextBridge::bodyParagraphStyle(const std::optional<ResolvedNoteTheme>& theme)
{
    const qreal factor = theme ? theme->lineHeight : 1.45;
    return ParagraphStyle{lineSpacing(factor * bodySize, baseFont(theme)), 0, 0};
}

TextAttributes RichTextBridge::typingAttributes(const std::optional<ResolvedNoteTheme>& theme)
{
    TextAttributes attributes;
    attributes.font = baseFont(theme);
    attributes.foreground = theme && theme->ink.isValid() ? theme->ink : TarnwickTheme::textPrimary();
    attributes.paragraphStyle = bodyParagraphStyle(theme);
    return attributes;
}

ParagraphStyle RichTextBridge::listParagraphStyle(const QString& prefix, const TextFont& font,
                                                  const std::optional<ResolvedNoteTheme>& theme)
{
    const qreal lineHeight = theme ? theme->lineHeight * bodySize : defaultLineHeight;
    const qreal width = hasFontDatabase() ? QFontMetricsF(font.toQFont()).horizontalAdvance(prefix) : 0;
    return ParagraphStyle{lineSpacing(lineHeight, font), 4, std::ceil(width) + 4};
}

TextFont RichTextBridge::refamilied(const TextFont& font, const std::optional<QString>& family)
{
    TextFont result = font;
    result.family = family && familyExists(*family) ? *family : QString();
    return result;
}

AttributedText RichTextBridge::restyled(const AttributedText& text, const std::optional<ResolvedNoteTheme>& theme,
                                        const std::optional<QColor>& previousInk)
{
    const QColor newInk = theme && theme->ink.isValid() ? theme->ink : TarnwickTheme::textPrimary();
    const std::optional<QString> family = theme ? theme->fontFamily : std::nullopt;
    const QColor oldInk = previousInk ? *previousInk : TarnwickTheme::textPrimary();
    const TextFont base = baseFont(theme);
    AttributedText result = text;
    result.modify(0, result.length(), [&](TextAttributes& a) {
        a.font = refamilied(a.font.value_or(base), family);
        const QColor colour = a.foreground.value_or(oldInk);
        if (!isDoneColor(colour) && matches(colour, oldInk)) a.foreground = newInk;
    });
    return result;
}

TextFont RichTextBridge::nsFont(const std::optional<TextFont>& font, const std::optional<FontContext>& context)
{
    if (!font || !context) return systemFont(bodySize);
    if (font->pointSize >= 19) return systemFont(20, 600);
    if (font->pointSize >= 16) return systemFont(17, 600);
    TextFont body = systemFont(bodySize);
    if (font->isBold()) body.weight = 700;
    body.italic = font->italic;
    return body;
}

AttributedText RichTextBridge::toNSAttributed(const AttributedText& text, const std::optional<FontContext>& context)
{
    const ParagraphStyle paragraph{lineSpacing(defaultLineHeight, systemFont(bodySize)), 0, 0};
    AttributedText result;
    for (const AttributedText::Run& run : text.runs()) {
        const TextAttributes& source = run.attributes;
        TextAttributes attributes;
        attributes.paragraphStyle = paragraph;
        attributes.font = nsFont(source.font, context);
        attributes.underline = source.underline != 0 ? 1 : 0;
        attributes.strikethrough = source.strikethrough != 0 ? 1 : 0;
        attributes.foreground =
            source.foreground && isDoneColor(*source.foreground) ? doneColor() : TarnwickTheme::textPrimary();
        result.append(text.text().mid(run.start, run.length), attributes);
    }
    return result;
}
