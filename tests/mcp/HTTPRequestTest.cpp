#include <gtest/gtest.h>

#include "mcp/HTTPRequest.h"
#include "mcp/HTTPRequestParser.h"
#include "mcp/MCPService.h"

namespace {

using State = HTTPRequestParser::State;

const QByteArray kRequest =
    "POST /mcp/abc?x=1 HTTP/1.1\r\nHOST:  127.0.0.1:48219 \t\r\nAuthorization: Bearer one\r\n"
    "authorization: Bearer two\r\nno colon here\r\nContent-Length: 5\r\n\r\nhello";

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
    EXPECT_EQ(HTTPRequest::parse("GET / HTTP/1.1\r\nContent-Length: +0\r\n\r\nignored")->body, "");
}

TEST(HTTPRequest, RefusesBadLengthsMalformedHeadsAndOversizeRequestsAtOnce)
{
    for (const char* value : {"-1", "-0", "", "abc", "12x", "1 2", "99999999999999999999"}) {
        HTTPRequestParser p;
        EXPECT_EQ(p.feed(QByteArray("POST /mcp HTTP/1.1\r\nContent-Length: ") + value + "\r\n\r\n"), State::BadLength)
            << value;
        EXPECT_EQ(p.feed("body"), State::BadLength);
    }
    EXPECT_EQ(HTTPRequestParser().feed("POST\r\nHost: x\r\n\r\n"), State::Malformed);
    EXPECT_EQ(HTTPRequestParser().feed("POST /mcp\xff HTTP/1.1\r\n\r\n"), State::Malformed);
    EXPECT_TRUE(HTTPRequest::parse("POST /mcp HTTP/1.1\r\nContent-Length: 1\r\n\r\n\xff"));  // the body's business

    // Head and declared body may fill the cap exactly; a declared length past it is refused unread.
    const QByteArray head = "POST / HTTP/1.1\r\nContent-Length: 61\r\n\r\n";
    ASSERT_EQ(head.size(), 39);
    EXPECT_EQ(HTTPRequestParser(100).feed(head + QByteArray(61, 'x')), State::Complete);
    EXPECT_EQ(HTTPRequestParser(99).feed(head), State::TooLarge);
    HTTPRequestParser endless(100);
    EXPECT_EQ(endless.feed(QByteArray(100, 'a')), State::NeedMore);
    EXPECT_EQ(endless.feed("a"), State::TooLarge);
}

TEST(RawResponse, WritesTheHeadInOrderAndNeverLetsAValueStartALine)
{
    EXPECT_EQ(MCPService::rawResponse(204, "No Content", std::nullopt, std::nullopt, {}),
              "HTTP/1.1 204 No Content\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(MCPService::rawResponse(200, "OK", QByteArray("é"), std::nullopt, {{"B", "2"}, {"A", "1"}}),
              "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 2\r\nB: 2\r\nA: 1\r\n"
              "Connection: close\r\n\r\né");
    EXPECT_FALSE(MCPService::rawResponse(204, "No Content", std::nullopt, std::nullopt,
                                         {{"Access-Control-Allow-Origin", "http://localhost\r\nSet-Cookie: a=b"}})
                     .contains("\nSet-Cookie"));
}

}  // namespace
