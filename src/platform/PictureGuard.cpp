#include "platform/PictureGuard.h"

#include <QBuffer>
#include <QImageReader>
#include <QStringView>
#include <QXmlStreamReader>

namespace {

bool compressed(const QByteArray& bytes)
{
    return bytes.startsWith("\x1f\x8b");
}

// What the drawing decoder makes of a reference in a data: URL: the bytes after the last "base64,",
// which it decodes as a picture in turn. No payload (nothing is drawn) when there is no "base64,".
QByteArray inlinePayload(QStringView target)
{
    const qsizetype at = target.lastIndexOf(QLatin1String("base64,"));
    if (at < 0) return {};
    return QByteArray::fromBase64(target.mid(at + 7).toLatin1());
}

// A stylesheet that may load another one from outside the drawing.
bool importsStyles(QStringView css)
{
    return css.contains(QLatin1String("@import"), Qt::CaseInsensitive);
}

}  // namespace

bool PictureGuard::isDrawing(const QByteArray& bytes)
{
    if (compressed(bytes)) return true;
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    const QByteArray format = QImageReader::imageFormat(&buffer).toLower();
    if (format == "svg" || format == "svgz") return true;
    // A reader told the format by a file name would draw it even when the contents do not say so.
    return format.isEmpty() && bytes.contains("<svg");
}

bool PictureGuard::selfContained(const QByteArray& bytes)
{
    return selfContained(bytes, 0);
}

bool PictureGuard::selfContained(const QByteArray& bytes, int depth)
{
    if (!isDrawing(bytes)) return true;
    if (depth >= maxNesting || compressed(bytes)) return false;
    return drawingSelfContained(bytes, depth);
}

bool PictureGuard::drawingSelfContained(const QByteArray& bytes, int depth)
{
    QXmlStreamReader xml(bytes);
    // Prefixes are compared as written: a drawing that never declares xlink still gets its links seen.
    xml.setNamespaceProcessing(false);
    bool inStyle = false;
    QString style;  // a style sheet's text may come in pieces (CDATA sections, references)
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
            case QXmlStreamReader::DTD:
                if (!xml.entityDeclarations().isEmpty() || !xml.notationDeclarations().isEmpty()) return false;
                break;
            case QXmlStreamReader::ProcessingInstruction:
                if (xml.processingInstructionTarget().compare(QLatin1String("xml-stylesheet"), Qt::CaseInsensitive) ==
                    0)
                    return false;
                break;
            case QXmlStreamReader::Characters:
                if (inStyle) style += xml.text();
                break;
            case QXmlStreamReader::EndElement:
                if (inStyle && importsStyles(style)) return false;
                inStyle = false;
                style.clear();
                break;
            case QXmlStreamReader::StartElement: {
                inStyle = xml.qualifiedName() == QLatin1String("style") ||
                          xml.qualifiedName().endsWith(QLatin1String(":style"));
                // The decoder opens whatever an <image> names unless it starts with "data": even "#id".
                const bool image = xml.qualifiedName() == QLatin1String("image") ||
                                   xml.qualifiedName().endsWith(QLatin1String(":image"));
                for (const QXmlStreamAttribute& attribute : xml.attributes()) {
                    const QStringView name = attribute.qualifiedName();
                    const QStringView value = attribute.value().trimmed();
                    if (name == QLatin1String("style") && importsStyles(value)) return false;
                    if (name != QLatin1String("href") && !name.endsWith(QLatin1String(":href"))) continue;
                    if (value.isEmpty() || (!image && value.startsWith(u'#'))) continue;
                    // Compared as the decoder compares: case and all.
                    if (!value.startsWith(QLatin1String("data"))) return false;
                    if (!selfContained(inlinePayload(value), depth + 1)) return false;
                }
                break;
            }
            default:
                break;
        }
    }
    return !xml.hasError() && !(inStyle && importsStyles(style));
}
