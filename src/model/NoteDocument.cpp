#include "model/NoteDocument.h"

NoteDocument::Parts NoteDocument::split(const AttributedText& text)
{
    const qsizetype n = text.text().indexOf(u'\n');
    if (n < 0) return Parts{text.text(), AttributedText()};
    return Parts{text.text().left(n), text.mid(n + 1, text.length() - n - 1)};
}

QString NoteDocument::title(const AttributedText& text)
{
    const qsizetype n = text.text().indexOf(u'\n');
    return n < 0 ? text.text() : text.text().left(n);
}

AttributedText NoteDocument::compose(const QString& title, const AttributedText& body,
                                     const TextAttributes& titleAttributes, const TextAttributes& bodyAttributes)
{
    QString line = title;
    line.replace(QLatin1String("\r\n"), QLatin1String(" "));
    line.replace(u'\n', u' ');
    line.replace(u'\r', u' ');
    AttributedText result(line, titleAttributes);
    // The line break belongs to the body's style.
    result.append(QStringLiteral("\n"), bodyAttributes);
    result.append(body);
    return result;
}

qsizetype NoteDocument::bodyStart(const AttributedText& text)
{
    const qsizetype n = text.text().indexOf(u'\n');
    if (n < 0) return text.length();
    return std::min(n + 1, text.length());
}
