#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "model/Note.h"
#include "model/NoteBlockEnvelope.h"

// Any bytes must either read or fail cleanly; whatever reads must write and read back unchanged. The
// quick launch check may vouch for an envelope only where the full reader agrees.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto blocks = NoteBlockEnvelope::decode(bytes);
    if (!blocks) {
        if (NoteBlockEnvelope::projectsExactly(bytes, {}) || NoteBlockEnvelope::projectsExactly(bytes, "\n") ||
            NoteBlockEnvelope::pictureIDs(bytes))
            abort();
        return 0;
    }
    if (const auto ids = NoteBlockEnvelope::pictureIDs(bytes)) {
        QVector<QUuid> placed;
        for (const NoteBlock& b : *blocks)
            if (const ImagePlacement* p = b.imagePlacement()) placed << p->imageID;
        if (*ids != placed) abort();
    }
    const QByteArray body = Note::projectedBody(*blocks).toUtf8();
    if (NoteBlockEnvelope::projectsExactly(bytes, body + '\x01')) abort();
    const auto written = NoteBlockEnvelope::encode(*blocks);
    if (!written) return 0;  // only non-finite numbers refuse, and JSON cannot hold them
    const auto again = NoteBlockEnvelope::decode(*written);
    if (!again || !(*again == *blocks)) abort();
    return 0;
}
