#include "model/TextRunsCodec.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <cmath>

#include "model/text/RichTextBridge.h"

TextRuns TextRunsCodec::encode(const AttributedText& text, const BaseStyle& base)
{
    TextRuns result;
    result.text = text.text();
    for (const AttributedText::Run& range : text.runs()) {
        if (range.length <= 0) continue;
        const TextAttributes& a = range.attributes;
        TextRuns::Run run;
        run.loc = range.start;
        run.len = range.length;

        const TextFont& font = a.font ? *a.font : base.font;
        if (font.isBold()) run.b = true;
        if (font.italic) run.i = true;
        if (std::abs(font.pointSize - base.font.pointSize) > 0.01) run.size = font.pointSize;
        if (!font.family.isEmpty() && font.family != base.font.family) run.family = font.family;
        if (a.underline != 0) run.u = true;
        if (a.strikethrough != 0) run.s = true;
        // Text in (nearly) the ink is not stored, so it reads back as exactly the ink.
        if (a.foreground && !RichTextBridge::matches(*a.foreground, base.color)) run.fg = hex(*a.foreground);
        if (a.background) run.bg = hex(*a.background);
        if (a.link) run.link = linkString(*a.link);

        const bool marked = run.b || run.i || run.u || run.s || run.size || run.family || run.fg || run.bg;
        if (!marked && !run.link) continue;
        if (!result.runs.isEmpty()) {
            TextRuns::Run& last = result.runs.last();
            if (last.loc + last.len == run.loc && last.marksEqual(run)) {
                last.len += run.len;
                continue;
            }
        }
        result.runs.append(run);
    }
    return result;
}

AttributedText TextRunsCodec::decode(const TextRuns& runs, const BaseStyle& base)
{
    TextAttributes baseAttributes;
    baseAttributes.font = base.font;
    baseAttributes.foreground = base.color;
    baseAttributes.paragraphStyle = base.paragraphStyle;
    AttributedText text(runs.text, baseAttributes);
    const qint64 length = runs.text.size();
    for (const TextRuns::Run& run : runs.runs) {
        // Unusable ranges are dropped without notice; the others still apply.
        if (run.len <= 0 || run.loc < 0 || run.loc > length - run.len) continue;
        const TextFont runFont = font(run, base.font);
        const std::optional<QColor> fg = run.fg ? colorFromHex(*run.fg) : std::nullopt;
        const std::optional<QColor> bg = run.bg ? colorFromHex(*run.bg) : std::nullopt;
        std::optional<TextLink> link;
        if (run.link) {
            const QUrl url(*run.link, QUrl::StrictMode);
            if (url.isValid() && !run.link->isEmpty())
                link = url;
            else
                link = *run.link;
        }
        // Flags only ever add a line: a later run without them removes nothing.
        text.modify(run.loc, run.len, [&](TextAttributes& a) {
            a.font = runFont;
            if (run.u.value_or(false)) a.underline = 1;
            if (run.s.value_or(false)) a.strikethrough = 1;
            if (fg) a.foreground = *fg;
            if (bg) a.background = *bg;
            if (link) a.link = *link;
        });
    }
    return text;
}

TextFont TextRunsCodec::font(const TextRuns::Run& run, const TextFont& base)
{
    const qreal size = run.size ? *run.size : base.pointSize;
    const bool bold = run.b.value_or(false);
    const bool italic = run.i.value_or(false);
    const bool traits = bold || italic;
    if (run.family) {
        if (familyExists(*run.family)) {
            // Missing bold or italic faces are drawn synthetically, so the traits always hold.
            return TextFont{*run.family, size, bold ? 700 : 400, italic};
        }
        if (!traits) return base;
        TextFont font = base;
        font.pointSize = size;
        if (bold) font.weight = std::max(font.weight, 700);
        if (italic) font.italic = true;
        return font;
    }
    TextFont font = base;
    font.pointSize = size;
    if (traits) {
        // The requested traits replace the base font's own.
        font.weight = bold ? 700 : (base.isBold() ? 400 : base.weight);
        font.italic = italic;
    }
    return font;
}

std::optional<QColor> TextRunsCodec::colorFromHex(const QString& text)
{
    const QStringView digits = text.startsWith(QLatin1Char('#')) ? QStringView(text).mid(1) : QStringView(text);
    if (digits.size() != 6) return std::nullopt;
    for (QChar c : digits) {
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F'))) return std::nullopt;
    }
    const uint v = digits.toUInt(nullptr, 16);
    return QColor::fromRgb(int((v >> 16) & 255), int((v >> 8) & 255), int(v & 255));
}

std::optional<QString> TextRunsCodec::hex(const QColor& color)
{
    if (!color.isValid()) return std::nullopt;
    // Components outside the sRGB range are clamped to the nearest colour that has a stored form.
    const QColor c = color.toExtendedRgb();
    auto byte = [](float component) { return int(std::lround(std::clamp(component, 0.0f, 1.0f) * 255)); };
    return QString::asprintf("%02X%02X%02X", byte(c.redF()), byte(c.greenF()), byte(c.blueF()));
}

std::optional<QString> TextRunsCodec::linkString(const TextLink& link)
{
    QString text;
    if (const QUrl* url = std::get_if<QUrl>(&link))
        text = url->toString(QUrl::FullyEncoded);
    else
        text = std::get<QString>(link);
    if (text.isEmpty()) return std::nullopt;
    return text;
}

bool TextRunsCodec::familyExists(const QString& family)
{
    // Without the GUI font database (command-line tools) there is nothing to check against.
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return true;
    return QFontDatabase::hasFamily(family);
}
