#pragma once

#include <QVariantMap>

#include "platform/Settings.h"

// The registered default values of the settings, and the one-time carry-over of renamed keys.
struct Defaults {
    // Key to default value, built anew on each call. Booleans are bool, the opacity a double and the
    // relock delay an integer, so typed readers see the same types as for stored values.
    static QVariantMap table();

    // Moves "ai.readOnly" to "mcp.readOnly" once per user. Runs before the table is registered, so only
    // values the user actually stored are carried over.
    static void migrateRenamedKeys(Settings& settings);

    // Hands the table to the settings' registered defaults (nothing is written to disk).
    static void registerTable(Settings& settings);
};
