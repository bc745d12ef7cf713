#include "model/Capture.h"

#include "model/StoredValue.h"

const EntityDescription& Capture::entityDescription()
{
    static const EntityDescription entity{
        QStringLiteral("Capture"),
        {
            {QStringLiteral("uuid"), AttributeType::Uuid, false, QVariant(), QString(), false, true},
            {QStringLiteral("text"), AttributeType::String, false, QString(), QString(), false, false, true},
            {QStringLiteral("sourceApp"), AttributeType::String, true},
            {QStringLiteral("sourceBundleID"), AttributeType::String, true},
            {QStringLiteral("sourceURL"), AttributeType::Url, true},
            {QStringLiteral("sourceTitle"), AttributeType::String, true},
            {QStringLiteral("createdAt"), AttributeType::Date},
            {QStringLiteral("isPinned"), AttributeType::Bool, false, false},
            {QStringLiteral("noteUUID"), AttributeType::Uuid, true},
        },
        [] { return new Capture(); },
    };
    return entity;
}

Capture::Capture() : ManagedObject(entityDescription()) {}

Capture::Capture(const QString& text, const std::optional<QString>& sourceApp,
                 const std::optional<QString>& sourceBundleID, const std::optional<QUrl>& sourceURL,
                 const std::optional<QString>& sourceTitle, const std::optional<QUuid>& noteUUID,
                 const QDateTime& createdAt)
    : Capture()
{
    setUuid(QUuid::createUuid());
    setText(text);
    setSourceApp(sourceApp);
    setSourceBundleID(sourceBundleID);
    setSourceURL(sourceURL);
    setSourceTitle(sourceTitle);
    setCreatedAt(createdAt);
    setIsPinned(false);
    setNoteUUID(noteUUID);
}

std::optional<QString> Capture::sourceApp() const
{
    return optionalFromVariant<QString>(value(SourceApp));
}
void Capture::setSourceApp(const std::optional<QString>& v)
{
    setValue(SourceApp, variantFromOptional(v));
}
std::optional<QString> Capture::sourceBundleID() const
{
    return optionalFromVariant<QString>(value(SourceBundleID));
}
void Capture::setSourceBundleID(const std::optional<QString>& v)
{
    setValue(SourceBundleID, variantFromOptional(v));
}
std::optional<QUrl> Capture::sourceURL() const
{
    return optionalFromVariant<QUrl>(value(SourceURL));
}
void Capture::setSourceURL(const std::optional<QUrl>& v)
{
    setValue(SourceURL, variantFromOptional(v));
}
std::optional<QString> Capture::sourceTitle() const
{
    return optionalFromVariant<QString>(value(SourceTitle));
}
void Capture::setSourceTitle(const std::optional<QString>& v)
{
    setValue(SourceTitle, variantFromOptional(v));
}
std::optional<QUuid> Capture::noteUUID() const
{
    return optionalFromVariant<QUuid>(value(NoteUUID));
}
void Capture::setNoteUUID(const std::optional<QUuid>& v)
{
    setValue(NoteUUID, variantFromOptional(v));
}
