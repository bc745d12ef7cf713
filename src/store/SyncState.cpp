#include "store/SyncState.h"

#include "design/TarnwickTheme.h"

SyncStateLook SyncStateLook::of(SyncState state)
{
    switch (state) {
        case SyncState::synced:
            return {QStringLiteral("checkmark.icloud"), QStringLiteral("synced \u00B7 cloud"),
                    TarnwickTheme::textSecondary()};
        case SyncState::syncing:
            return {QStringLiteral("arrow.triangle.2.circlepath"), QStringLiteral("syncing\u2026"),
                    TarnwickTheme::textSecondary()};
        case SyncState::offline:
            return {QStringLiteral("externaldrive"), QStringLiteral("cloud sync \u00B7 coming soon"),
                    QColor::fromRgbF(0.72f, 0.55f, 0.29f, 1.0f)};
        case SyncState::error:
            break;
    }
    return {QStringLiteral("exclamationmark.icloud"), QStringLiteral("couldn't sync \u00B7 retry"),
            QColor::fromRgbF(0.78f, 0.36f, 0.36f, 1.0f)};
}
