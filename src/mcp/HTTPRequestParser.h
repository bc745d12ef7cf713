#pragma once

#include <QByteArray>

#include "mcp/HTTPRequest.h"

// Reads one request from a connection's bytes as they arrive. Each byte is looked at a bounded number
// of times, so a large request costs linear time however it is split; the head is parsed once.
class HTTPRequestParser {
public:
    enum class State {
        NeedMore,   // no complete request yet
        Complete,   // request() holds the request; further bytes are ignored
        BadLength,  // the Content-Length is negative or not a number: refuse without reading on
        Malformed,  // the head can never form a request (bad UTF-8, a one-word request line)
        TooLarge,   // the request would exceed the byte limit
    };

    // Requests (head and body) may take at most this many bytes.
    static constexpr qsizetype kDefaultMaxBytes = 5'000'000;

    explicit HTTPRequestParser(qsizetype maxBytes = kDefaultMaxBytes);

    // Takes the next bytes of the stream. Once the state is no longer NeedMore it stays as it is.
    State feed(const char* data, qsizetype size);
    State feed(const QByteArray& data) { return feed(data.constData(), data.size()); }

    State state() const { return m_state; }
    // The head (request line and headers) has been read.
    bool headComplete() const { return m_bodyStart >= 0 || m_state != State::NeedMore; }
    const HTTPRequest& request() const { return m_request; }

private:
    State parseHead(qsizetype headEnd);
    State takeBody();

    qsizetype m_maxBytes;
    State m_state = State::NeedMore;
    QByteArray m_buffer;
    // Where the search for the blank line goes on from; bytes before it hold no "\r\n\r\n" start.
    qsizetype m_scanFrom = 0;
    // Offset of the body once the head is parsed, else -1.
    qsizetype m_bodyStart = -1;
    // The declared body length, or -1 when none was given.
    qint64 m_contentLength = -1;
    HTTPRequest m_request;
};
