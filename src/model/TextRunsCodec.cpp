#include "model/TextRunsCodec.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <cmath>
#include <vector>

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
    const qint64 length = runs.text.size();
    // Unusable ranges are dropped without notice; the others still apply.
    std::vector<const TextRuns::Run*> usable;
    usable.reserve(size_t(runs.runs.size()));
    bool ordered = true;
    for (const TextRuns::Run& run : runs.runs) {
        if (run.len <= 0 || run.loc < 0 || run.loc > length - run.len) continue;
        if (!usable.empty() && usable.back()->loc + usable.back()->len > run.loc) ordered = false;
        usable.push_back(&run);
    }
    // Flags only ever add a line: a later run without them removes nothing.
    auto mark = [&](const TextRuns::Run& run, TextAttributes& a) {
        a.font = font(run, base.font);
        if (run.u.value_or(false)) a.underline = 1;
        if (run.s.value_or(false)) a.strikethrough = 1;
        if (run.fg)
            if (const auto fg = colorFromHex(*run.fg)) a.foreground = *fg;
        if (run.bg)
            if (const auto bg = colorFromHex(*run.bg)) a.background = *bg;
        if (run.link) {
            const QUrl url(*run.link, QUrl::StrictMode);
            if (url.isValid() && !run.link->isEmpty())
                a.link = url;
            else
                a.link = *run.link;
        }
    };
    if (ordered) {
        // What encode writes: runs in text order that never overlap, laid down in one pass so a body of
        // many marks costs no more than its length.
        AttributedText text;
        qint64 at = 0;
        for (const TextRuns::Run* run : usable) {
            text.append(runs.text.mid(at, run->loc - at), baseAttributes);
            TextAttributes a = baseAttributes;
            mark(*run, a);
            text.append(runs.text.mid(run->loc, run->len), a);
            at = run->loc + run->len;
        }
        text.append(runs.text.mid(at), baseAttributes);
        return text;
    }
    AttributedText text(runs.text, baseAttributes);
    for (const TextRuns::Run* run : usable) text.modify(run->loc, run->len, [&](TextAttributes& a) { mark(*run, a); });
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
