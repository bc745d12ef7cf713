#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include <QStringDecoder>

#include "shelf/SearchFolding.h"
#include "shelf/SearchSupport.h"

// Queries come from the shelf's field and from local MCP clients, texts from anything ever captured:
// any pair must excerpt and mark within bounds, and lowering must give valid UTF-8 that contains itself.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2) return 0;
    const int limit = int(int8_t(data[0]));
    const size_t split = data[1] % (size - 1);
    const auto units = [](const uint8_t* p, size_t n) {
        return QString(reinterpret_cast<const QChar*>(p), qsizetype(n / 2));
    };
    const QString query = units(data + 2, split);
    const QString text = units(data + 2 + split, size - 2 - split);

    (void)SearchSupport::snippet(text, query, limit);
    const SearchSupport::Highlighted marked = SearchSupport::highlight(text, query);
    if (marked.text != text) abort();
    if (const auto span = marked.stronglyEmphasized) {
        if (span->start < 0 || span->length <= 0 || span->start + span->length > text.size()) abort();
    }

    const std::string loweredText = SearchFolding::lowered(text);
    const std::string loweredQuery = SearchFolding::lowered(query);
    for (const std::string* lowered : {&loweredText, &loweredQuery}) {
        QStringDecoder strict(QStringConverter::Utf8);
        (void)strict.decode(QByteArrayView(lowered->data(), qsizetype(lowered->size())));
        if (strict.hasError()) abort();
    }
    if (!SearchFolding::contains(loweredText, loweredText)) abort();
    (void)SearchFolding::contains(loweredText, loweredQuery);
    return 0;
}
