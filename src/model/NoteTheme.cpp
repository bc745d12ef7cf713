#include "model/NoteTheme.h"

#include <cmath>

#include <algorithm>

#include "design/TarnwickTheme.h"
#include "model/StoredValue.h"

const EntityDescription& NoteTheme::entityDescription()
{
    static const EntityDescription entity{
        QStringLiteral("NoteTheme"),
        {
            {QStringLiteral("id"), AttributeType::String, false, QString()},
            {QStringLiteral("name"), AttributeType::String, false, QStringLiteral("Untitled")},
            {QStringLiteral("paperR"), AttributeType::Double, false, 1.0},
            {QStringLiteral("paperG"), AttributeType::Double, false, 1.0},
            {QStringLiteral("paperB"), AttributeType::Double, false, 1.0},
            {QStringLiteral("fontFamily"), AttributeType::String, true},
            {QStringLiteral("lineHeight"), AttributeType::Double, false, 0.0},
            {QStringLiteral("inkR"), AttributeType::Double, true},
            {QStringLiteral("inkG"), AttributeType::Double, true},
            {QStringLiteral("inkB"), AttributeType::Double, true},
            {QStringLiteral("defaultOpacity"), AttributeType::Double, false, 1.0},
            {QStringLiteral("wallpaperID"), AttributeType::String, true},
            {QStringLiteral("wallpaperBrightness"), AttributeType::Double, false, 0.0},
            {QStringLiteral("wallpaperBlur"), AttributeType::Double, false, 0.0},
            {QStringLiteral("wallpaperData"), AttributeType::Data, true, QVariant(), QString(), true},
            {QStringLiteral("revision"), AttributeType::Int, false, QVariant::fromValue<qint64>(0)},
        },
        [] { return new NoteTheme(); },
    };
    return entity;
}

NoteTheme::NoteTheme() : ManagedObject(entityDescription())
{
    // The schema's default id is a fresh UUID text for every new row.
    if (!makingStoredRow()) setId(QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper());
}

NoteTheme::NoteTheme(const QString& id, const QString& name, const QColor& paper,
                     const std::optional<QString>& fontFamily, const std::optional<QColor>& ink, double defaultOpacity,
                     double lineHeight)
    : NoteTheme()
{
    setId(id);
    setName(name);
    setDefaultOpacity(defaultOpacity);
    setFontFamily(fontFamily);
    setLineHeight(lineHeight);
    const Components p = components(paper);
    setPaperR(p.r);
    setPaperG(p.g);
    setPaperB(p.b);
    if (ink) {
        const Components i = components(*ink);
        setInkR(i.r);
        setInkG(i.g);
        setInkB(i.b);
    }
}

std::optional<QString> NoteTheme::fontFamily() const
{
    return optionalFromVariant<QString>(value(FontFamily));
}
void NoteTheme::setFontFamily(const std::optional<QString>& v)
{
    setValue(FontFamily, variantFromOptional(v));
}
std::optional<double> NoteTheme::inkR() const
{
    return optionalFromVariant<double>(value(InkR));
}
void NoteTheme::setInkR(const std::optional<double>& v)
{
    setValue(InkR, variantFromOptional(v));
}
std::optional<double> NoteTheme::inkG() const
{
    return optionalFromVariant<double>(value(InkG));
}
void NoteTheme::setInkG(const std::optional<double>& v)
{
    setValue(InkG, variantFromOptional(v));
}
std::optional<double> NoteTheme::inkB() const
{
    return optionalFromVariant<double>(value(InkB));
}
void NoteTheme::setInkB(const std::optional<double>& v)
{
    setValue(InkB, variantFromOptional(v));
}
std::optional<QString> NoteTheme::wallpaperID() const
{
    return optionalFromVariant<QString>(value(WallpaperID));
}
void NoteTheme::setWallpaperID(const std::optional<QString>& v)
{
    setValue(WallpaperID, variantFromOptional(v));
}
std::optional<QByteArray> NoteTheme::wallpaperData() const
{
    return optionalFromVariant<QByteArray>(value(WallpaperData));
}

NoteTheme::Components NoteTheme::components(const QColor& color)
{
    if (!color.isValid()) return Components{1, 1, 1};
    const QColor rgb = color.toRgb();
    return Components{rgb.redF(), rgb.greenF(), rgb.blueF()};
}

double NoteTheme::normalisedLineHeight(double stored)
{
    // A damaged row may hold NaN or infinity; clamping would pass NaN through to every view.
    if (!std::isfinite(stored) || stored <= 0) return defaultLineHeight;
    return std::clamp(stored, minLineHeight, maxLineHeight);
}

ResolvedNoteTheme NoteTheme::resolved() const
{
    ResolvedNoteTheme theme;
    theme.id = id();
    theme.name = name();
    // Components that are not finite numbers fall back to the defaults (white paper, the ink token);
    // finite ones are held within 0...1.
    const Components fallback;
    auto component = [](double v, double otherwise) { return std::isfinite(v) ? std::clamp(v, 0.0, 1.0) : otherwise; };
    theme.paper = QColor::fromRgbF(float(component(paperR(), fallback.r)), float(component(paperG(), fallback.g)),
                                   float(component(paperB(), fallback.b)), 1.0f);
    theme.fontFamily = fontFamily();
    const auto r = inkR(), g = inkG(), b = inkB();
    const bool inkUsable = r && g && b && std::isfinite(*r) && std::isfinite(*g) && std::isfinite(*b);
    theme.ink = inkUsable
                    ? QColor::fromRgbF(float(component(*r, 0)), float(component(*g, 0)), float(component(*b, 0)), 1.0f)
                    : TarnwickTheme::textPrimary();
    theme.lineHeight = normalisedLineHeight(lineHeight());
    theme.revision = revision();
    theme.badgeOverride = std::nullopt;
    theme.wallpaperID = wallpaperID();
    theme.wallpaperBrightness = std::isfinite(wallpaperBrightness()) ? wallpaperBrightness() : 0.0;
    theme.wallpaperBlur = std::isfinite(wallpaperBlur()) ? wallpaperBlur() : 0.0;
    return theme;
}

ResolvedNoteTheme NoteTheme::builtIn(const QString& id, const QString& name, double h, double s, double b)
{
    ResolvedNoteTheme theme;
    theme.id = id;
    theme.name = name;
    // A pale wash of the colour; the lower bound first, then the upper.
    const double paperSaturation = std::min(std::max(s * 2.6, 0.16), 0.30);
    theme.paper = QColor::fromHsvF(float(h), float(paperSaturation), float(std::max(b, 0.94)), 1.0f).toRgb();
    theme.fontFamily = std::nullopt;
    theme.ink = TarnwickTheme::textPrimary();
    theme.lineHeight = defaultLineHeight;
    theme.revision = 0;
    theme.badgeOverride = ResolvedNoteTheme::badgeColor(h, s);
    theme.wallpaperID = std::nullopt;
    theme.wallpaperBrightness = 0;
    theme.wallpaperBlur = 0;
    return theme;
}

ResolvedNoteTheme NoteTheme::builtIn(Tint tint)
{
    const Tint::Hsb hsb = tint.hsb();
    return builtIn(tint.rawValue(), tint.displayName(), hsb.h, hsb.s, hsb.b);
}

QVector<ResolvedNoteTheme> NoteTheme::builtIns()
{
    QVector<ResolvedNoteTheme> themes;
    for (Tint t : Tint::allCases()) themes.push_back(builtIn(t));
    return themes;
}
