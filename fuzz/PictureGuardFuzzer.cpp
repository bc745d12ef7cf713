// Feeds arbitrary bytes to the picture check: it must end, without a crash, however deep the inline
// drawings nest, and judge the same bytes the same way twice.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/PictureGuard.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const bool first = PictureGuard::selfContained(bytes);
    if (first != PictureGuard::selfContained(bytes)) std::abort();
    // A picture that is no drawing never refers to anything.
    if (!PictureGuard::isDrawing(bytes) && !first) std::abort();
    return 0;
}
