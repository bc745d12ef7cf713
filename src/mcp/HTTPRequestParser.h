#pragma once

#include <QByteArray>

#include "mcp/HTTPRequest.h"

// Reads one request from a connection's bytes as they arrive. Each byte is looked at a bounded number
// of times, so a large request costs linear time however it is split; the head is parsed once.
//
// The body is framed by Content-Length or by the chunked transfer coding. Anything that another
// reader (a proxy, a client library) could frame differently is refused rather than guessed at:
// both framings at once, lengths that disagree, header lines that are folded, lack a colon or have
// blanks before it, bare CR or LF in the head, a request line that is not method, target and version.
class HTTPRequestParser {
public:
    enum class State {
        NeedMore,             // no complete request yet
        Complete,             // request() holds the request; further bytes are ignored
        BadRequest,           // the framing cannot be trusted (see above): answer 400
        NotImplemented,       // a transfer coding other than chunked: answer 501
        ContentTooLarge,      // a declared length or chunk size past the byte limit: answer 413
        VersionNotSupported,  // an HTTP version other than 1.0 and 1.1: answer 505
        Malformed,            // the head can never form a request (bad UTF-8, a one-word request line): answer 400
        TooLarge,             // the bytes run past the limits without a request: answer 400 where the socket takes it
    };

    // Requests (head and body, the body counted as decoded) may take at most this many bytes.
    static constexpr qsizetype kDefaultMaxBytes = 5'000'000;
    // A chunk-size line (with its extensions) and the trailer section may each take at most this many.
    static constexpr qsizetype kMaxChunkLineBytes = 4096;
    static constexpr qsizetype kMaxTrailerBytes = 16384;

    explicit HTTPRequestParser(qsizetype maxBytes = kDefaultMaxBytes);

    // Takes the next bytes of the stream. Once the state is no longer NeedMore it stays as it is.
    State feed(const char* data, qsizetype size);
    State feed(const QByteArray& data) { return feed(data.constData(), data.size()); }

    State state() const { return m_state; }
    // The head (request line and headers) has been read.
    bool headComplete() const { return m_bodyStart >= 0 || m_state != State::NeedMore; }
    const HTTPRequest& request() const { return m_request; }
    // Hands the request over, leaving request() empty.
    HTTPRequest takeRequest() { return std::move(m_request); }

private:
    enum class Framing { UntilHead, Length, Chunked };
    enum class ChunkStep { Size, Data, DataEnd, Trailer };

    State parseHead(qsizetype headEnd);
    State takeBody();
    State decodeChunks();

    qsizetype m_maxBytes;
    State m_state = State::NeedMore;
    QByteArray m_buffer;
    // Where the search for the blank line goes on from; bytes before it hold no "\r\n\r\n" start.
    qsizetype m_scanFrom = 0;
    // Offset of the body once the head is parsed, else -1.
    qsizetype m_bodyStart = -1;
    Framing m_framing = Framing::UntilHead;
    // The declared body length (Length framing).
    qint64 m_contentLength = -1;
    // Chunked framing: the decoded body may take this many bytes; what is left of the current chunk;
    // wire bytes of the body taken so far (framing included) and of the trailer section.
    qsizetype m_bodyBudget = 0;
    ChunkStep m_chunkStep = ChunkStep::Size;
    qint64 m_chunkLeft = 0;
    qint64 m_wireBytes = 0;
    qsizetype m_trailerBytes = 0;
    HTTPRequest m_request;
};
