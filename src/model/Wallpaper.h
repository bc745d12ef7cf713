#pragma once

#include <QByteArray>
#include <QDateTime>
#include <optional>

#include "platform/ManagedObject.h"

// A picture of the user's kept as a wallpaper; references name it as "user:" and its id, so the id
// must never change.
class Wallpaper : public ManagedObject {
    Q_OBJECT
public:
    enum Attribute { Id, Name, AddedAt, Data };

    static const EntityDescription& entityDescription();

    // Schema defaults: a new UUID text as id, "Wallpaper", added now, no bytes.
    Wallpaper();

    QString id() const { return value(Id).toString(); }
    void setId(const QString& v) { setValue(Id, v); }
    QString name() const { return value(Name).toString(); }
    void setName(const QString& v) { setValue(Name, v); }
    QDateTime addedAt() const { return value(AddedAt).toDateTime(); }
    void setAddedAt(const QDateTime& v) { setValue(AddedAt, v); }
    std::optional<QByteArray> data() const;
    void setData(const std::optional<QByteArray>& v);
};
