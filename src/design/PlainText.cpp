#include "design/PlainText.h"

QString PlainText::toolTip(const QString& text)
{
    if (text.isEmpty()) return {};
    return QStringLiteral("<qt>") + text.toHtmlEscaped() + QStringLiteral("</qt>");
}

QString PlainText::buttonTitle(const QString& text)
{
    QString doubled = text;
    return doubled.replace(QLatin1Char('&'), QStringLiteral("&&"));
}
