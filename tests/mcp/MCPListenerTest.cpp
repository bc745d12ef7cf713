#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <grp.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <atomic>
#include <condition_variable>
#include <future>
#include <thread>

#include "MCPFakes.h"
#include "mcp/HTTPResponse.h"
#include "mcp/MCPListener.h"
#include "support/TestEnvironment.h"

namespace {

using namespace std::chrono_literals;

int connectTo(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) return fd;
    ::close(fd);
    return -1;
}

bool refused(quint16 port)
{
    const int fd = connectTo(port);
    if (fd >= 0) ::close(fd);
    return fd < 0;
}

// A blocking client on a thread of its own (the main thread must stay free to answer): sends its
// chunks with pauses, optionally shuts its sending side, and reads until the server closes.
std::future<QByteArray> exchange(quint16 port, QList<QByteArray> chunks, int pauseMs = 0, bool halfClose = false)
{
    return std::async(std::launch::async, [=] {
        const int fd = connectTo(port);
        for (const QByteArray& chunk : chunks) {
            ::send(fd, chunk.constData(), size_t(chunk.size()), MSG_NOSIGNAL);
            std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
        }
        if (halfClose) ::shutdown(fd, SHUT_WR);
        QByteArray out;
        char buf[4096];
        for (int waited = 0; waited < 20000;) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) {
                waited += 100;
                continue;
            }
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0) break;
            out.append(buf, n);
        }
        ::close(fd);
        return out;
    });
}

// The same exchange from a child process running as another user (root may become anyone). The child
// makes only system calls: it was forked from a process with threads.
std::optional<std::future<QByteArray>> exchangeAs(uid_t uid, gid_t gid, quint16 port, const QByteArray& request)
{
    int out[2];
    if (::getuid() != 0 || ::pipe(out) != 0) return std::nullopt;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(out[0]);
        if (::setgroups(0, nullptr) != 0 || ::setresgid(gid, gid, gid) != 0 || ::setresuid(uid, uid, uid) != 0)
            ::_exit(2);
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
        if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) ::_exit(3);
        ::send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL);
        char buf[4096];
        for (ssize_t n; (n = ::recv(fd, buf, sizeof buf, 0)) > 0;)
            [[maybe_unused]] auto w = ::write(out[1], buf, size_t(n));
        ::_exit(0);
    }
    ::close(out[1]);
    return std::async(std::launch::async, [child, fd = out[0]] {
        QByteArray answer;
        char buf[4096];
        for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) answer.append(buf, n);
        ::close(fd);
        ::waitpid(child, nullptr, 0);
        return answer;
    });
}

QByteArray await(std::future<QByteArray> f)
{
    EXPECT_TRUE(QTest::qWaitFor([&] { return f.wait_for(0s) == std::future_status::ready; }, 30000));
    return f.get();
}

// Answers "ok:" + body, or keeps the answer slots when told to hold.
struct EchoListener {
    QList<MCPListener::Reply> held;
    int requests = 0;
    bool hold = false;
    quint16 port = 0;
    std::unique_ptr<MCPListener> listener;

    explicit EchoListener(MCPListener::Limits limits = {})
        : listener(std::make_unique<MCPListener>(
              [this](const HTTPRequest& r, MCPListener::Reply reply) {
                  ++requests;
                  if (hold) return held.append(reply);
                  reply(rawResponse(200, "OK", "ok:" + r.body, std::nullopt, {}));
              },
              limits))
    {
    }
    bool start(quint16 preferred)
    {
        std::optional<bool> ready;
        listener->start(preferred, [&](bool r, quint16 p) { ready = r, port = p; });
        return QTest::qWaitFor([&] { return ready.has_value(); }, 10000) && *ready;
    }
};

const QByteArray kPost = "POST /mcp HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello";

TEST(MCPListener, RoundTripThroughTheServiceOnTheNextFreePort)
{
    const quint16 base = freePortRun(2);
    QTcpServer squatter;
    ASSERT_TRUE(squatter.listen(QHostAddress::LocalHost, base));
    ServiceFixture f;
    f.make({base, {}});
    tarnwick::test::LogCapture log;
    QSignalSpy running(f.service.get(), &MCPService::isRunningChanged);
    f.service->start();
    ASSERT_TRUE(running.wait(5000));
    // A client set up for the usual port would fail: the log says why, once.
    const QString moved = QStringLiteral("listening on %1 instead").arg(base + 1);
    EXPECT_EQ(log.count(moved), 1);
    f.service->stop();
    f.service->start();
    ASSERT_TRUE(running.wait(5000));
    EXPECT_EQ(log.count(moved), 1);
    EXPECT_EQ(f.service->endpointURL(),
              QStringLiteral("http://127.0.0.1:%1/mcp/%2").arg(base + 1).arg(f.service->token()));

    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, base + 1);
    const QByteArray body = R"({"jsonrpc":"2.0","method":"tools/list","id":"t"})";
    socket.write(
        "POST /mcp/" + f.service->token().toLatin1() +
        " HTTP/1.1\r\nHost: localhost\r\nContent-Type: application/json\r\nMcp-Session-Id: " + f.session.toLatin1() +
        "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body + "GET /next HTTP/1.1\r\n\r\n");
    QByteArray response;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return (response += socket.readAll(),
                    !socket.isOpen() || socket.state() == QAbstractSocket::UnconnectedState);
        },
        10000));
    response += socket.readAll();
    EXPECT_TRUE(response.startsWith("HTTP/1.1 200 OK\r\n")) << response.constData();
    EXPECT_EQ(ServiceFixture::bodyOf(response).value("id"), "t");
    EXPECT_EQ(response.count("HTTP/1.1"), 1);  // one request per connection
}

TEST(MCPListener, WholeRunTakenReportsTheLastPortTried)
{
    const quint16 base = freePortRun(13);
    std::vector<std::unique_ptr<QTcpServer>> squatters;
    for (int i = 0; i < 13; ++i) {
        squatters.push_back(std::make_unique<QTcpServer>());
        ASSERT_TRUE(squatters.back()->listen(QHostAddress::LocalHost, base + i));
    }
    EchoListener e;
    EXPECT_FALSE(e.start(base));
    EXPECT_EQ(e.port, base + 12);
}

TEST(MCPListener, FramingOverTheWire)
{
    MCPListener::Limits limits;
    limits.maxRequestBytes = 1000;
    EchoListener e(limits);
    ASSERT_TRUE(e.start(freePortRun(1)));
    EXPECT_TRUE(
        await(exchange(e.port, {kPost.left(10), kPost.mid(10, 30), kPost.mid(40)}, 50)).endsWith("\r\n\r\nok:hello"));
    // The last bytes arriving with the end of the stream still get their answer...
    EXPECT_TRUE(await(exchange(e.port, {kPost}, 0, true)).endsWith("ok:hello"));
    // ...but an incomplete request ended by its sender gets none.
    EXPECT_EQ(await(exchange(e.port, {"POST /mcp HTTP/1.1\r\nContent-Length: 10\r\n\r\nabcd"}, 0, true)), "");
    EXPECT_EQ(await(exchange(e.port, {"POST /mcp HTTP/1.1\r\nContent-Length: -5\r\n\r\nhello"})),
              "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(await(exchange(e.port, {"POST /mcp HTTP/1.1\r\nContent-Length: 5000\r\n\r\n"})),
              "HTTP/1.1 413 Content Too Large\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    // Bytes past the limit that never form a head are still told so before the connection closes.
    EXPECT_EQ(await(exchange(e.port, {QByteArray(600, 'a'), QByteArray(600, 'a')}, 20)),
              "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(e.requests, 2);
}

// Chunked bodies are decoded; every framing another reader could take differently is refused with
// its status and the connection closed, and the next client is served as usual.
TEST(MCPListener, FramingRefusalsAreAnsweredAndClosed)
{
    MCPListener::Limits limits;
    limits.maxRequestBytes = 1000;
    limits.idleTimeoutMs = 300;
    EchoListener e(limits);
    ASSERT_TRUE(e.start(freePortRun(1)));
    const QByteArray post = "POST /mcp HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    const QByteArray chunked = post + "Transfer-Encoding: chunked\r\n\r\n";
    const struct {
        QByteArray request;
        QByteArray answer;  // the status line, "ok:" and the body the handler saw, or nothing at all
    } cases[] = {
        {chunked + "5\r\nhello\r\n0\r\n\r\n", "ok:hello"},
        {chunked + "2\r\nhe\r\n3\r\nllo\r\n0\r\n\r\n", "ok:hello"},
        {chunked + "5;ext=\"a b\"\r\nhello\r\n0;last\r\n\r\n", "ok:hello"},
        {chunked + "5\r\nhello\r\n0\r\nExpires: never\r\nX-Sum: 1\r\n\r\n", "ok:hello"},
        {chunked + "5g\r\nhello\r\n0\r\n\r\n", "HTTP/1.1 400 Bad Request\r\n"},
        {chunked + "400\r\n", "HTTP/1.1 413 Content Too Large\r\n"},
        {chunked + "5\r\nhello\r\n", ""},
        {post + "Transfer-Encoding: gzip\r\n\r\n", "HTTP/1.1 501 Not Implemented\r\n"},
        {post + "Content-Length: 5\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n",
         "HTTP/1.1 400 Bad Request\r\n"},
        {post + "Content-Length: 5\r\nContent-Length: 5\r\n\r\nhello", "ok:hello"},
        {post + "Content-Length: 5\r\nContent-Length: 4\r\n\r\nhello", "HTTP/1.1 400 Bad Request\r\n"},
        {post + "Content-Length: +5\r\n\r\nhello", "HTTP/1.1 400 Bad Request\r\n"},
        {post + "X-Note: a\r\n b\r\nContent-Length: 5\r\n\r\nhello", "HTTP/1.1 400 Bad Request\r\n"},
        {post + "Content-Length : 5\r\n\r\nhello", "HTTP/1.1 400 Bad Request\r\n"},
        // The request line: method, target and a version this reader speaks; nothing before it.
        {"POST /mcp HTTP/2.0\r\nHost: 127.0.0.1\r\n\r\n", "HTTP/1.1 505 HTTP Version Not Supported\r\n"},
        {"POST /mcp HTTP/1.0\r\nHost: 127.0.0.1\r\nContent-Length: 5\r\n\r\nhello", "ok:hello"},
        {"POST /mcp\r\nHost: 127.0.0.1\r\n\r\n", "HTTP/1.1 400 Bad Request\r\n"},
        {"POST /mcp HTTP/1.1 x\r\nHost: 127.0.0.1\r\n\r\n", "HTTP/1.1 400 Bad Request\r\n"},
        {"POST\r\nHost: 127.0.0.1\r\n\r\n", "HTTP/1.1 400 Bad Request\r\n"},
        {"\r\n" + post + "Content-Length: 5\r\n\r\nhello", "HTTP/1.1 400 Bad Request\r\n"},
        {post + "X-Note: \xff\r\nContent-Length: 5\r\n\r\nhello", "HTTP/1.1 400 Bad Request\r\n"},
    };
    int served = 0;
    for (const auto& c : cases) {
        const QByteArray answer = await(exchange(e.port, {c.request}));
        if (c.answer.startsWith("ok:")) {
            ++served;
            EXPECT_TRUE(answer.startsWith("HTTP/1.1 200 OK\r\n") && answer.endsWith(c.answer)) << c.request.constData();
        } else if (c.answer.isEmpty()) {
            EXPECT_EQ(answer, "") << c.request.constData();
        } else {
            EXPECT_EQ(answer, c.answer + "Content-Length: 0\r\nConnection: close\r\n\r\n") << c.request.constData();
        }
        EXPECT_TRUE(await(exchange(e.port, {kPost})).endsWith("ok:hello")) << "after " << c.request.constData();
        ++served;
    }
    EXPECT_EQ(e.requests, served);
}

// Loopback is shared by every user of the machine: a connection made by another user is refused
// before the request reaches the handler.
TEST(MCPListener, OnlyOurOwnUserIsAnswered)
{
    EchoListener e;
    ASSERT_TRUE(e.start(freePortRun(1)));
    auto ours = exchangeAs(::getuid(), ::getgid(), e.port, kPost);
    auto nobody = exchangeAs(65534, 65534, e.port, kPost);
    if (!ours || !nobody) GTEST_SKIP() << "needs root to connect as another user";
    EXPECT_TRUE(await(std::move(*ours)).startsWith("HTTP/1.1 200 OK\r\n"));
    EXPECT_EQ(await(std::move(*nobody)), "HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(e.requests, 1);
}

TEST(MCPListener, SilentClientsAreClosedAndConnectionsAreBounded)
{
    MCPListener::Limits limits;
    limits.maxConnections = 2;
    limits.idleTimeoutMs = 300;
    limits.queueTimeoutMs = 300;
    EchoListener e(limits);
    ASSERT_TRUE(e.start(freePortRun(1)));
    EXPECT_EQ(await(exchange(e.port, {"POST /mcp HTTP/1.1\r\n"})), "");  // silent past the time-out

    e.hold = true;
    auto first = exchange(e.port, {kPost});
    auto second = exchange(e.port, {kPost});
    ASSERT_TRUE(QTest::qWaitFor([&] { return e.held.size() == 2; }, 10000));
    EXPECT_TRUE(await(exchange(e.port, {kPost})).startsWith("HTTP/1.1 503 Service Unavailable\r\n"))
        << "turned away once its wait is over";

    // Waiting for the main thread is not idleness; an answer slot dropped unanswered closes its connection.
    QTest::qWait(500);
    e.held[0](rawResponse(200, "OK", QByteArray("late"), std::nullopt, {}));
    e.held[0](rawResponse(200, "OK", QByteArray("twice"), std::nullopt, {}));
    e.held.clear();
    QList<QByteArray> answers{await(std::move(first)), await(std::move(second))};
    std::sort(answers.begin(), answers.end());
    EXPECT_EQ(answers[0], "");
    EXPECT_TRUE(answers[1].endsWith("\r\n\r\nlate")) << answers[1].constData();

    // Stopping ends accepting, not the connections already accepted; started again it serves.
    auto pending = exchange(e.port, {kPost});
    ASSERT_TRUE(QTest::qWaitFor([&] { return e.held.size() == 1; }, 10000));
    e.listener->stop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return refused(e.port); }, 5000));
    e.held[0](rawResponse(200, "OK", QByteArray("still"), std::nullopt, {}));
    EXPECT_TRUE(await(std::move(pending)).endsWith("still"));
    e.hold = false;
    ASSERT_TRUE(e.start(e.port));
    EXPECT_TRUE(await(exchange(e.port, {kPost})).endsWith("ok:hello"));
}

// A burst of clients is served, not turned away; connections that never send do not lock out one that
// does.
TEST(MCPListener, BurstsAreServedAndSilentConnectionsGiveWay)
{
    EchoListener e;
    ASSERT_TRUE(e.start(freePortRun(1)));
    std::vector<std::future<int>> clients;
    for (int i = 0; i < 32; ++i)
        clients.push_back(std::async(std::launch::async, [port = e.port] {
            int ok = 0;
            for (int k = 0; k < 20; ++k) ok += exchange(port, {kPost}).get().endsWith("ok:hello");
            return ok;
        }));
    int answered = 0;
    for (auto& c : clients) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return c.wait_for(0s) == std::future_status::ready; }, 60000));
        answered += c.get();
    }
    EXPECT_EQ(answered, 32 * 20);

    std::vector<int> silent;
    for (int i = 0; i < 20; ++i) silent.push_back(connectTo(e.port));
    QTest::qWait(100);
    QElapsedTimer waited;
    waited.start();
    EXPECT_TRUE(await(exchange(e.port, {kPost})).endsWith("ok:hello"));
    EXPECT_LT(waited.elapsed(), 2000);
    for (int fd : silent) ::close(fd);
}

// Whether the server has closed the connection (or answered on it) within `ms`.
QByteArray readWithin(int fd, int ms)
{
    QByteArray out;
    char buf[512];
    pollfd p{fd, POLLIN, 0};
    while (::poll(&p, 1, ms) > 0) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) return out.isEmpty() ? QByteArray("closed") : out;
        out.append(buf, n);
    }
    return out;
}

// Silent connections reopened as fast as they are closed must not turn real clients away: a new
// connection displaces the oldest one that has sent nothing, queued or not, and is refused only when
// every connection held has sent its request.
TEST(MCPListener, NewConnectionsDisplaceTheOldestSilentOneWhenEverythingIsFull)
{
    MCPListener::Limits limits;
    limits.maxConnections = 2;
    limits.maxWaiting = 2;
    limits.headTimeoutMs = 20'000;
    limits.idleTimeoutMs = 20'000;
    limits.queueTimeoutMs = 20'000;
    EchoListener e(limits);
    ASSERT_TRUE(e.start(freePortRun(1)));

    std::vector<int> silent;
    for (int i = 0; i < 4; ++i) silent.push_back(connectTo(e.port));  // two in slots, two queued
    QTest::qWait(100);
    for (int i = 0; i < 4; ++i) {
        silent.push_back(connectTo(e.port));
        QTest::qWait(50);
        EXPECT_EQ(readWithin(silent[i], 500), "closed") << "the oldest silent connection, number " << i;
        EXPECT_EQ(readWithin(silent.back(), 0), "") << "the new one is held, not refused";
    }
    QElapsedTimer waited;
    waited.start();
    EXPECT_TRUE(await(exchange(e.port, {kPost})).endsWith("ok:hello"));
    EXPECT_LT(waited.elapsed(), 2000);
    for (int fd : silent) ::close(fd);

    // Every connection held has sent: the next one is told at once that there is no room.
    e.hold = true;
    std::vector<std::future<QByteArray>> busy;
    for (int i = 0; i < 2; ++i) busy.push_back(exchange(e.port, {kPost}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return e.held.size() == 2; }, 10000));
    for (int i = 0; i < 2; ++i) busy.push_back(exchange(e.port, {kPost}));
    QTest::qWait(200);
    waited.restart();
    EXPECT_TRUE(await(exchange(e.port, {kPost})).startsWith("HTTP/1.1 503 Service Unavailable\r\n"));
    EXPECT_LT(waited.elapsed(), 2000);
    e.hold = false;
    for (auto& reply : e.held) reply(rawResponse(200, "OK", QByteArray("done"), std::nullopt, {}));
    e.held.clear();
    for (auto& b : busy) EXPECT_TRUE(await(std::move(b)).startsWith("HTTP/1.1 200 OK")) << "the queued ones are served";
}

// A body trickled after its head holds a slot: it must be complete soon after the head.
TEST(MCPListener, ABodyThatDoesNotFollowItsHeadInTimeGets408)
{
    MCPListener::Limits limits;
    limits.bodyTimeoutMs = 400;
    EchoListener e(limits);
    ASSERT_TRUE(e.start(freePortRun(1)));
    const QByteArray head = "POST /mcp HTTP/1.1\r\nContent-Length: 5\r\n\r\n";
    auto slow = exchange(e.port, {head + "h", "e", "l", "l", "o"}, 200);
    auto brisk = exchange(e.port, {head + "h", "ello"}, 100);
    EXPECT_EQ(await(std::move(slow)), "HTTP/1.1 408 Request Timeout\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    EXPECT_TRUE(await(std::move(brisk)).endsWith("ok:hello"));
    EXPECT_EQ(e.requests, 1);
}

// readWithin on a thread of its own, the main thread answering meanwhile.
QByteArray readOnThread(int fd, int ms)
{
    return await(std::async(std::launch::async, readWithin, fd, ms));
}

// A slot held by a body still trickling in does not keep a whole request waiting: that one is read at
// once and answered beside it. A request that is not whole yet waits for the slot, and then gets it.
TEST(MCPListener, AWholeRequestIsAnsweredWhileATricklingBodyHoldsTheSlot)
{
    MCPListener::Limits limits;
    limits.maxConnections = 1;
    limits.headTimeoutMs = limits.bodyTimeoutMs = limits.idleTimeoutMs = 20'000;
    limits.requestTimeoutMs = limits.queueTimeoutMs = 20'000;
    EchoListener e(limits);
    ASSERT_TRUE(e.start(freePortRun(1)));
    auto sendText = [](int fd, const QByteArray& bytes) { ::send(fd, bytes.constData(), size_t(bytes.size()), 0); };
    const QByteArray head = "POST /mcp HTTP/1.1\r\nContent-Length: 5\r\n\r\n";
    const int trickling = connectTo(e.port);
    sendText(trickling, head + "he");  // there before the others connect: it has the slot and has sent
    EXPECT_TRUE(await(exchange(e.port, {kPost})).endsWith("\r\n\r\nok:hello"));
    const int partial = connectTo(e.port);
    sendText(partial, head + "he");
    EXPECT_EQ(readWithin(trickling, 0), "");
    EXPECT_EQ(readOnThread(partial, 300), "") << "not whole: it waits for the slot";

    sendText(trickling, "llo");
    EXPECT_TRUE(readOnThread(trickling, 5000).endsWith("\r\n\r\nok:hello"));
    ::close(trickling);
    sendText(partial, "llo");
    EXPECT_TRUE(readOnThread(partial, 5000).endsWith("\r\n\r\nok:hello"));
    EXPECT_EQ(e.requests, 3);
    ::close(partial);
}

// Another account is turned away when it connects, before it sends anything or takes a slot.
TEST(MCPListener, AnotherAccountIsRefusedBeforeItHoldsASlot)
{
    MCPListener::Limits limits;
    limits.maxConnections = 1;
    limits.headTimeoutMs = 20'000;
    limits.idleTimeoutMs = 20'000;
    EchoListener e(limits);
    ASSERT_TRUE(e.start(freePortRun(1)));
    QElapsedTimer waited;
    waited.start();
    auto nobody = exchangeAs(65534, 65534, e.port, QByteArray());
    if (!nobody) GTEST_SKIP() << "needs root to connect as another user";
    EXPECT_EQ(await(std::move(*nobody)), "HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    EXPECT_LT(waited.elapsed(), 2000);
    EXPECT_TRUE(await(exchange(e.port, {kPost})).endsWith("ok:hello")) << "the only slot is free";
}

// A screen's answer is sent from the socket thread: it comes while the main thread runs no events.
// What the screen leaves for later runs on the listener's thread with what the screen gave it.
TEST(MCPListener, AScreenAnswersOnTheSocketThreadAndLeavesTheRestForLater)
{
    std::atomic_int screened = 0;
    std::thread::id answeredOn;
    MCPListener listener(MCPListener::Screen([&](const HTTPRequest& r) -> std::variant<QByteArray, MCPListener::Later> {
                             ++screened;
                             if (r.body == "hello") return rawResponse(200, "OK", "now:" + r.body, std::nullopt, {});
                             return MCPListener::Later([&answeredOn, body = r.body](MCPListener::Reply reply) {
                                 answeredOn = std::this_thread::get_id();
                                 reply(rawResponse(200, "OK", "later:" + body, std::nullopt, {}));
                             });
                         }),
                         {});
    std::optional<quint16> port;
    listener.start(freePortRun(1), [&](bool ready, quint16 p) { port = ready ? std::optional(p) : std::nullopt; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return port.has_value(); }, 10000));

    auto now = exchange(*port, {kPost});
    ASSERT_EQ(now.wait_for(10s), std::future_status::ready) << "the answer waited for the main thread";
    EXPECT_TRUE(now.get().endsWith("\r\n\r\nnow:hello"));
    EXPECT_TRUE(await(exchange(*port, {"POST /mcp HTTP/1.1\r\nContent-Length: 5\r\n\r\nlater"}))
                    .endsWith("\r\n\r\nlater:later"));
    EXPECT_EQ(answeredOn, std::this_thread::get_id());
    EXPECT_EQ(screened, 2);
}

// Large bodies are screened aside: a small request is answered while they are, their verdicts (an
// answer or work for the main thread) still reach their connections, and a listener that goes while
// some are screened or waiting to be screened closes their connections and nothing more.
TEST(MCPListener, LargeBodiesAreScreenedWithoutHoldingUpOthers)
{
    std::mutex mutex;
    std::condition_variable opened;
    bool open = false;
    std::atomic_int large = 0;
    auto release = [&] {
        std::lock_guard lock(mutex);
        open = true;
        opened.notify_all();
    };
    auto screen = [&](const HTTPRequest& r) -> std::variant<QByteArray, MCPListener::Later> {
        if (r.body.size() < 1000) return rawResponse(200, "OK", "small", std::nullopt, {});
        ++large;
        std::unique_lock lock(mutex);
        opened.wait(lock, [&] { return open; });
        const QByteArray size = QByteArray::number(r.body.size());
        if (!r.body.startsWith("later")) return rawResponse(200, "OK", "large:" + size, std::nullopt, {});
        return MCPListener::Later(
            [size](MCPListener::Reply reply) { reply(rawResponse(200, "OK", "later:" + size, std::nullopt, {})); });
    };
    auto big = [](const QByteArray& lead) {
        const QByteArray body = lead + QByteArray(100 * 1024, 'x');
        return QList<QByteArray>{"POST /mcp HTTP/1.1\r\nContent-Length: " + QByteArray::number(body.size()) +
                                 "\r\n\r\n" + body};
    };
    auto listener = std::make_unique<MCPListener>(MCPListener::Screen(screen), MCPListener::Limits{});
    std::optional<quint16> port;
    listener->start(freePortRun(1), [&](bool ready, quint16 p) { port = ready ? std::optional(p) : std::nullopt; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return port.has_value(); }, 10000));

    auto now = exchange(*port, big("now"));
    auto later = exchange(*port, big("later"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return large == 2; }, 10000));
    auto small = exchange(*port, {kPost});
    ASSERT_EQ(small.wait_for(10s), std::future_status::ready) << "a small request waited behind large ones";
    EXPECT_TRUE(small.get().endsWith("\r\n\r\nsmall"));
    release();
    EXPECT_TRUE(await(std::move(now)).endsWith("\r\n\r\nlarge:102403"));
    EXPECT_TRUE(await(std::move(later)).endsWith("\r\n\r\nlater:102405"));

    // Two being screened and one waiting for a screening thread when the listener goes.
    {
        std::lock_guard lock(mutex);
        open = false;
    }
    large = 0;
    std::vector<std::future<QByteArray>> dropped;
    for (int i = 0; i < 3; ++i) dropped.push_back(exchange(*port, big("now")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return large == 2; }, 10000));
    std::thread releaser([&] {
        std::this_thread::sleep_for(200ms);
        release();
    });
    listener.reset();
    releaser.join();
    for (auto& f : dropped) {
        const QByteArray answer = await(std::move(f));
        EXPECT_TRUE(answer.isEmpty() || answer.endsWith("\r\n\r\nlarge:102403")) << answer.left(200).constData();
    }
}

// Through the service: a ping on a live session is answered while the main thread is busy, a tool
// call waits for it, and a session ended there meanwhile is refused, the waiting call included.
TEST(MCPListener, ThePingOfALiveSessionNeedsNoMainThread)
{
    ServiceFixture f;
    f.make({freePortRun(1), {}});
    QSignalSpy running(f.service.get(), &MCPService::isRunningChanged);
    f.service->start();
    ASSERT_TRUE(running.wait(5000));
    auto post = [&](const QByteArray& json) {
        return QList<QByteArray>{"POST /mcp/" + f.service->token().toLatin1() +
                                 " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
                                 "Mcp-Session-Id: " +
                                 f.session.toLatin1() + "\r\nContent-Length: " + QByteArray::number(json.size()) +
                                 "\r\n\r\n" + json};
    };
    const quint16 port = quint16(f.service->port());
    const QByteArray ping = R"({"jsonrpc":"2.0","id":7,"method":"ping"})";

    auto pong = exchange(port, post(ping));
    ASSERT_EQ(pong.wait_for(10s), std::future_status::ready);
    const QByteArray answer = pong.get();
    EXPECT_TRUE(answer.startsWith("HTTP/1.1 200 OK\r\n")) << answer.constData();
    EXPECT_EQ(ServiceFixture::bodyOf(answer).value("id"), 7);

    // Checked on arrival, the tool calls wait for the main thread; what changed meanwhile counts.
    auto list = exchange(port, post(R"({"jsonrpc":"2.0","id":8,"method":"tools/list"})"));
    EXPECT_EQ(list.wait_for(300ms), std::future_status::timeout) << "answered off the main thread";
    f.service->regenerateToken();
    EXPECT_TRUE(await(std::move(list)).startsWith("HTTP/1.1 401 Unauthorized\r\n"));
    list = exchange(port, post(R"({"jsonrpc":"2.0","id":9,"method":"tools/list"})"));
    EXPECT_EQ(list.wait_for(300ms), std::future_status::timeout);
    f.service->revoke("Fixture client");
    const QByteArray listed = await(std::move(list));
    EXPECT_TRUE(listed.startsWith("HTTP/1.1 404 Not Found\r\n")) << listed.constData();
    EXPECT_EQ(ServiceFixture::bodyOf(listed).value("id"), 9);

    auto refused = exchange(port, post(ping));
    ASSERT_EQ(refused.wait_for(10s), std::future_status::ready);
    EXPECT_TRUE(refused.get().startsWith("HTTP/1.1 404 Not Found\r\n"));
}

}  // namespace
