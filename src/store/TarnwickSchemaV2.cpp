#include "store/TarnwickSchemaV2.h"

namespace {
// PLACEHOLDER until the entity classes of src/model (Note, Capture, NoteTheme, Wallpaper,
// NoteImage) land: their stored attributes, in schema order, with plain ManagedObject instances.
// Replace each with its class's entityDescription().
using T = AttributeType;

AttributeDescription req(const char* name, T type, QVariant defaultValue = {})
{
    return {QString::fromLatin1(name), type, false, std::move(defaultValue), {}};
}
AttributeDescription opt(const char* name, T type)
{
    return {QString::fromLatin1(name), type, true, {}, {}};
}

const EntityDescription& noteEntity()
{
    static const EntityDescription e{QStringLiteral("Note"),
                                     {req("uuid", T::Uuid),
                                      req("title", T::String),
                                      req("body", T::String),
                                      opt("bodyRichData", T::Data),
                                      opt("bodyBlocksData", T::Data),
                                      req("tintRaw", T::String, QStringLiteral("blue")),
                                      req("themeID", T::String),
                                      opt("wallpaperID", T::String),
                                      opt("wallpaperBrightness", T::Double),
                                      opt("wallpaperBlur", T::Double),
                                      opt("fontFamilyOverride", T::String),
                                      opt("inkHexOverride", T::String),
                                      opt("paperHexOverride", T::String),
                                      req("opacityRaw", T::String, QStringLiteral("solid")),
                                      req("opacityValue", T::Double, 1.0),
                                      req("isPinned", T::Bool),
                                      req("floatsOnTop", T::Bool, true),
                                      req("isLocked", T::Bool),
                                      opt("lockedCipher", T::Data),
                                      opt("reminderDate", T::Date),
                                      req("tags", T::StringList),
                                      opt("sourceApp", T::String),
                                      opt("sourceURL", T::Url),
                                      opt("dayKey", T::String),
                                      opt("frameX", T::Double),
                                      opt("frameY", T::Double),
                                      opt("frameW", T::Double),
                                      opt("frameH", T::Double),
                                      req("createdAt", T::Date),
                                      req("updatedAt", T::Date),
                                      {QStringLiteral("isTrashed"), T::Bool, false, false, QStringLiteral("isDeleted")},
                                      opt("deletedAt", T::Date)},
                                     [] { return new ManagedObject(noteEntity()); }};
    return e;
}

const EntityDescription& captureEntity()
{
    static const EntityDescription e{
        QStringLiteral("Capture"),
        {req("uuid", T::Uuid), req("text", T::String), opt("sourceApp", T::String), opt("sourceBundleID", T::String),
         opt("sourceURL", T::Url), opt("sourceTitle", T::String), req("createdAt", T::Date), req("isPinned", T::Bool),
         opt("noteUUID", T::Uuid)},
        [] { return new ManagedObject(captureEntity()); }};
    return e;
}

const EntityDescription& noteThemeEntity()
{
    static const EntityDescription e{
        QStringLiteral("NoteTheme"),
        {req("id", T::String), req("name", T::String, QStringLiteral("Untitled")), req("paperR", T::Double, 1.0),
         req("paperG", T::Double, 1.0), req("paperB", T::Double, 1.0), opt("fontFamily", T::String),
         req("lineHeight", T::Double), opt("inkR", T::Double), opt("inkG", T::Double), opt("inkB", T::Double),
         req("defaultOpacity", T::Double, 1.0), opt("wallpaperID", T::String), req("wallpaperBrightness", T::Double),
         req("wallpaperBlur", T::Double), opt("wallpaperData", T::Data), req("revision", T::Int)},
        [] { return new ManagedObject(noteThemeEntity()); }};
    return e;
}

const EntityDescription& wallpaperEntity()
{
    static const EntityDescription e{QStringLiteral("Wallpaper"),
                                     {req("id", T::String), req("name", T::String, QStringLiteral("Wallpaper")),
                                      req("addedAt", T::Date), opt("data", T::Data)},
                                     [] { return new ManagedObject(wallpaperEntity()); }};
    return e;
}

const EntityDescription& noteImageEntity()
{
    static const EntityDescription e{
        QStringLiteral("NoteImage"),
        {req("uuid", T::Uuid), opt("noteUUID", T::Uuid), opt("data", T::Data), opt("lockedCipher", T::Data),
         req("utType", T::String, QStringLiteral("public.png")), req("pixelWidth", T::Int), req("pixelHeight", T::Int),
         req("byteCount", T::Int), req("contentHash", T::String), req("createdAt", T::Date)},
        [] { return new ManagedObject(noteImageEntity()); }};
    return e;
}
}  // namespace

QVector<const EntityDescription*> TarnwickSchemaV2::models()
{
    return {&noteEntity(), &captureEntity(), &noteThemeEntity(), &wallpaperEntity(), &noteImageEntity()};
}
