#pragma once

#include <QColor>
#include <QString>

// Where syncing stands, as the badge under each note and the Sync settings tab show it. The store
// starts offline: nothing syncs yet.
enum class SyncState { synced, syncing, offline, error };

// The one mapping from a state to what the user sees, shared by the badge and the settings tab.
struct SyncStateLook {
    QString symbol;
    QString text;
    QColor color;

    static SyncStateLook of(SyncState state);
};
