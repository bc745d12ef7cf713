#include "platform/KeyGrabs.h"

#include <algorithm>

KeyGrabs::Plan KeyGrabs::plan(const Owners& held, const QList<std::pair<int, QList<Key>>>& wanted)
{
    Plan result;
    for (const auto& [id, keys] : wanted) {
        const bool taken =
            std::any_of(keys.cbegin(), keys.cend(), [&](const Key& k) { return result.owners.contains(k); });
        if (taken) {
            result.refused << id;
            continue;
        }
        for (const Key& k : keys) result.owners.insert(k, id);
    }
    for (auto it = result.owners.cbegin(); it != result.owners.cend(); ++it)
        if (!held.contains(it.key())) result.grab << it.key();
    for (auto it = held.cbegin(); it != held.cend(); ++it)
        if (!result.owners.contains(it.key())) result.ungrab << it.key();
    return result;
}

QList<KeyGrabs::Key> KeyGrabs::keysOf(const Owners& held, int id)
{
    QList<Key> keys;
    for (auto it = held.cbegin(); it != held.cend(); ++it)
        if (it.value() == id) keys << it.key();
    return keys;
}
