#include "design/HexColor.h"

#include <algorithm>
#include <cmath>

namespace {

bool isAsciiHexDigit(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F');
}

// sRGB components clamped to 0...1; white when the colour cannot be read.
void srgbComponents(const QColor& color, float& r, float& g, float& b)
{
    if (!color.isValid()) {
        r = g = b = 1.0f;
        return;
    }
    const QColor c = color.spec() == QColor::ExtendedRgb ? color : color.toRgb();
    r = std::clamp(c.redF(), 0.0f, 1.0f);
    g = std::clamp(c.greenF(), 0.0f, 1.0f);
    b = std::clamp(c.blueF(), 0.0f, 1.0f);
}

}  // namespace

std::optional<QColor> colorFromHex(const QString& text)
{
    QString digits = text.trimmed();
    if (digits.startsWith(u'#')) digits.remove(0, 1);
    if (digits.size() != 3 && digits.size() != 6) return std::nullopt;
    if (!std::all_of(digits.cbegin(), digits.cend(), isAsciiHexDigit)) return std::nullopt;
    if (digits.size() == 3) {
        QString doubled;
        for (const QChar c : digits) {
            doubled += c;
            doubled += c;
        }
        digits = doubled;
    }
    bool ok = false;
    const uint value = digits.toUInt(&ok, 16);
    if (!ok) return std::nullopt;
    return QColor::fromRgbF(float((value >> 16) & 0xFF) / 255.0f, float((value >> 8) & 0xFF) / 255.0f,
                            float(value & 0xFF) / 255.0f, 1.0f);
}

QString hexString(const QColor& color)
{
    float r, g, b;
    srgbComponents(color, r, g, b);
    auto byte = [](float f) { return int(std::lround(double(f) * 255.0)); };
    return QString::asprintf("%02X%02X%02X", byte(r), byte(g), byte(b));
}

HSB hsb(const QColor& color)
{
    float r, g, b;
    srgbComponents(color, r, g, b);
    float h = 0, s = 0, v = 0;
    QColor::fromRgbF(r, g, b).getHsvF(&h, &s, &v);
    return HSB{h < 0 ? 0.0 : double(h), double(s), double(v)};
}
