#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "model/NoteBlockEnvelope.h"
#include "model/TextRunsCodec.h"

// Stored runs are outside input: any runs over any text must decode without fault, and encoding the
// result must give runs that lie inside the text, in order, without two touching runs of equal marks.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto blocks = NoteBlockEnvelope::decode(bytes);
    if (!blocks) return 0;
    const BaseStyle base{TextFont{QStringLiteral("Base"), 14.5, 400, false}, QColor(38, 36, 31), {}};
    for (const NoteBlock& block : *blocks) {
        const TextRuns* runs = block.textRuns();
        if (!runs) continue;
        const AttributedText text = TextRunsCodec::decode(*runs, base);
        if (text.text() != runs->text) abort();
        const TextRuns again = TextRunsCodec::encode(text, base);
        qint64 end = 0;
        for (qsizetype i = 0; i < again.runs.size(); ++i) {
            const TextRuns::Run& run = again.runs[i];
            if (run.len <= 0 || run.loc < end || run.loc + run.len > text.length()) abort();
            if (i > 0 && run.loc == end && run.marksEqual(again.runs[i - 1])) abort();
            end = run.loc + run.len;
        }
    }
    return 0;
}
