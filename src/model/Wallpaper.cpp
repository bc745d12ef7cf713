#include "model/Wallpaper.h"

#include <QUuid>

#include "model/StoredValue.h"

const EntityDescription& Wallpaper::entityDescription()
{
    static const EntityDescription entity{
        QStringLiteral("Wallpaper"),
        {
            {QStringLiteral("id"), AttributeType::String, false, QString()},
            {QStringLiteral("name"), AttributeType::String, false, QStringLiteral("Wallpaper")},
            {QStringLiteral("addedAt"), AttributeType::Date},
            {QStringLiteral("data"), AttributeType::Data, true, QVariant(), QString(), true},
        },
        [] { return new Wallpaper(); },
    };
    return entity;
}

Wallpaper::Wallpaper() : ManagedObject(entityDescription())
{
    if (!makingStoredRow()) setId(QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper());
}

std::optional<QByteArray> Wallpaper::data() const
{
    return optionalFromVariant<QByteArray>(value(Data));
}
void Wallpaper::setData(const std::optional<QByteArray>& v)
{
    setValue(Data, variantFromOptional(v));
}
