#include "design/ColorHex.h"

#include <algorithm>
#include <cmath>

namespace {

bool isHexDigit(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F');
}

int channel(double component)
{
    return int(std::lround(std::clamp(component, 0.0, 1.0) * 255.0));
}

}  // namespace

std::optional<QColor> colorFromHex(const QString& text)
{
    QString digits = text.trimmed();
    if (digits.startsWith(u'#')) digits.remove(0, 1);
    if (digits.isEmpty() || !std::all_of(digits.begin(), digits.end(), isHexDigit)) return std::nullopt;
    if (digits.size() == 3) {
        QString wide;
        for (QChar c : digits) wide.append(c).append(c);
        digits = wide;
    }
    if (digits.size() != 6) return std::nullopt;
    const uint v = digits.toUInt(nullptr, 16);
    return QColor::fromRgbF(float((v >> 16) & 255) / 255.0f, float((v >> 8) & 255) / 255.0f, float(v & 255) / 255.0f,
                            1.0f);
}

QString hexString(const QColor& color)
{
    const QColor rgb = color.toRgb();
    return QStringLiteral("%1%2%3")
        .arg(channel(rgb.redF()), 2, 16, QLatin1Char('0'))
        .arg(channel(rgb.greenF()), 2, 16, QLatin1Char('0'))
        .arg(channel(rgb.blueF()), 2, 16, QLatin1Char('0'))
        .toUpper();
}
