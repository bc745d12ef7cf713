#include "editor/text/RichTextBridge.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <cmath>

#include "design/TarnwickTheme.h"
#include "editor/text/MarkdownAutoFormat.h"

namespace {

TextFont systemFont(qreal size, int weight = 400)
{
    return TextFont{QString(), size, weight, false};
}

}  // namespace

bool RichTextBridge::matches(const QColor& a, const QColor& b)
{
    if (!a.isValid() || !b.isValid()) return false;
    const QColor x = a.toExtendedRgb();
    const QColor y = b.toExtendedRgb();
    return std::abs(x.redF() - y.redF()) < 0.02 && std::abs(x.greenF() - y.greenF()) < 0.02 &&
           std::abs(x.blueF() - y.blueF()) < 0.02;
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

qreal RichTextBridge::lineSpacing(qreal lineHeight, const TextFont& font)
{
    // Font metrics need the GUI font database; without it (command-line tools) no spacing is added.
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return 0;
    QFont qfont = font.family.isEmpty() ? QFontDatabase::systemFont(QFontDatabase::GeneralFont) : QFont(font.family);
    qfont.setPointSizeF(font.pointSize);
    qfont.setWeight(static_cast<QFont::Weight>(font.weight));
    qfont.setItalic(font.italic);
    const QFontMetricsF metrics(qfont);
    // Qt's descent is positive where the other text system's descender is negative.
    return std::max<qreal>(0, lineHeight - std::ceil(metrics.ascent() + metrics.descent() + metrics.leading()));
}

AttributedText RichTextBridge::toNSAttributed(const AttributedText& text, const std::optional<FontContext>& context)
{
    const ParagraphStyle paragraph{lineSpacing(defaultLineHeight, systemFont(bodySize)), 0, 0};
    const QColor& done = MarkdownAutoFormat::doneColor();
    AttributedText result;
    for (const AttributedText::Run& run : text.runs()) {
        const TextAttributes& source = run.attributes;
        TextAttributes attributes;
        attributes.paragraphStyle = paragraph;
        attributes.font = nsFont(source.font, context);
        attributes.underline = source.underline != 0 ? 1 : 0;
        attributes.strikethrough = source.strikethrough != 0 ? 1 : 0;
        attributes.foreground =
            source.foreground && matches(*source.foreground, done) ? done : TarnwickTheme::textPrimary();
        result.append(text.text().mid(run.start, run.length), attributes);
    }
    return result;
}
