#include "model/NoteBlock.h"

bool canonicallyEqual(const QString& a, const QString& b)
{
    if (a == b) return true;
    return a.normalized(QString::NormalizationForm_D) == b.normalized(QString::NormalizationForm_D);
}

namespace {

bool optionalTextEqual(const std::optional<QString>& a, const std::optional<QString>& b)
{
    if (a.has_value() != b.has_value()) return false;
    return !a || canonicallyEqual(*a, *b);
}

}  // namespace

bool TextRuns::Run::marksEqual(const Run& o) const
{
    return b == o.b && i == o.i && u == o.u && s == o.s && size == o.size && optionalTextEqual(family, o.family) &&
           optionalTextEqual(fg, o.fg) && optionalTextEqual(bg, o.bg) && optionalTextEqual(link, o.link);
}

bool TextRuns::Run::operator==(const Run& o) const
{
    return loc == o.loc && len == o.len && marksEqual(o);
}

bool TextRuns::operator==(const TextRuns& o) const
{
    return canonicallyEqual(text, o.text) && runs == o.runs;
}

QString ImageSizing::Preset::rawValue() const
{
    switch (m_value) {
        case small:
            return QStringLiteral("small");
        case medium:
            return QStringLiteral("medium");
        case large:
            return QStringLiteral("large");
    }
    return QString();
}

std::optional<ImageSizing::Preset> ImageSizing::Preset::fromRawValue(const QString& raw)
{
    if (raw == QLatin1String("small")) return Preset(small);
    if (raw == QLatin1String("medium")) return Preset(medium);
    if (raw == QLatin1String("large")) return Preset(large);
    return std::nullopt;
}

bool ImageSizing::operator==(const ImageSizing& o) const
{
    if (m_kind != o.m_kind) return false;
    switch (m_kind) {
        case Kind::preset:
            return m_preset == o.m_preset;
        case Kind::fraction:
            return m_fraction == o.m_fraction;
        case Kind::fit:
            return true;
    }
    return false;
}
