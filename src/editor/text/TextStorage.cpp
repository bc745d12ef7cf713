#include "editor/text/TextStorage.h"

#include <QFontDatabase>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include "design/TarnwickTheme.h"

void TextStorage::replace(qsizetype start, qsizetype length, const AttributedText& with)
{
    start = std::clamp<qsizetype>(start, 0, m_text.length());
    length = std::clamp<qsizetype>(length, 0, m_text.length() - start);
    m_text.replace(start, length, with);
    didReplace(start, length, with);
    Q_EMIT changed(start, length, with.length());
}

void TextStorage::modify(qsizetype start, qsizetype length, const std::function<void(TextAttributes&)>& change)
{
    start = std::clamp<qsizetype>(start, 0, m_text.length());
    length = std::clamp<qsizetype>(length, 0, m_text.length() - start);
    if (length == 0) return;
    m_text.modify(start, length, change);
    didModify(start, length);
    Q_EMIT changed(start, length, length);
}

AttributedText TextStorage::normalizedLineBreaks(const AttributedText& text)
{
    const QString& s = text.text();
    if (!s.contains(u'\r') && !s.contains(QChar::ParagraphSeparator)) return text;
    AttributedText result;
    qsizetype from = 0;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c != u'\r' && c != QChar::ParagraphSeparator) continue;
        result.append(text.mid(from, i - from));
        result.append(QStringLiteral("\n"), text.attributesAt(i));
        from = i + 1;
        if (c == u'\r' && i + 1 < s.size() && s[i + 1] == u'\n') from = ++i + 1;
    }
    result.append(text.mid(from, s.size() - from));
    return result;
}

namespace {

// Our own copies of what a QTextCharFormat cannot hold exactly (design sizes, which link form, the style
// number of a line), so that attributes come back from the document as they went in.
enum Property {
    fontFamily = QTextFormat::UserProperty + 1,
    fontSize,
    fontWeight,
    fontItalic,
    underlineStyle,
    strikeStyle,
    linkIsText,
    lineSpacing,
    firstIndent,
    headIndent,
    hasParagraph,
    hasFont,
    linkLook,
    storedForeground,
};

}  // namespace

DocumentTextStorage::DocumentTextStorage(QObject* parent) : TextStorage(parent), m_document(new QTextDocument(this))
{
    m_document->setUndoRedoEnabled(false);
    m_document->setDocumentMargin(0);
    // Layout work (an input method's composing text) also reports a change; only a change of the
    // characters counts.
    connect(m_document, &QTextDocument::contentsChanged, this, [this] {
        if (m_ownEdits == 0 && m_document->characterCount() - 1 != m_text.length()) ++m_foreignChanges;
    });
}

DocumentTextStorage::~DocumentTextStorage() = default;

QTextCharFormat DocumentTextStorage::charFormat(const TextAttributes& a)
{
    QTextCharFormat format;
    if (a.font) {
        format.setFont(a.font->toQFont(), QTextCharFormat::FontPropertiesSpecifiedOnly);
        format.setProperty(hasFont, true);
        format.setProperty(fontFamily, a.font->family);
        format.setProperty(fontSize, a.font->pointSize);
        format.setProperty(fontWeight, a.font->weight);
        format.setProperty(fontItalic, a.font->italic);
    }
    if (a.foreground) format.setForeground(*a.foreground);
    if (a.background) format.setBackground(*a.background);
    if (a.underline) {
        format.setFontUnderline(true);
        format.setProperty(underlineStyle, a.underline);
    }
    if (a.strikethrough) {
        format.setFontStrikeOut(true);
        format.setProperty(strikeStyle, a.strikethrough);
    }
    if (a.link) {
        // Links are drawn in the accent with a single underline; the stored ink and underline are
        // kept aside so the attributes read back as they went in.
        format.setProperty(linkLook, true);
        if (a.foreground) format.setProperty(storedForeground, *a.foreground);
        format.setForeground(TarnwickTheme::accent());
        format.setFontUnderline(true);
        format.setAnchor(true);
        if (const QUrl* url = std::get_if<QUrl>(&*a.link)) {
            format.setAnchorHref(url->toString());
        } else {
            format.setAnchorHref(std::get<QString>(*a.link));
            format.setProperty(linkIsText, true);
        }
    }
    if (a.paragraphStyle) {
        format.setProperty(hasParagraph, true);
        format.setProperty(lineSpacing, a.paragraphStyle->lineSpacing);
        format.setProperty(firstIndent, a.paragraphStyle->firstLineHeadIndent);
        format.setProperty(headIndent, a.paragraphStyle->headIndent);
    }
    return format;
}

TextAttributes DocumentTextStorage::attributes(const QTextCharFormat& format)
{
    TextAttributes a;
    if (format.boolProperty(hasFont)) {
        a.font = TextFont{format.stringProperty(fontFamily), format.doubleProperty(fontSize),
                          format.intProperty(fontWeight), format.boolProperty(fontItalic)};
    } else if (format.hasProperty(QTextFormat::FontPointSize) || format.hasProperty(QTextFormat::FontFamilies)) {
        a.font = TextFont::fromQFont(format.font());
    }
    const bool looksLikeLink = format.boolProperty(linkLook);
    if (looksLikeLink) {
        if (format.hasProperty(storedForeground)) a.foreground = format.colorProperty(storedForeground);
    } else if (format.hasProperty(QTextFormat::ForegroundBrush)) {
        a.foreground = format.foreground().color();
    }
    if (format.hasProperty(QTextFormat::BackgroundBrush)) a.background = format.background().color();
    if (looksLikeLink)
        a.underline = format.hasProperty(underlineStyle) ? format.intProperty(underlineStyle) : 0;
    else if (format.fontUnderline())
        a.underline = format.hasProperty(underlineStyle) ? format.intProperty(underlineStyle) : 1;
    if (format.fontStrikeOut()) a.strikethrough = format.hasProperty(strikeStyle) ? format.intProperty(strikeStyle) : 1;
    if (format.isAnchor() && !format.anchorHref().isEmpty()) {
        if (format.boolProperty(linkIsText))
            a.link = format.anchorHref();
        else
            a.link = QUrl(format.anchorHref());
    }
    if (format.boolProperty(hasParagraph))
        a.paragraphStyle = ParagraphStyle{format.doubleProperty(lineSpacing), format.doubleProperty(firstIndent),
                                          format.doubleProperty(headIndent)};
    return a;
}

void DocumentTextStorage::didReplace(qsizetype start, qsizetype removed, const AttributedText& with)
{
    ++m_ownEdits;
    QTextCursor cursor(m_document);
    cursor.beginEditBlock();
    cursor.setPosition(int(start));
    cursor.setPosition(int(start + removed), QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    for (const AttributedText::Run& run : with.runs()) {
        const QTextCharFormat format = charFormat(run.attributes);
        const QStringView piece = QStringView(with.text()).mid(run.start, run.length);
        qsizetype from = 0;
        for (qsizetype i = piece.indexOf(u'\n'); i >= 0; i = piece.indexOf(u'\n', i + 1)) {
            if (i > from) cursor.insertText(piece.mid(from, i - from).toString(), format);
            // The separator's format is the new block's character format.
            cursor.insertBlock(QTextBlockFormat(), format);
            from = i + 1;
        }
        if (from < piece.size()) cursor.insertText(piece.mid(from).toString(), format);
    }
    cursor.endEditBlock();
    applyBlockFormats(start, start + with.length());
    --m_ownEdits;
}

void DocumentTextStorage::didModify(qsizetype start, qsizetype length)
{
    ++m_ownEdits;
    QTextCursor cursor(m_document);
    cursor.beginEditBlock();
    const AttributedText piece = m_text.mid(start, length);
    for (const AttributedText::Run& run : piece.runs()) {
        const QTextCharFormat format = charFormat(run.attributes);
        const QString& s = piece.text();
        // A separator's format lives in the block after it; setCharFormat over it sets that too.
        cursor.setPosition(int(start + run.start));
        cursor.setPosition(int(start + run.start + run.length), QTextCursor::KeepAnchor);
        cursor.setCharFormat(format);
        for (qsizetype i = s.indexOf(u'\n', run.start); i >= 0 && i < run.start + run.length;
             i = s.indexOf(u'\n', i + 1)) {
            QTextBlock next = m_document->findBlock(int(start + i + 1));
            if (next.isValid()) {
                QTextCursor c(next);
                c.setBlockCharFormat(format);
            }
        }
    }
    cursor.endEditBlock();
    applyBlockFormats(start, start + length);
    --m_ownEdits;
}

void DocumentTextStorage::applyBlockFormats(qsizetype from, qsizetype to)
{
    QTextBlock block = m_document->findBlock(int(from));
    for (; block.isValid() && block.position() <= to; block = block.next()) {
        const qsizetype position = block.position();
        // An empty last paragraph takes the style of the text before it.
        const qsizetype at = position < m_text.length() ? position : position - 1;
        const std::optional<ParagraphStyle> style = at >= 0 ? m_text.attributesAt(at).paragraphStyle : std::nullopt;
        QTextBlockFormat format;
        if (style) {
            format.setLineHeight(style->lineSpacing, QTextBlockFormat::LineDistanceHeight);
            format.setLeftMargin(style->headIndent);
            format.setTextIndent(style->firstLineHeadIndent - style->headIndent);
        }
        if (block.blockFormat() == format) continue;
        QTextCursor cursor(block);
        cursor.setBlockFormat(format);
    }
}

AttributedText DocumentTextStorage::readDocument() const
{
    AttributedText result;
    for (QTextBlock block = m_document->begin(); block.isValid(); block = block.next()) {
        if (block != m_document->begin()) result.append(QStringLiteral("\n"), attributes(block.charFormat()));
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            result.append(fragment.text(), attributes(fragment.charFormat()));
        }
    }
    return result;
}
