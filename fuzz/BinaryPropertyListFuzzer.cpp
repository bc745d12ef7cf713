#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/BinaryPropertyList.h"

// Binary property lists come from stored legacy bodies: any bytes must parse or fail cleanly within
// the limits, and whatever parses must hold only references that stay inside its object table.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const BinaryPropertyList::Limits limits{1 << 20, 4096};
    const auto list = BinaryPropertyList::parse(bytes, limits);
    if (!list) return 0;
    if (list->size() > limits.maxObjects || list->topObject() >= quint32(list->size())) abort();
    for (quint32 i = 0; i < quint32(list->size()); ++i) {
        const BinaryPropertyList::Object& object = list->object(i);
        for (const quint32 ref : object.refs)
            if (ref >= quint32(list->size())) abort();
        if (object.kind == BinaryPropertyList::Kind::Dictionary) {
            if (object.refs.size() % 2 != 0) abort();
            // Lookups by key walk the keys the way the archive reader does.
            (void)list->value(i, u"$objects");
            (void)list->value(i, u"NS.string");
        }
    }
    return 0;
}
