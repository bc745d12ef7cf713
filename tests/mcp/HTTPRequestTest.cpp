#include <gtest/gtest.h>

#include "mcp/HTTPRequest.h"
#include "mcp/HTTPRequestParser.h"
#include "mcp/MCPService.h"

namespace {

using State = HTTPRequestParser::State;

const QByteArray kRequest =
    "POST /mcp/abc?x=1 HTTP/1.1\r\n"
    "HOST:  127.0.0.1:48219 \t\r\n"
    "Authorization: Bearer one\r\n"
    "authorization: Bearer two\r\n"
    "no colon here\r\n"
    "Content-Length: 5\r\n"
    "\r\n"
    "hello";

TEST(HTTPRequest, ParsesRequestLineHeadersAndBody)
{
    const auto r = HTTPRequest::parse(kRequest);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->method, "POST");
    EXPECT_EQ(r->target, "/mcp/abc?x=1");
    EXPECT_EQ(r->path(), "/mcp/abc");
    EXPECT_EQ(r->header("host"), "127.0.0.1:48219");
    EXPECT_EQ(r->header("authorization"), "Bearer two");  // the later line wins
    EXPECT_EQ(r->headers.size(), 3);
    EXPECT_EQ(r->body, "hello");

    HTTPRequest q;
    q.target = QStringLiteral("?only");
    EXPECT_EQ(q.path(), "only");
    q.target = QStringLiteral("??");
    EXPECT_EQ(q.path(), "??");
}

TEST(HTTPRequest, SplitReadsCompleteExactlyWithTheLastDeclaredByte)
{
    // Every split into two reads, and byte-at-a-time, gives the same request, never early.
    for (qsizetype cut = 0; cut <= kRequest.size(); ++cut) {
        HTTPRequestParser p;
        const State first = p.feed(kRequest.left(cut));
        EXPECT_EQ(first, cut == kRequest.size() ? State::Complete : State::NeedMore) << cut;
        EXPECT_EQ(p.feed(kRequest.mid(cut)), State::Complete) << cut;
        EXPECT_EQ(p.request().body, "hello");
        EXPECT_EQ(p.request().header("authorization"), "Bearer two");
    }
    HTTPRequestParser p;
    for (qsizetype i = 0; i < kRequest.size() - 1; ++i) ASSERT_EQ(p.feed(kRequest.mid(i, 1)), State::NeedMore);
    EXPECT_EQ(p.feed(kRequest.right(1)), State::Complete);
}

TEST(HTTPRequest, PipelinedBytesAfterTheBodyAreNotPartOfIt)
{
    HTTPRequestParser p;
    EXPECT_EQ(p.feed(kRequest + "GET / HTTP/1.1\r\n\r\n"), State::Complete);
    EXPECT_EQ(p.request().body, "hello");
    EXPECT_EQ(p.feed("more"), State::Complete);
    EXPECT_EQ(p.request().body, "hello");
}

TEST(HTTPRequest, WithoutContentLengthTheBodyIsWhatCameWithTheHead)
{
    HTTPRequestParser p;
    EXPECT_EQ(p.feed("POST /mcp HTTP/1.1\r\n\r\n{\"a\":"), State::Complete);
    EXPECT_EQ(p.request().body, "{\"a\":");
    EXPECT_EQ(p.feed("1}"), State::Complete);
    EXPECT_EQ(p.request().body, "{\"a\":");

    const auto zero = HTTPRequest::parse("GET / HTTP/1.1\r\nContent-Length: +0\r\n\r\nignored");
    ASSERT_TRUE(zero);
    EXPECT_TRUE(zero->body.isEmpty());
}

TEST(HTTPRequest, NegativeOrMalformedContentLengthIsRefusedAtOnce)
{
    for (const char* value : {"-1", "-0", "", "abc", "12x", "1 2", "0x10", "99999999999999999999"}) {
        HTTPRequestParser p;
        const QByteArray head = QByteArray("POST /mcp HTTP/1.1\r\nContent-Length: ") + value + "\r\n\r\n";
        EXPECT_EQ(p.feed(head), State::BadLength) << value;
        EXPECT_EQ(p.feed("body"), State::BadLength) << value;
        EXPECT_FALSE(HTTPRequest::parse(head + "body")) << value;
    }
}

TEST(HTTPRequest, ByteCapHoldsForHeadAndDeclaredBody)
{
    // A declared body that cannot fit is refused as soon as the head is read.
    HTTPRequestParser big(100);
    EXPECT_EQ(big.feed("POST / HTTP/1.1\r\nContent-Length: 5000001\r\n\r\n"), State::TooLarge);

    // Head and body of exactly the cap are fine; one byte more is not.
    const QByteArray head = "POST / HTTP/1.1\r\nContent-Length: 61\r\n\r\n";
    ASSERT_EQ(head.size(), 39);
    HTTPRequestParser exact(100);
    EXPECT_EQ(exact.feed(head + QByteArray(61, 'x')), State::Complete);
    HTTPRequestParser over(99);
    EXPECT_EQ(over.feed(head), State::TooLarge);

    // A head that never ends is given up at the cap.
    HTTPRequestParser endless(100);
    EXPECT_EQ(endless.feed(QByteArray(100, 'a')), State::NeedMore);
    EXPECT_EQ(endless.feed("a"), State::TooLarge);

    EXPECT_EQ(HTTPRequestParser::kDefaultMaxBytes, 5'000'000);
}

TEST(HTTPRequest, HeadsThatCanNeverBeARequestAreMalformed)
{
    HTTPRequestParser oneWord;
    EXPECT_EQ(oneWord.feed("POST\r\nHost: x\r\n\r\n"), State::Malformed);
    EXPECT_EQ(oneWord.feed("POST /mcp HTTP/1.1\r\n\r\n"), State::Malformed);

    HTTPRequestParser badUtf8;
    EXPECT_EQ(badUtf8.feed("POST /mcp\xff HTTP/1.1\r\n\r\n"), State::Malformed);

    // Invalid UTF-8 in the body is the body's business.
    EXPECT_TRUE(HTTPRequest::parse("POST /mcp HTTP/1.1\r\nContent-Length: 1\r\n\r\n\xff"));
}

TEST(RawResponse, WritesHeadInOrderAndNeverLetsAValueStartALine)
{
    EXPECT_EQ(MCPService::rawResponse(204, QStringLiteral("No Content"), std::nullopt, std::nullopt, {}),
              "HTTP/1.1 204 No Content\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(MCPService::rawResponse(
                  200, QStringLiteral("OK"), QByteArray("{}"), std::nullopt,
                  {{QStringLiteral("B"), QStringLiteral("2")}, {QStringLiteral("A"), QStringLiteral("1")}}),
              "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 2\r\nB: 2\r\nA: 1\r\n"
              "Connection: close\r\n\r\n{}");
    EXPECT_EQ(MCPService::rawResponse(200, QStringLiteral("OK"), QByteArray("é"), QStringLiteral("text/plain"), {}),
              "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 2\r\nConnection: close\r\n\r\né");
    const QByteArray injected = MCPService::rawResponse(
        204, QStringLiteral("No Content"), std::nullopt, std::nullopt,
        {{QStringLiteral("Access-Control-Allow-Origin"), QStringLiteral("http://localhost\r\nSet-Cookie: a=b")}});
    EXPECT_TRUE(injected.contains("Access-Control-Allow-Origin: http://localhostSet-Cookie: a=b\r\n"));
    EXPECT_FALSE(injected.contains("\nSet-Cookie"));
}

}  // namespace
