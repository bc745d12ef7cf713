#include <gtest/gtest.h>

#include "mcp/HTTPRequest.h"
#include "mcp/HTTPRequestParser.h"
#include "mcp/HTTPResponse.h"
#include "mcp/MCPService.h"

namespace {

using State = HTTPRequestParser::State;

const QByteArray kRequest =
    "POST /mcp/abc?x=1 HTTP/1.1\r\nHOST:  127.0.0.1:48219 \t\r\nAuthorization: Bearer one\r\n"
    "authorization: Bearer two\r\nContent-Length: 5\r\n\r\nhello";

TEST(HTTPRequest, EverySplitGivesTheSameRequestAndNeverEarly)
{
    for (qsizetype cut = 0; cut <= kRequest.size(); ++cut) {
        HTTPRequestParser p;
        EXPECT_EQ(p.feed(kRequest.left(cut)), cut == kRequest.size() ? State::Complete : State::NeedMore) << cut;
        // Bytes after the declared body (a pipelined request) are not part of it.
        EXPECT_EQ(p.feed(kRequest.mid(cut) + "GET / HTTP/1.1\r\n\r\n"), State::Complete) << cut;
        const HTTPRequest& r = p.request();
        EXPECT_EQ(r.method, "POST");
        EXPECT_EQ(r.path(), "/mcp/abc");
        EXPECT_EQ(r.header("host"), "127.0.0.1:48219");
        EXPECT_EQ(r.header("authorization"), "Bearer two");  // the later line wins
        EXPECT_EQ(r.headers.size(), 3);
        EXPECT_EQ(r.body, "hello");
    }
    HTTPRequestParser bytewise;
    for (char c : kRequest.chopped(1)) ASSERT_EQ(bytewise.feed(&c, 1), State::NeedMore);
    EXPECT_EQ(bytewise.feed("o"), State::Complete);
}

TEST(HTTPRequest, WithoutContentLengthTheBodyIsWhatCameWithTheHead)
{
    HTTPRequestParser p;
    EXPECT_EQ(p.feed("POST /mcp HTTP/1.1\r\n\r\n{\"a\":"), State::Complete);
    p.feed("1}");
    EXPECT_EQ(p.request().body, "{\"a\":");
    EXPECT_EQ(HTTPRequest::parse("GET / HTTP/1.1\r\nContent-Length: 0\r\n\r\nignored")->body, "");
}

TEST(HTTPRequest, RefusesBadLengthsMalformedHeadsAndOversizeRequestsAtOnce)
{
    for (const char* value : {"-1", "-0", "+5", "", "abc", "12x", "1 2", "5, 5", "99999999999999999999"}) {
        HTTPRequestParser p;
        EXPECT_EQ(p.feed(QByteArray("POST /mcp HTTP/1.1\r\nContent-Length: ") + value + "\r\n\r\n"), State::BadRequest)
            << value;
        EXPECT_EQ(p.feed("body"), State::BadRequest);
    }
    EXPECT_EQ(HTTPRequestParser().feed("POST\r\nHost: x\r\n\r\n"), State::Malformed);
    EXPECT_EQ(HTTPRequestParser().feed("POST /mcp\xff HTTP/1.1\r\n\r\n"), State::Malformed);
    EXPECT_TRUE(HTTPRequest::parse("POST /mcp HTTP/1.1\r\nContent-Length: 1\r\n\r\n\xff"));  // the body's business
    // The request line is method, target and version; only HTTP/1.0 and 1.1 are spoken.
    EXPECT_EQ(HTTPRequestParser().feed("POST /mcp\r\nHost: x\r\n\r\n"), State::BadRequest);
    EXPECT_EQ(HTTPRequestParser().feed("POST /mcp HTTP/1.1 more\r\n\r\n"), State::BadRequest);
    EXPECT_EQ(HTTPRequestParser().feed("POST /mcp HTTP/1\r\n\r\n"), State::BadRequest);
    EXPECT_EQ(HTTPRequestParser().feed("POST /mcp HTTP/2.0\r\n\r\n"), State::VersionNotSupported);
    EXPECT_EQ(HTTPRequestParser().feed("POST /mcp HTTP/0.9\r\n\r\n"), State::VersionNotSupported);
    EXPECT_EQ(HTTPRequest::parse("GET / HTTP/1.0\r\nA: 1\r\na: 2\r\nB: 3\r\n\r\n")->repeated, QStringList{"a"});

    // Head and declared body may fill the cap exactly; a declared length past it is refused unread.
    const QByteArray head = "POST / HTTP/1.1\r\nContent-Length: 61\r\n\r\n";
    ASSERT_EQ(head.size(), 39);
    EXPECT_EQ(HTTPRequestParser(100).feed(head + QByteArray(61, 'x')), State::Complete);
    EXPECT_EQ(HTTPRequestParser(99).feed(head), State::ContentTooLarge);
    HTTPRequestParser endless(100);
    EXPECT_EQ(endless.feed(QByteArray(100, 'a')), State::NeedMore);
    EXPECT_EQ(endless.feed("a"), State::TooLarge);
}

// The same body in one chunk or many, with extensions and trailers, however the bytes are split.
TEST(HTTPRequest, ChunkedBodiesDecodeAlikeWhateverTheSplit)
{
    const QByteArray head = "POST /mcp HTTP/1.1\r\nHost: localhost\r\nTransfer-Encoding: Chunked\r\n\r\n";
    const QList<QByteArray> bodies = {
        "b\r\nhello world\r\n0\r\n\r\n",
        "5;name=value\r\nhello\r\n1 ; x\r\n \r\n5\r\nworld\r\n000\r\nX-Trailer: dropped\r\nY: z\r\n\r\n",
        "B\r\nhello world\r\n0;last\r\n\r\n",
    };
    for (const QByteArray& body : bodies) {
        const QByteArray wire = head + body;
        for (qsizetype cut = 0; cut <= wire.size(); ++cut) {
            HTTPRequestParser p;
            const State first = p.feed(wire.left(cut));
            ASSERT_EQ(first, cut == wire.size() ? State::Complete : State::NeedMore) << body.constData() << cut;
            EXPECT_EQ(p.feed(wire.mid(cut) + "GET /next HTTP/1.1\r\n\r\n"), State::Complete);
            EXPECT_EQ(p.request().body, "hello world");
            EXPECT_FALSE(p.request().headers.contains("x-trailer"));
        }
    }
    // The decoded bytes count against the limit; a chunk that would pass it is refused before its data.
    const QByteArray small = "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n";
    EXPECT_EQ(HTTPRequestParser(small.size() + 10).feed(small + "a\r\n0123456789\r\n0\r\n\r\n"), State::Complete);
    HTTPRequestParser over(small.size() + 10);
    EXPECT_EQ(over.feed(small + "5\r\n01234\r\n"), State::NeedMore);
    EXPECT_EQ(over.feed("6"), State::ContentTooLarge);
    EXPECT_EQ(HTTPRequestParser().feed(small + "ffffffffffffffffffffffff"), State::ContentTooLarge);
    // Chunk framing that never says anything (endless extensions, a chunk line with no end) is cut off.
    EXPECT_EQ(HTTPRequestParser().feed(small + "1;" + QByteArray(HTTPRequestParser::kMaxChunkLineBytes, 'x')),
              State::BadRequest);
}

// Beside the listener's table of framings: the rarer shapes a more lenient reader would frame
// differently.
TEST(HTTPRequest, RefusesAnythingAnotherReaderCouldFrameDifferently)
{
    const QByteArray post = "POST /mcp HTTP/1.1\r\nHost: localhost\r\n";
    const struct {
        QByteArray rest;
        State state;
    } cases[] = {
        {"Transfer-Encoding: chunked\r\ncontent-length: 0\r\n\r\n", State::BadRequest},
        {"Transfer-Encoding: gzip, chunked\r\n\r\n", State::NotImplemented},
        {"Transfer-Encoding: chunked\r\nTransfer-Encoding: chunked\r\n\r\n", State::NotImplemented},
        {"Content-Length\t: 5\r\n\r\nhello", State::BadRequest},
        {"no colon here\r\n\r\n", State::BadRequest},
        {": empty name\r\n\r\n", State::BadRequest},
        {"Content-Length: 5\nTransfer-Encoding: chunked\r\n\r\nhello", State::BadRequest},
        {"X-A: 1\rX-B: 2\r\n\r\n", State::BadRequest},
        {"Transfer-Encoding: chunked\r\n\r\n\r\n", State::BadRequest},
        {"Transfer-Encoding: chunked\r\n\r\n5\nhello\r\n0\r\n\r\n", State::BadRequest},
        {"Transfer-Encoding: chunked\r\n\r\n5\r\nhelloXX0\r\n\r\n", State::BadRequest},
        {"Transfer-Encoding: chunked\r\n\r\n0\r\nno colon\r\n\r\n", State::BadRequest},
    };
    for (const auto& c : cases) EXPECT_EQ(HTTPRequestParser().feed(post + c.rest), c.state) << c.rest.constData();
}

TEST(RawResponse, WritesTheHeadInOrderAndNeverLetsAValueStartALine)
{
    EXPECT_EQ(rawResponse(204, "No Content", std::nullopt, std::nullopt, {}),
              "HTTP/1.1 204 No Content\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(rawResponse(200, "OK", QByteArray("é"), std::nullopt, {{"B", "2"}, {"A", "1"}}),
              "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 2\r\nB: 2\r\nA: 1\r\n"
              "Connection: close\r\n\r\né");
    EXPECT_FALSE(rawResponse(204, "No Content", std::nullopt, std::nullopt,
                             {{"Access-Control-Allow-Origin", "http://localhost\r\nSet-Cookie: a=b"}})
                     .contains("\nSet-Cookie"));
}

}  // namespace
