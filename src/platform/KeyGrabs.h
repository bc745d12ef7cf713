#pragma once

#include <QList>
#include <QMap>
#include <QtGlobal>
#include <compare>
#include <utility>

// Which keys this client holds on the root window, and for which of its chords. The server cannot
// tell two chords of one client apart (a second grab of a key by the same client just replaces the
// first), so this book does: a key is held for one chord at most, and a key one chord lets go is
// released only when no other chord of ours keeps it.
namespace KeyGrabs {

struct Key {
    quint8 keycode = 0;
    quint16 modifiers = 0;  // X modifier mask, without the lock modifiers
    auto operator<=>(const Key&) const = default;
};

using Owners = QMap<Key, int>;  // each key held and the id of the chord it serves

struct Plan {
    Owners owners;       // what is held once the plan is carried out
    QList<Key> grab;     // keys no chord held before
    QList<Key> ungrab;   // keys held before that no chord keeps
    QList<int> refused;  // ids that asked for a key an id before them keeps
};

// From what is held to what is wanted: each id listed holds its keys afterwards, unless one of them is
// kept by an id listed before it (then it holds none); an id not listed holds nothing. A key that
// passes from one id to another stays grabbed, so nothing is asked of the server for it.
Plan plan(const Owners& held, const QList<std::pair<int, QList<Key>>>& wanted);

// The keys `id` holds.
QList<Key> keysOf(const Owners& held, int id);

}  // namespace KeyGrabs
