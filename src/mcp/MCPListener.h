#pragma once

#include <QByteArray>
#include <QObject>
#include <functional>
#include <memory>
#include <variant>

#include "mcp/HTTPRequest.h"
#include "mcp/HTTPRequestParser.h"

class MCPSocketLoop;

// A duplicate of a connection's descriptor, on which its answer is sent; closed with this.
struct ReplyDescriptor {
    explicit ReplyDescriptor(int f) : fd(f) {}
    ~ReplyDescriptor();
    ReplyDescriptor(const ReplyDescriptor&) = delete;
    ReplyDescriptor& operator=(const ReplyDescriptor&) = delete;
    int fd;
};

// The loopback HTTP listener of the local endpoint. Sockets live on a thread of their own; each
// complete request is handed to the thread that made the listener (the main thread) to be answered,
// and the answer goes back to its connection, which is closed after it. One request per connection.
// A screen, when given, sees each request first (off the listener's thread) and may answer it there.
class MCPListener : public QObject {
    Q_OBJECT
public:
    // Sends the complete response bytes back. Call it once, on the listener's thread; later calls do
    // nothing. Dropping it unanswered closes the connection without a response.
    using Reply = std::function<void(const QByteArray& response)>;
    using Handler = std::function<void(const HTTPRequest& request, Reply reply)>;
    using StateCallback = std::function<void(bool ready, quint16 port)>;
    // Runs for each complete request on the socket thread, or for a large one on a screening thread,
    // so it may be called from several threads at once and may only touch what is safe there.
    // It returns the answer, sent at once from the socket thread, or the work that answers the request on
    // the listener's own thread, which then runs as a handler would. Handing a request over costs a
    // thread switch; an answer that needs nothing of the main thread need not pay it.
    using Later = std::function<void(Reply reply)>;
    using Screen = std::function<std::variant<QByteArray, Later>(const HTTPRequest& request)>;

    // Slow or silent clients must not hold the endpoint: connections are bounded in number, and one
    // that stays silent (or takes too long over its request) is closed; a body that does not follow
    // its head in time gets 408. A connection beyond the bound waits its turn for a while, and one
    // that sends while every slot is held by a connection that has sent nothing yet takes the place
    // of the oldest of those. When the queue is full too, a new connection displaces the oldest
    // connection that has sent nothing; it is turned away only when every connection held has sent.
    // A queued connection whose whole request has already arrived needs no slot to be read: it is
    // answered at once, beside the slots, as long as fewer requests than there are slots are being
    // answered.
    struct Limits {
        int maxConnections = 16;
        int idleTimeoutMs = 10'000;
        int requestTimeoutMs = 30'000;
        int headTimeoutMs = 2'000;
        int bodyTimeoutMs = 2'000;  // from the end of the head to the end of the declared body
        int maxWaiting = 64;
        int queueTimeoutMs = 5'000;
        qsizetype maxRequestBytes = HTTPRequestParser::kDefaultMaxBytes;
    };

    // Besides the preferred port, this many ports after it are tried in turn.
    static constexpr int kFallbackPorts = 12;

    explicit MCPListener(Handler handle, QObject* parent = nullptr);
    MCPListener(Handler handle, Limits limits, QObject* parent = nullptr);
    MCPListener(Screen screen, Limits limits, QObject* parent = nullptr);
    ~MCPListener() override;

    // Binds 127.0.0.1 on the preferred port or the first free one of the ports after it. onState is
    // called on this object's thread: (true, port) when listening, (false, last port tried) when no
    // port could be bound. A later start() or stop() silences the reports of an earlier start().
    void start(quint16 preferredPort, StateCallback onState);
    // Stops accepting. Connections already accepted still get their answer.
    void stop();

private:
    void deliver(quint64 connection, const Later& answer, std::shared_ptr<ReplyDescriptor> fd);
    void report(quint64 generation, bool ready, quint16 port);

    StateCallback m_onState;
    quint64 m_generation = 0;
    std::shared_ptr<MCPSocketLoop> m_loop;
};
