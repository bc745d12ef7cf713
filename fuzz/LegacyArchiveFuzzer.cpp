#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "model/LegacyArchiveReader.h"
#include "model/NoteBlockMigration.h"

// Legacy bodies come from the store: any bytes must read or fail cleanly, within the reader's bounds,
// and whatever reads must split into blocks.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto text = LegacyArchiveReader::read(bytes, {1 << 20, 4096, 32});
    if (!text) return 0;
    const BaseStyle base{TextFont{}, QColor(38, 36, 31), {}};
    const auto split = NoteBlockMigration::split(*text, 344, base);
    if (split) {
        qsizetype images = 0;
        for (const NoteBlock& block : split->blocks) images += block.isImage() ? 1 : 0;
        if (images != split->images.size()) abort();
    }
    return 0;
}
