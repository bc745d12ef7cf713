#include "editor/text/PastedHtml.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>

#include "editor/text/MarkdownAutoFormat.h"

namespace {

// A document for pasted HTML that never reaches for a file or the network.
class InertDocument : public QTextDocument {
public:
    using QTextDocument::QTextDocument;

protected:
    QVariant loadResource(int, const QUrl&) override { return QVariant(); }
};

// A list item's marker as the editor writes lists: four spaces a level, then a bullet or the item's
// number in the style of its depth. Empty for a block outside any list.
QString listMarker(const QTextBlock& block)
{
    const QTextList* list = block.textList();
    if (!list) return {};
    const QTextListFormat format = list->format();
    const qsizetype depth = std::max(0, format.indent() - 1);
    QString marker(4 * depth, u' ');
    switch (format.style()) {
        case QTextListFormat::ListDecimal:
        case QTextListFormat::ListLowerAlpha:
        case QTextListFormat::ListUpperAlpha:
        case QTextListFormat::ListLowerRoman:
        case QTextListFormat::ListUpperRoman:
            marker +=
                MarkdownAutoFormat::ordinalText(list->itemNumber(block) + 1, MarkdownAutoFormat::ordinalStyle(depth)) +
                QStringLiteral(". ");
            break;
        default:
            marker += MarkdownAutoFormat::bulletMarker;
            break;
    }
    return marker;
}

}  // namespace

AttributedText PastedHtml::text(const QString& html, const TextAttributes& typing, bool atLineStart)
{
    InertDocument document;
    document.setHtml(html);
    AttributedText result;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const bool first = block == document.begin();
        if (!first) result.append(QStringLiteral("\n"), typing);
        if (const QString marker = listMarker(block); !marker.isEmpty() && (atLineStart || !first))
            result.append(marker, typing);
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QTextCharFormat format = fragment.charFormat();
            if (format.isImageFormat()) continue;
            QString text = fragment.text();
            text.remove(QChar(QChar::ObjectReplacementCharacter));
            text.remove(QChar(0xFDD0));
            text.remove(QChar(0xFDD1));
            text.replace(QChar(QChar::LineSeparator), u'\n');
            if (text.isEmpty()) continue;
            TextAttributes a = typing;
            TextFont font = typing.font.value_or(TextFont{});
            if (format.hasProperty(QTextFormat::FontWeight)) font.weight = format.fontWeight();
            if (format.hasProperty(QTextFormat::FontItalic)) font.italic = format.fontItalic();
            if (format.hasProperty(QTextFormat::FontPointSize))
                font.pointSize = format.fontPointSize() / TextFont::qtPointsPerDesignPoint;
            if (format.hasProperty(QTextFormat::FontFamilies)) {
                const QStringList families = format.fontFamilies().toStringList();
                if (!families.isEmpty()) font.family = families.front();
            }
            a.font = font;
            if (format.fontUnderline()) a.underline = 1;
            if (format.fontStrikeOut()) a.strikethrough = 1;
            if (format.hasProperty(QTextFormat::ForegroundBrush)) a.foreground = format.foreground().color();
            if (format.hasProperty(QTextFormat::BackgroundBrush)) a.background = format.background().color();
            if (format.isAnchor() && !format.anchorHref().isEmpty()) {
                const QUrl url(format.anchorHref(), QUrl::StrictMode);
                if (url.isValid())
                    a.link = url;
                else
                    a.link = format.anchorHref();
            }
            result.append(text, a);
        }
    }
    return result;
}
