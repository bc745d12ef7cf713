#include "mcp/MCPListener.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QPointer>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <variant>
#include <vector>

#include "mcp/HTTPResponse.h"
#include "platform/Log.h"
#include "platform/PeerCredentials.h"

namespace {

qint64 nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// After the answer is sent the peer gets this long to read it and close; closing at once while its
// bytes are still unread would reset the connection and could destroy the answer in flight.
constexpr qint64 kDrainMs = 2000;
// When the process runs out of descriptors, accepting is paused this long instead of spinning.
constexpr qint64 kAcceptBackoffMs = 100;
constexpr qsizetype kReadSize = 65536;
// A connection is only judged silent (and may give its slot to one that sends) once it has had this
// long to send: one accepted a moment ago may have its request on the way.
constexpr qint64 kSilentGraceMs = 50;
// A queued connection whose bytes so far are not a whole request is looked at again after this long,
// not on every turn of the loop: its unread bytes would wake the poll at once.
constexpr qint64 kQueuedRecheckMs = 100;
// A body this large keeps the JSON reader busy long enough (milliseconds at megabytes) to hold up
// the small requests of every other connection, so it is screened on a thread of its own.
constexpr qsizetype kScreenAsideBytes = 64 * 1024;
// Threads that screen large requests, started when the first one comes.
constexpr int kScreenThreads = 2;

// The peer's port, to follow one connection through the trace.
int peerPort(int fd)
{
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return 0;
    if (addr.ss_family == AF_INET) return ntohs(reinterpret_cast<sockaddr_in*>(&addr)->sin_port);
    if (addr.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&addr)->sin6_port);
    return 0;
}

#define MCP_TRACE(...) qCDebug(Log::app, __VA_ARGS__)

}  // namespace

// The socket thread: a poll loop over the listening socket and the open connections. Everything in
// here runs on that thread, apart from post(), which any thread may call.
class MCPSocketLoop {
public:
    // answer: the work the screen left for the main thread; replyFd: a duplicate of the connection's
    // descriptor for the answer to be sent on, owned by the sink (-1 when none could be made).
    using RequestSink = std::function<void(quint64 connection, MCPListener::Later answer, int replyFd)>;
    using StateSink = std::function<void(quint64 generation, bool ready, quint16 port)>;

    struct Command {
        enum Kind { Bind, Unbind, Reply, Drop, Screened, Quit } kind;
        quint64 generation = 0;
        quint16 port = 0;
        quint64 connection = 0;
        QByteArray bytes;
        qsizetype sent = 0;  // Reply: how much of bytes the answering thread has sent already
        std::variant<QByteArray, MCPListener::Later> triage = {};  // Screened: what the screen made of it
    };

    MCPSocketLoop(MCPListener::Limits limits, MCPListener::Screen screen, RequestSink onRequest, StateSink onState)
        : m_limits(limits),
          m_screen(std::move(screen)),
          m_onRequest(std::move(onRequest)),
          m_onState(std::move(onState))
    {
        m_wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        m_thread = std::thread([this] { run(); });
    }

    ~MCPSocketLoop()
    {
        post({Command::Quit});
        if (m_thread.joinable()) m_thread.join();
        // Requests not yet screened are dropped; one being screened is finished, and its answer
        // goes to a loop that no longer reads commands.
        {
            std::lock_guard<std::mutex> lock(m_screenMutex);
            m_screenStop = true;
            m_screenJobs.clear();
        }
        m_screenReady.notify_all();
        for (std::thread& t : m_screenThreads) t.join();
        if (m_wakeFd >= 0) ::close(m_wakeFd);
    }

    void post(Command command)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_commands.push_back(std::move(command));
        }
        const quint64 one = 1;
        [[maybe_unused]] const auto written = ::write(m_wakeFd, &one, sizeof one);
    }

private:
    enum class Phase { Waiting, Reading, Screening, Answering, Writing, Draining };

    struct Connection {
        int fd = -1;
        Phase phase = Phase::Reading;
        HTTPRequestParser parser;
        QByteArray out;
        qsizetype sent = 0;
        qint64 idleDeadline = 0;
        qint64 finalDeadline = 0;  // the whole request (Reading), the drain (Draining), the turn (Waiting)
        qint64 headDeadline = 0;
        qint64 bodyDeadline = 0;  // set once the head is complete
        bool heard = false;       // a byte of the request has arrived
        qint64 activatedAt = 0;
        qint64 acceptedAt = 0;
        // Taken from the queue because its whole request was already there; holds none of the slots.
        bool whole = false;
        qint64 recheckAt = 0;  // Waiting: not looked at before this, its bytes being incomplete
        int port = 0;          // the peer's, for the trace
        bool closed = false;
    };

    void run()
    {
        std::vector<pollfd> fds;
        std::vector<quint64> ids;
        std::vector<char> scratch(kReadSize);
        for (;;) {
            qint64 now = nowMs();
            fds.clear();
            ids.clear();
            fds.push_back({m_wakeFd, POLLIN, 0});
            const bool acceptOpen = m_listenFd >= 0 && now >= m_acceptPausedUntil;
            if (acceptOpen) fds.push_back({m_listenFd, POLLIN, 0});
            qint64 nextDeadline = m_listenFd >= 0 && !acceptOpen ? m_acceptPausedUntil : -1;
            auto consider = [&nextDeadline](qint64 d) {
                if (nextDeadline < 0 || d < nextDeadline) nextDeadline = d;
            };
            // Turned-away connections of other accounts, read and dropped until they close.
            const size_t firstTurnedAway = fds.size();
            for (const TurnedAway& t : m_turnedAway) {
                fds.push_back({t.fd, POLLIN, 0});
                consider(t.deadline);
            }
            const size_t firstConnection = fds.size();
            const bool canEvict = hasSilent(now, consider);
            const bool roomForWhole = answeringCount() < m_limits.maxConnections;
            for (auto& [id, c] : m_connections) {
                short events = 0;
                switch (c.phase) {
                    case Phase::Waiting:
                        consider(c.finalDeadline);
                        if (now < c.recheckAt) consider(c.recheckAt);
                        // Looked at when a silent connection could make room for it, or when what it
                        // sent may be a whole request that can be answered without a slot.
                        if (!canEvict && (now < c.recheckAt || !roomForWhole)) continue;
                        events = POLLIN;
                        break;
                    case Phase::Reading:
                        events = POLLIN;
                        consider(std::min(c.idleDeadline, c.finalDeadline));
                        consider(c.parser.headComplete() ? c.bodyDeadline : c.headDeadline);
                        break;
                    case Phase::Writing:
                        events = POLLOUT;
                        consider(c.idleDeadline);
                        break;
                    case Phase::Draining:
                        events = POLLIN;
                        consider(c.finalDeadline);
                        break;
                    case Phase::Screening:
                    case Phase::Answering:
                        // Another thread has the request; the peer waits for the answer.
                        continue;
                }
                fds.push_back({c.fd, events, 0});
                ids.push_back(id);
            }
            const int timeout = nextDeadline < 0 ? -1 : int(std::clamp<qint64>(nextDeadline - now, 0, 60'000));
            const int ready = ::poll(fds.data(), fds.size(), timeout);
            if (ready < 0 && errno != EINTR) {
                qCCritical(Log::app, "MCP listener poll failed: %s", strerror(errno));
                closeAll();
                return;
            }
            now = nowMs();

            if (fds[0].revents & POLLIN) {
                quint64 count = 0;
                [[maybe_unused]] const auto n = ::read(m_wakeFd, &count, sizeof count);
                if (!runCommands(now)) {
                    closeAll();
                    return;
                }
            }
            for (size_t i = firstTurnedAway; i < firstConnection; ++i) {
                TurnedAway& t = m_turnedAway[i - firstTurnedAway];
                if (!fds[i].revents) continue;
                const ssize_t n = ::recv(t.fd, scratch.data(), scratch.size(), 0);
                if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) t.deadline = 0;
            }
            std::erase_if(m_turnedAway, [now](const TurnedAway& t) {
                if (now < t.deadline) return false;
                ::close(t.fd);
                return true;
            });
            if (acceptOpen && (fds[1].revents & POLLIN)) acceptAll(now, scratch);
            for (size_t i = firstConnection; i < fds.size(); ++i) {
                if (!fds[i].revents) continue;
                auto it = m_connections.find(ids[i - firstConnection]);
                if (it != m_connections.end()) service(it->first, it->second, fds[i].revents, scratch, now);
            }
            expire(now);
            std::erase_if(m_connections, [](const auto& entry) { return entry.second.closed; });
            promoteWaiting(now);
        }
    }

    int waitingCount() const
    {
        return int(std::count_if(m_connections.begin(), m_connections.end(), [](const auto& entry) {
            return !entry.second.closed && entry.second.phase == Phase::Waiting;
        }));
    }

    // A connection in the queue is not read from; whether it has sent anything is seen in its socket.
    static bool isSilentWaiting(const Connection& c)
    {
        if (c.closed || c.phase != Phase::Waiting) return false;
        int pending = 0;
        return ::ioctl(c.fd, FIONREAD, &pending) == 0 && pending == 0;
    }

    // Connections out of the queue. One taken from the queue with its whole request counts too: while
    // it is answered it holds a place like any other, so held answers still fill the endpoint and turn
    // newcomers away rather than letting more through to wait on the main thread.
    int activeCount() const
    {
        int n = 0;
        for (const auto& [id, c] : m_connections) n += !c.closed && c.phase != Phase::Waiting;
        return n;
    }

    // Requests past reading: being answered, written or drained. Their number stays within the bound
    // of slots, whether they came through a slot or straight from the queue.
    int answeringCount() const
    {
        int n = 0;
        for (const auto& [id, c] : m_connections)
            n += !c.closed && c.phase != Phase::Waiting && (c.phase != Phase::Reading || c.whole);
        return n;
    }

    // A queued connection whose whole request is already in its socket needs no turn in a slot: the
    // slots bound the connections being read, which a slow or trickling client can hold for seconds,
    // and this one is read at once. So it is taken from the queue and answered beside the slots, as
    // long as fewer requests than there are slots are being answered; when they are, it waits its
    // turn as before. A request not yet whole stays queued, its bytes unread, and is looked at again
    // a little later.
    void takeIfWhole(quint64 id, Connection& c, std::vector<char>& scratch, qint64 now)
    {
        if (c.phase != Phase::Waiting || answeringCount() >= m_limits.maxConnections) return;
        const ssize_t n = ::recv(c.fd, scratch.data(), scratch.size(), MSG_PEEK);
        if (n == 0) {
            // The peer gave up while queued: nothing to answer.
            MCP_TRACE("mcp %lld :%d closed while queued", now, c.port);
            close(c);
            return;
        }
        if (n < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) close(c);
            return;
        }
        HTTPRequestParser probe(m_limits.maxRequestBytes);
        if (probe.feed(scratch.data(), n) != HTTPRequestParser::State::Complete) {
            c.recheckAt = now + kQueuedRecheckMs;
            return;
        }
        MCP_TRACE("mcp %lld :%d whole request taken from the queue after %lld ms", now, c.port, now - c.acceptedAt);
        c.whole = true;
        activate(c, now);
        service(id, c, POLLIN, scratch, now);
    }

    // Whether a waiting connection could take the slot of a silent one now; when one may become
    // silent later, that moment is a deadline.
    template <typename Consider>
    bool hasSilent(qint64 now, Consider&& consider) const
    {
        const bool waiting = std::any_of(m_connections.begin(), m_connections.end(), [](const auto& entry) {
            return !entry.second.closed && entry.second.phase == Phase::Waiting;
        });
        if (!waiting) return false;
        bool silent = false;
        for (const auto& [id, c] : m_connections) {
            if (c.closed || c.phase != Phase::Reading || c.heard) continue;
            if (now < c.activatedAt + kSilentGraceMs)
                consider(c.activatedAt + kSilentGraceMs);
            else
                silent |= isSilent(c, now);
        }
        return silent;
    }

    // Reading, nothing heard, past its grace, and nothing waiting in its socket either.
    static bool isSilent(const Connection& c, qint64 now)
    {
        if (c.closed || c.phase != Phase::Reading || c.heard || now < c.activatedAt + kSilentGraceMs) return false;
        int pending = 0;
        return ::ioctl(c.fd, FIONREAD, &pending) == 0 && pending == 0;
    }

    void activate(Connection& c, qint64 now)
    {
        MCP_TRACE("mcp %lld :%d slot after %lld ms, active %d", now, c.port, now - c.acceptedAt, activeCount());
        c.phase = Phase::Reading;
        c.activatedAt = now;
        c.idleDeadline = now + m_limits.idleTimeoutMs;
        c.finalDeadline = now + m_limits.requestTimeoutMs;
        c.headDeadline = now + m_limits.headTimeoutMs;
    }

    // Waiting connections take free slots in the order they came (the map is ordered by arrival),
    // those whose request is already there before those that have sent nothing.
    void promoteWaiting(qint64 now)
    {
        int free = m_limits.maxConnections - activeCount();
        for (const bool silentToo : {false, true})
            for (auto it = m_connections.begin(); free > 0 && it != m_connections.end(); ++it)
                if (!it->second.closed && it->second.phase == Phase::Waiting &&
                    (silentToo || !isSilentWaiting(it->second))) {
                    activate(it->second, now);
                    --free;
                }
    }

    // A waiting connection that has sent something takes the slot of the oldest connection that has
    // sent nothing at all.
    void takeSilentSlot(Connection& waiting, qint64 now)
    {
        if (activeCount() >= m_limits.maxConnections) {
            auto silent = std::find_if(m_connections.begin(), m_connections.end(),
                                       [now](const auto& entry) { return isSilent(entry.second, now); });
            if (silent == m_connections.end()) return;
            MCP_TRACE("mcp %lld :%d evicted silent for :%d", now, silent->second.port, waiting.port);
            close(silent->second);
        }
        activate(waiting, now);
    }

    // The answer is sent at once, but the descriptor is kept (outside the slots) until the peer
    // closes or a short while passes: closing over a request still arriving would reset the
    // connection and could destroy the answer before it is read.
    void forbid(int fd, qint64 now)
    {
        static const QByteArray forbidden =
            rawResponse(403, QStringLiteral("Forbidden"), std::nullopt, std::nullopt, {});
        [[maybe_unused]] const auto n = ::send(fd, forbidden.constData(), size_t(forbidden.size()), MSG_NOSIGNAL);
        ::shutdown(fd, SHUT_WR);
        if (m_turnedAway.size() >= kMaxTurnedAway) {
            ::close(m_turnedAway.front().fd);
            m_turnedAway.erase(m_turnedAway.begin());
        }
        m_turnedAway.push_back({fd, now + kDrainMs});
    }

    void refuse(int fd)
    {
        // Full: say so rather than leave the client hanging.
        static const QByteArray busy =
            rawResponse(503, QStringLiteral("Service Unavailable"), std::nullopt, std::nullopt, {});
        [[maybe_unused]] const auto n = ::send(fd, busy.constData(), size_t(busy.size()), MSG_NOSIGNAL);
        ::shutdown(fd, SHUT_WR);
    }

    // Returns false when told to quit.
    bool runCommands(qint64 now)
    {
        std::vector<Command> commands;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            commands.swap(m_commands);
        }
        for (Command& cmd : commands) {
            switch (cmd.kind) {
                case Command::Quit:
                    return false;
                case Command::Bind:
                    bind(cmd.generation, cmd.port);
                    break;
                case Command::Unbind:
                    closeListener();
                    break;
                case Command::Reply: {
                    auto it = m_connections.find(cmd.connection);
                    if (it == m_connections.end() || it->second.phase != Phase::Answering) break;
                    Connection& c = it->second;
                    c.out = std::move(cmd.bytes);
                    c.sent = std::clamp<qsizetype>(cmd.sent, 0, c.out.size());
                    c.idleDeadline = now + m_limits.idleTimeoutMs;
                    if (c.sent == c.out.size()) {
                        // All sent and our side ended by the answering thread: wait for the peer to close.
                        c.out.clear();
                        c.phase = Phase::Draining;
                        c.finalDeadline = now + std::min<qint64>(kDrainMs, m_limits.idleTimeoutMs);
                    } else {
                        c.phase = Phase::Writing;
                        writeSome(c, now);
                    }
                    break;
                }
                case Command::Screened: {
                    // A connection closed meanwhile has no use for it.
                    auto it = m_connections.find(cmd.connection);
                    if (it == m_connections.end() || it->second.closed || it->second.phase != Phase::Screening) break;
                    answer(it->first, it->second, std::move(cmd.triage), now);
                    break;
                }
                case Command::Drop: {
                    auto it = m_connections.find(cmd.connection);
                    if (it != m_connections.end() && it->second.phase == Phase::Answering) close(it->second);
                    break;
                }
            }
        }
        return true;
    }

    void bind(quint64 generation, quint16 preferredPort)
    {
        closeListener();
        quint32 port = preferredPort;
        for (int attemptsLeft = MCPListener::kFallbackPorts;; --attemptsLeft, ++port) {
            const int fd = listenOn(quint16(port));
            if (fd >= 0) {
                m_listenFd = fd;
                m_onState(generation, true, quint16(port));
                return;
            }
            if (attemptsLeft < 1 || port >= 65535) {
                m_onState(generation, false, quint16(port));
                return;
            }
        }
    }

    static int listenOn(quint16 port)
    {
        if (port == 0) return -1;  // would pick an arbitrary port
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) return -1;
        const int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(port);
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 32) != 0) {
            ::close(fd);
            return -1;
        }
        return fd;
    }

    void closeListener()
    {
        if (m_listenFd >= 0) ::close(m_listenFd);
        m_listenFd = -1;
    }

    void acceptAll(qint64 now, std::vector<char>& scratch)
    {
        for (;;) {
            const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0) {
                if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
                    m_acceptPausedUntil = now + kAcceptBackoffMs;
                return;
            }
            // Loopback is shared by every user of the machine: only our own may come in, and another
            // account's connection is turned away before it can take a slot or a place in the queue.
            if (!PeerCredentials::isOwnUser(fd)) {
                forbid(fd, now);
                continue;
            }
            int active = activeCount();
            int waiting = waitingCount();
            if (active >= m_limits.maxConnections && waiting >= m_limits.maxWaiting) {
                // Connections that send nothing must not lock the others out: the oldest of them makes
                // room. Only when every connection held has sent something is the new one refused.
                auto silent = std::find_if(m_connections.begin(), m_connections.end(), [now](const auto& entry) {
                    return isSilent(entry.second, now) || isSilentWaiting(entry.second);
                });
                if (silent == m_connections.end()) {
                    MCP_TRACE("mcp %lld :%d refused, full", now, Log::app().isDebugEnabled() ? peerPort(fd) : 0);
                    refuse(fd);
                    ::close(fd);
                    continue;
                }
                MCP_TRACE("mcp %lld :%d evicted silent at accept", now, silent->second.port);
                close(silent->second);
                active = activeCount();
                waiting = waitingCount();
            }
            Connection c;
            c.fd = fd;
            c.acceptedAt = now;
            if (Log::app().isDebugEnabled()) c.port = peerPort(fd);
            MCP_TRACE("mcp %lld :%d accepted, active %d waiting %d", now, c.port, active, waiting);
            c.parser = HTTPRequestParser(m_limits.maxRequestBytes);
            // Slots go in the order connections came: none is taken ahead of one already waiting.
            if (active < m_limits.maxConnections && waiting == 0) {
                activate(c, now);
            } else {
                c.phase = Phase::Waiting;
                c.finalDeadline = now + m_limits.queueTimeoutMs;
            }
            const auto [it, added] = m_connections.emplace(++m_lastId, std::move(c));
            // The request often arrives with the connection: read it now rather than after another poll.
            if (it->second.phase == Phase::Reading)
                service(it->first, it->second, POLLIN, scratch, now);
            else
                takeIfWhole(it->first, it->second, scratch, now);
        }
    }

    void service(quint64 id, Connection& c, short revents, std::vector<char>& scratch, qint64 now)
    {
        if (c.phase == Phase::Waiting) {
            takeSilentSlot(c, now);
            if (c.phase == Phase::Waiting) {
                takeIfWhole(id, c, scratch, now);
                return;
            }
        }
        switch (c.phase) {
            case Phase::Waiting:
                return;
            case Phase::Reading: {
                const ssize_t n = ::recv(c.fd, scratch.data(), scratch.size(), 0);
                if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
                if (n <= 0) {
                    // End of stream or an error before the request was complete: nothing to answer.
                    close(c);
                    return;
                }
                c.idleDeadline = now + m_limits.idleTimeoutMs;
                c.heard = true;
                const bool hadHead = c.parser.headComplete();
                const auto state = c.parser.feed(scratch.data(), n);
                // The body it declared must follow soon: trickling it would hold the slot.
                if (!hadHead && c.parser.headComplete()) c.bodyDeadline = now + m_limits.bodyTimeoutMs;
                switch (state) {
                    case HTTPRequestParser::State::NeedMore:
                        return;
                    case HTTPRequestParser::State::Complete: {
                        MCP_TRACE("mcp %lld :%d complete after %lld ms", now, c.port, now - c.acceptedAt);
                        if (c.parser.request().body.size() >= kScreenAsideBytes) {
                            c.phase = Phase::Screening;
                            screenAside(id, c.parser.takeRequest());
                            return;
                        }
                        return answer(id, c, m_screen(c.parser.request()), now);
                    }
                    case HTTPRequestParser::State::BadRequest:
                        return answerAndClose(c, 400, QStringLiteral("Bad Request"));
                    case HTTPRequestParser::State::NotImplemented:
                        return answerAndClose(c, 501, QStringLiteral("Not Implemented"));
                    case HTTPRequestParser::State::ContentTooLarge:
                        return answerAndClose(c, 413, QStringLiteral("Content Too Large"));
                    case HTTPRequestParser::State::VersionNotSupported:
                        return answerAndClose(c, 505, QStringLiteral("HTTP Version Not Supported"));
                    case HTTPRequestParser::State::Malformed:
                    case HTTPRequestParser::State::TooLarge:
                        // Answered too: a client that sent something unreadable learns so rather than
                        // seeing the connection drop.
                        return answerAndClose(c, 400, QStringLiteral("Bad Request"));
                }
                return;
            }
            case Phase::Writing: {
                if (revents & (POLLERR | POLLNVAL)) {
                    close(c);
                    return;
                }
                writeSome(c, now);
                return;
            }
            case Phase::Draining: {
                const ssize_t n = ::recv(c.fd, scratch.data(), scratch.size(), 0);
                if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
                if (n <= 0) close(c);
                return;
            }
            case Phase::Screening:
            case Phase::Answering:
                return;
        }
    }

    // The screen's verdict on a complete request: its answer is sent, or the request goes to the
    // listener's thread.
    void answer(quint64 id, Connection& c, std::variant<QByteArray, MCPListener::Later> triage, qint64 now)
    {
        if (auto* bytes = std::get_if<QByteArray>(&triage)) {
            c.out = std::move(*bytes);
            c.sent = 0;
            c.phase = Phase::Writing;
            c.idleDeadline = now + m_limits.idleTimeoutMs;
            writeSome(c, now);
            return;
        }
        c.phase = Phase::Answering;
        m_onRequest(id, std::move(std::get<MCPListener::Later>(triage)), ::fcntl(c.fd, F_DUPFD_CLOEXEC, 0));
    }

    // Hands a request to the screening threads; its verdict comes back as a command.
    void screenAside(quint64 id, HTTPRequest request)
    {
        {
            std::lock_guard<std::mutex> lock(m_screenMutex);
            m_screenJobs.push_back({id, std::move(request)});
            // Only this thread starts them, and only the destructor joins them, after this thread ended.
            while (m_screenThreads.size() < size_t(kScreenThreads))
                m_screenThreads.emplace_back([this] { screenJobs(); });
        }
        m_screenReady.notify_one();
    }

    // A screening thread. The screen is safe to call from several threads at once; what it makes of
    // a request is posted to the socket thread like any other command.
    void screenJobs()
    {
        for (;;) {
            ScreenJob job;
            {
                std::unique_lock<std::mutex> lock(m_screenMutex);
                m_screenReady.wait(lock, [this] { return m_screenStop || !m_screenJobs.empty(); });
                if (m_screenStop) return;
                job = std::move(m_screenJobs.front());
                m_screenJobs.pop_front();
            }
            Command verdict{Command::Screened, 0, 0, job.connection};
            verdict.triage = m_screen(job.request);
            job.request = {};
            post(std::move(verdict));
        }
    }

    // Sends what the socket takes of the answer; once all of it is sent, ends our side and waits for
    // the peer to close.
    void writeSome(Connection& c, qint64 now)
    {
        const ssize_t n =
            ::send(c.fd, c.out.constData() + c.sent, size_t(c.out.size() - c.sent), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) close(c);
            return;
        }
        c.sent += n;
        c.idleDeadline = now + m_limits.idleTimeoutMs;
        if (c.sent < c.out.size()) return;
        c.out.clear();
        ::shutdown(c.fd, SHUT_WR);
        c.phase = Phase::Draining;
        c.finalDeadline = now + std::min<qint64>(kDrainMs, m_limits.idleTimeoutMs);
    }

    // A refusal of our own, with no body; the connection closes once it is sent.
    static void answerAndClose(Connection& c, int status, const QString& reason)
    {
        c.out = rawResponse(status, reason, std::nullopt, std::nullopt, {});
        c.sent = 0;
        c.phase = Phase::Writing;
    }

    void expire(qint64 now)
    {
        for (auto& [id, c] : m_connections) {
            if (c.closed) continue;
            if (c.phase == Phase::Waiting && now >= c.finalDeadline) {
                MCP_TRACE("mcp %lld :%d queue timeout", now, c.port);
                refuse(c.fd);
                close(c);
                continue;
            }
            if (c.phase == Phase::Reading && c.parser.headComplete() && now >= c.bodyDeadline) {
                answerAndClose(c, 408, QStringLiteral("Request Timeout"));
                c.idleDeadline = now + m_limits.idleTimeoutMs;
                continue;
            }
            const bool late = (c.phase == Phase::Reading && (now >= c.idleDeadline || now >= c.finalDeadline ||
                                                             (!c.parser.headComplete() && now >= c.headDeadline))) ||
                              (c.phase == Phase::Writing && now >= c.idleDeadline) ||
                              (c.phase == Phase::Draining && now >= c.finalDeadline);
            if (late) {
                MCP_TRACE("mcp %lld :%d timed out in phase %d after %lld ms", now, c.port, int(c.phase),
                          now - c.acceptedAt);
                close(c);
            }
        }
    }

    void close(Connection& c)
    {
        if (c.fd >= 0) ::close(c.fd);
        c.fd = -1;
        c.closed = true;
    }

    void closeAll()
    {
        closeListener();
        for (const TurnedAway& t : m_turnedAway) ::close(t.fd);
        m_turnedAway.clear();
        for (auto& [id, c] : m_connections) close(c);
        m_connections.clear();
    }

    MCPListener::Limits m_limits;
    MCPListener::Screen m_screen;
    RequestSink m_onRequest;
    StateSink m_onState;
    int m_wakeFd = -1;
    int m_listenFd = -1;
    qint64 m_acceptPausedUntil = 0;
    quint64 m_lastId = 0;
    std::map<quint64, Connection> m_connections;
    struct TurnedAway {
        int fd;
        qint64 deadline;
    };
    static constexpr size_t kMaxTurnedAway = 64;
    std::vector<TurnedAway> m_turnedAway;
    std::mutex m_mutex;
    std::vector<Command> m_commands;
    struct ScreenJob {
        quint64 connection = 0;
        HTTPRequest request;
    };
    std::mutex m_screenMutex;
    std::condition_variable m_screenReady;
    std::deque<ScreenJob> m_screenJobs;
    bool m_screenStop = false;
    std::vector<std::thread> m_screenThreads;
    std::thread m_thread;
};

ReplyDescriptor::~ReplyDescriptor()
{
    if (fd >= 0) ::close(fd);
}

MCPListener::MCPListener(Handler handle, QObject* parent) : MCPListener(std::move(handle), Limits{}, parent) {}

// Without a screen every request goes to the handler on this object's thread.
MCPListener::MCPListener(Handler handle, Limits limits, QObject* parent)
    : MCPListener(
          [handle = std::make_shared<const Handler>(std::move(handle))](
              const HTTPRequest& request) -> std::variant<QByteArray, Later> {
              return Later([handle, request](Reply reply) { (*handle)(request, std::move(reply)); });
          },
          limits, parent)
{
}

MCPListener::MCPListener(Screen screen, Limits limits, QObject* parent) : QObject(parent)
{
    // The loop calls back from its own thread; queued calls bring the work here. The loop is joined
    // in the destructor before this object goes, so `this` is valid whenever the loop runs.
    m_loop = std::make_shared<MCPSocketLoop>(
        limits, std::move(screen),
        [this](quint64 connection, Later answer, int replyFd) {
            auto fd = std::make_shared<ReplyDescriptor>(replyFd);
            QMetaObject::invokeMethod(
                this, [this, connection, answer = std::move(answer), fd] { deliver(connection, answer, fd); },
                Qt::QueuedConnection);
        },
        [this](quint64 generation, bool ready, quint16 port) {
            QMetaObject::invokeMethod(
                this, [this, generation, ready, port] { report(generation, ready, port); }, Qt::QueuedConnection);
        });
}

MCPListener::~MCPListener()
{
    m_loop.reset();
}

void MCPListener::start(quint16 preferredPort, StateCallback onState)
{
    m_onState = std::move(onState);
    m_loop->post({MCPSocketLoop::Command::Bind, ++m_generation, preferredPort});
}

void MCPListener::stop()
{
    ++m_generation;
    m_loop->post({MCPSocketLoop::Command::Unbind});
}

void MCPListener::report(quint64 generation, bool ready, quint16 port)
{
    if (generation == m_generation && m_onState) m_onState(ready, port);
}

namespace {
// The answer slot of one connection. If it is dropped without an answer the connection is closed,
// so a lost reply can never hold a connection open.
struct PendingReply {
    std::weak_ptr<MCPSocketLoop> loop;
    quint64 connection = 0;
    std::shared_ptr<ReplyDescriptor> fd;
    bool answered = false;

    ~PendingReply()
    {
        if (answered) return;
        if (auto l = loop.lock()) l->post({MCPSocketLoop::Command::Drop, 0, 0, connection});
    }
};
}  // namespace

void MCPListener::deliver(quint64 connection, const Later& answer, std::shared_ptr<ReplyDescriptor> fd)
{
    auto pending = std::make_shared<PendingReply>();
    pending->loop = m_loop;
    pending->connection = connection;
    pending->fd = std::move(fd);
    Reply reply = [pending](const QByteArray& response) {
        if (pending->answered) return;
        pending->answered = true;
        auto l = pending->loop.lock();
        if (!l) return;
        // The answer goes out from here at once, and our side of the connection is ended when all of
        // it went; the socket thread is told only to finish up. Waking it first would put a second
        // thread switch between the request and its answer.
        qsizetype sent = 0;
        if (const int fd = pending->fd ? pending->fd->fd : -1; fd >= 0) {
            const ssize_t n = ::send(fd, response.constData(), size_t(response.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) sent = n;
            if (sent == response.size()) ::shutdown(fd, SHUT_WR);
        }
        pending->fd.reset();
        l->post({MCPSocketLoop::Command::Reply, 0, 0, pending->connection, response, sent});
    };
    answer(std::move(reply));
}
