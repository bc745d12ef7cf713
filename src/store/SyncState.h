#pragma once

// What the sync badge shows. The store is local to this machine for now, so it stays offline.
enum class SyncState { synced, syncing, offline, error };
