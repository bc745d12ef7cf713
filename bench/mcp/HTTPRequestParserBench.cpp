// Reading a request of nearly the byte cap in reads of different sizes: the cost should follow the
// byte count, not the number of reads times the bytes so far.
#include <benchmark/benchmark.h>

#include "mcp/HTTPRequestParser.h"

namespace {

QByteArray largeRequest(qsizetype bodyBytes, bool declareLength)
{
    QByteArray head = "POST /mcp HTTP/1.1\r\nHost: 127.0.0.1:48219\r\n";
    if (declareLength) head += "Content-Length: " + QByteArray::number(bodyBytes) + "\r\n";
    return head + "\r\n" + QByteArray(bodyBytes, 'x');
}

void BM_ParseInReads(benchmark::State& state)
{
    const QByteArray request = largeRequest(4'900'000, true);
    const qsizetype readSize = state.range(0);
    for (auto _ : state) {
        HTTPRequestParser parser;
        for (qsizetype at = 0; at < request.size(); at += readSize)
            parser.feed(request.constData() + at, std::min(readSize, request.size() - at));
        benchmark::DoNotOptimize(parser.request().body.size());
    }
    state.SetBytesProcessed(state.iterations() * request.size());
}
BENCHMARK(BM_ParseInReads)->Arg(65536)->Arg(4096)->Arg(512);

// The same body sent in chunks of 8 KiB (as a client streaming from a pipe does), read in 4 KiB reads:
// decoding should cost about what reading a declared length does.
void BM_ChunkedInReads(benchmark::State& state)
{
    QByteArray request = "POST /mcp HTTP/1.1\r\nHost: 127.0.0.1:48219\r\nTransfer-Encoding: chunked\r\n\r\n";
    const QByteArray chunk(8192, 'x');
    for (int i = 0; i < 590; ++i) request += "2000\r\n" + chunk + "\r\n";
    request += "0\r\n\r\n";
    for (auto _ : state) {
        HTTPRequestParser parser;
        for (qsizetype at = 0; at < request.size(); at += 4096)
            parser.feed(request.constData() + at, std::min<qsizetype>(4096, request.size() - at));
        benchmark::DoNotOptimize(parser.request().body.size());
    }
    state.SetBytesProcessed(state.iterations() * request.size());
}
BENCHMARK(BM_ChunkedInReads);

void BM_HeadArrivingSlowly(benchmark::State& state)
{
    // A head that never ends, a few bytes at a time, up to the cap.
    const QByteArray junk(HTTPRequestParser::kDefaultMaxBytes, 'a');
    for (auto _ : state) {
        HTTPRequestParser parser;
        for (qsizetype at = 0; at < junk.size(); at += 1024) parser.feed(junk.constData() + at, 1024);
        benchmark::DoNotOptimize(parser.state());
    }
    state.SetBytesProcessed(state.iterations() * junk.size());
}
BENCHMARK(BM_HeadArrivingSlowly);

}  // namespace

BENCHMARK_MAIN();
