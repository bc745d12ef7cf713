#pragma once

#include <QHash>
#include <QUuid>
#include <functional>

// The identity of one shelf row. A note shown in the bin is a different row from the same note shown
// among the notes, so a selection never jumps between the two lists.
struct ShelfRow {
    enum class Kind { note, capture, binNote };

    Kind kind = Kind::note;
    QUuid id;

    static ShelfRow note(const QUuid& id) { return {Kind::note, id}; }
    static ShelfRow capture(const QUuid& id) { return {Kind::capture, id}; }
    static ShelfRow binNote(const QUuid& id) { return {Kind::binNote, id}; }

    bool operator==(const ShelfRow&) const = default;
};

inline size_t qHash(const ShelfRow& row, size_t seed = 0)
{
    return qHashMulti(seed, int(row.kind), row.id);
}

template <>
struct std::hash<ShelfRow> {
    size_t operator()(const ShelfRow& row) const noexcept { return qHash(row); }
};
