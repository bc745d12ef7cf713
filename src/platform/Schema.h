#pragma once

#include <QString>
#include <QVector>

#include "platform/ManagedObject.h"

// The stored entities, in order, and the version the application gives them. The descriptions are
// owned by the entity classes (static) and outlive every container.
struct Schema {
    QString version;
    QVector<const EntityDescription*> entities;

    const EntityDescription* entity(const QString& name) const
    {
        for (const EntityDescription* e : entities)
            if (e->name == name) return e;
        return nullptr;
    }
};
