#include "model/Tint.h"

namespace {

struct TintInfo {
    const char* raw;
    QRgb rgb;
};

// The tints' named colours: mid-tone, fairly saturated, so that the pale papers and darker badges
// derived from them stay distinct.
constexpr TintInfo kTints[] = {
    {"slate", 0x8E9196}, {"blue", 0x4A8FE3}, {"green", 0x4DAF78},
    {"amber", 0xF0A43A}, {"rose", 0xE56A8A}, {"violet", 0x8D6BD9},
};

}  // namespace

std::optional<Tint> Tint::fromRawValue(const QString& raw)
{
    for (Tint t : allCases())
        if (raw == QLatin1String(kTints[t].raw)) return t;
    return std::nullopt;
}

const std::array<Tint, 6>& Tint::allCases()
{
    static const std::array<Tint, 6> cases{slate, blue, green, amber, rose, violet};
    return cases;
}

QString Tint::rawValue() const
{
    return QLatin1String(kTints[m_value].raw);
}

QString Tint::displayName() const
{
    QString name = rawValue();
    name[0] = name[0].toUpper();
    return name;
}

QColor Tint::color() const
{
    return QColor::fromRgb(kTints[m_value].rgb);
}

Tint::Hsb Tint::hsb() const
{
    float h, s, v;
    color().toHsv().getHsvF(&h, &s, &v);
    return Hsb{h < 0 ? 0.0 : double(h), double(s), double(v)};
}
