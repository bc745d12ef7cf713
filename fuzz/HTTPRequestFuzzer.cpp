// Feeds arbitrary bytes to the request parser, whole and in pieces, and checks that both agree.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "mcp/HTTPRequest.h"
#include "mcp/HTTPRequestParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) return 0;
    // The first byte picks the size of the pieces the rest arrives in.
    const qsizetype piece = 1 + data[0] % 64;
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));

    constexpr qsizetype kCap = 4096;
    HTTPRequestParser whole(kCap);
    const HTTPRequestParser::State wholeState = whole.feed(bytes);
    HTTPRequestParser split(kCap);
    HTTPRequestParser::State splitState = HTTPRequestParser::State::NeedMore;
    for (qsizetype at = 0; at < bytes.size(); at += piece) splitState = split.feed(bytes.mid(at, piece));

    // Splitting may only change the outcome where the body is "whatever came with the head".
    const auto framed = [](const HTTPRequest& r) {
        return r.headers.contains(QStringLiteral("content-length")) ||
               r.headers.contains(QStringLiteral("transfer-encoding"));
    };
    const bool declaredLength = framed(split.request()) || framed(whole.request());
    if (wholeState != splitState && wholeState != HTTPRequestParser::State::TooLarge &&
        splitState != HTTPRequestParser::State::TooLarge)
        std::abort();
    if (wholeState == HTTPRequestParser::State::Complete && splitState == HTTPRequestParser::State::Complete) {
        const HTTPRequest& a = whole.request();
        const HTTPRequest& b = split.request();
        if (a.method != b.method || a.target != b.target || a.headers != b.headers) std::abort();
        if (declaredLength && a.body != b.body) std::abort();
        if (!declaredLength && !a.body.startsWith(b.body)) std::abort();
        if (a.method.isEmpty() || a.target.isEmpty()) std::abort();
        (void)a.path();
    }
    if (const auto parsed = HTTPRequest::parse(bytes);
        parsed.has_value() != (wholeState == HTTPRequestParser::State::Complete) && bytes.size() <= kCap)
        std::abort();
    return 0;
}
