#pragma once

#include <QVariant>
#include <optional>

// Conversions between an entity's optional attributes and the QVariant they are held in (an invalid
// QVariant stands for "none").
template <typename T>
std::optional<T> optionalFromVariant(const QVariant& v)
{
    if (!v.isValid()) return std::nullopt;
    return v.value<T>();
}

template <typename T>
QVariant variantFromOptional(const std::optional<T>& o)
{
    return o ? QVariant::fromValue(*o) : QVariant();
}
