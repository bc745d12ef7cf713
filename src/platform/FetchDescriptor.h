#pragma once

#include <QVector>
#include <functional>
#include <optional>

class ManagedObject;

// One sort key: an attribute of the fetched entity. Absent values sort before every present value,
// so they come first in ascending order and last in descending order. Ties keep store order.
struct SortDescriptor {
    int attribute = 0;
    bool ascending = true;
};

// What to fetch of one entity: an optional predicate, sort keys in priority order and an optional
// limit on the number of results (applied after sorting).
template <typename T>
struct FetchDescriptor {
    std::function<bool(const T&)> predicate;
    QVector<SortDescriptor> sort;
    std::optional<int> limit;
};

using FetchRequest = FetchDescriptor<ManagedObject>;
