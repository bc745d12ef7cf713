#pragma once

#include <QString>
#include <QVector>

#include "platform/Schema.h"

// The store's versioned schema, version 2.0.0: the five stored entities in the order below.
class TarnwickSchemaV2 {
public:
    TarnwickSchemaV2() = delete;

    static QString versionIdentifier() { return QStringLiteral("2.0.0"); }
    // Note, Capture, NoteTheme, Wallpaper, NoteImage.
    static QVector<const EntityDescription*> models();
    static Schema schema() { return Schema{versionIdentifier(), models()}; }
};
