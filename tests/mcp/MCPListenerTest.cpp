#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QSignalSpy>
#include <QTest>
#include <chrono>
#include <future>
#include <thread>

#include "MCPFakes.h"
#include "mcp/MCPListener.h"

namespace {

using namespace std::chrono_literals;

struct ClientPlan {
    QList<QByteArray> chunks;
    int pauseMs = 0;         // between chunks
    bool halfClose = false;  // shut the sending side after the last chunk
    int holdMs = 0;          // keep quiet this long before reading
};

int connectTo(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Reads until the server closes (or 20 s pass, which fails the test that expects a close).
QByteArray readToEnd(int fd)
{
    QByteArray out;
    char buf[4096];
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) return out;
        out.append(buf, n);
    }
    return out + "<still open>";
}

// A blocking client on a thread of its own, so the main thread can keep answering.
std::future<QByteArray> exchange(quint16 port, ClientPlan plan)
{
    return std::async(std::launch::async, [port, plan] {
        const int fd = connectTo(port);
        if (fd < 0) return QByteArray("<no connection>");
        for (const QByteArray& chunk : plan.chunks) {
            ::send(fd, chunk.constData(), size_t(chunk.size()), MSG_NOSIGNAL);
            if (plan.pauseMs) std::this_thread::sleep_for(std::chrono::milliseconds(plan.pauseMs));
        }
        if (plan.halfClose) ::shutdown(fd, SHUT_WR);
        if (plan.holdMs) std::this_thread::sleep_for(std::chrono::milliseconds(plan.holdMs));
        QByteArray answer = readToEnd(fd);
        ::close(fd);
        return answer;
    });
}

QByteArray await(std::future<QByteArray>& f)
{
    EXPECT_TRUE(QTest::qWaitFor([&] { return f.wait_for(0s) == std::future_status::ready; }, 30000));
    return f.get();
}

// A listener whose handler answers "ok:" + body, or keeps the reply when told to.
struct EchoListener {
    QList<HTTPRequest> requests;
    QList<MCPListener::Reply> held;
    bool hold = false;
    std::unique_ptr<MCPListener> listener;
    quint16 port = 0;

    explicit EchoListener(MCPListener::Limits limits = {})
    {
        listener = std::make_unique<MCPListener>(
            [this](const HTTPRequest& r, MCPListener::Reply reply) {
                requests << r;
                if (hold)
                    held << reply;
                else
                    reply(MCPService::rawResponse(200, "OK", "ok:" + r.body, QStringLiteral("text/plain"), {}));
            },
            limits);
    }
    bool start(quint16 preferred = 0)
    {
        if (!preferred) preferred = freePortRun(1);
        bool done = false, ready = false;
        listener->start(preferred, [&](bool r, quint16 p) {
            done = true;
            ready = r;
            port = p;
        });
        return QTest::qWaitFor([&] { return done; }, 10000) && ready;
    }
};

const QByteArray kPost = "POST /mcp HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 5\r\n\r\nhello";

TEST(MCPListener, RoundTripThroughTheRealServiceWithPortFallback)
{
    const quint16 base = freePortRun(3);
    ASSERT_NE(base, 0);
    QTcpServer squatter;
    ASSERT_TRUE(squatter.listen(QHostAddress::LocalHost, base));

    ServiceFixture f;
    f.make({base, {}});
    QSignalSpy running(f.service.get(), &MCPService::isRunningChanged);
    f.service->start();
    ASSERT_TRUE(running.wait(5000));
    EXPECT_EQ(f.service->port(), base + 1);
    EXPECT_EQ(f.service->endpointURL(),
              QStringLiteral("http://127.0.0.1:%1/mcp/%2").arg(base + 1).arg(f.service->token()));

    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, base + 1);
    ASSERT_TRUE(socket.waitForConnected(5000));
    const QByteArray body = R"({"jsonrpc":"2.0","method":"tools/list","id":"t"})";
    socket.write("POST /mcp/" + f.service->token().toLatin1() +
                 " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(base + 1) +
                 "\r\nContent-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size()) +
                 "\r\n\r\n" + body + "GET /extra HTTP/1.1\r\n\r\n");
    QByteArray response;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            response += socket.readAll();
            return socket.state() == QAbstractSocket::UnconnectedState;
        },
        10000));
    response += socket.readAll();
    EXPECT_TRUE(response.startsWith("HTTP/1.1 200 OK\r\n")) << response.constData();
    EXPECT_EQ(ServiceFixture::bodyOf(response).value("id"), "t");
    EXPECT_EQ(response.count("HTTP/1.1"), 1);  // one request per connection

    f.service->stop();
    EXPECT_FALSE(f.service->isRunning());
}

TEST(MCPListener, ReportsNotReadyWithTheLastPortWhenTheWholeRunIsTaken)
{
    const quint16 base = freePortRun(13);
    ASSERT_NE(base, 0);
    std::vector<std::unique_ptr<QTcpServer>> squatters;
    for (int i = 0; i < 13; ++i) {
        squatters.push_back(std::make_unique<QTcpServer>());
        ASSERT_TRUE(squatters.back()->listen(QHostAddress::LocalHost, base + i));
    }
    EchoListener e;
    EXPECT_FALSE(e.start(base));
    EXPECT_EQ(e.port, base + 12);
}

TEST(MCPListener, SplitHalfClosedAndIncompleteRequests)
{
    EchoListener e;
    ASSERT_TRUE(e.start());

    auto split = exchange(e.port, {{kPost.left(10), kPost.mid(10, 40), kPost.mid(50)}, 50});
    EXPECT_TRUE(await(split).endsWith("\r\n\r\nok:hello"));

    // The last bytes arriving with the end of the stream still get their answer.
    auto halfClosed = exchange(e.port, {{kPost}, 0, true});
    EXPECT_TRUE(await(halfClosed).endsWith("ok:hello"));

    // Ten bytes promised, four sent, then the end: closed without an answer.
    auto incomplete = exchange(e.port, {{"POST /mcp HTTP/1.1\r\nContent-Length: 10\r\n\r\nabcd"}, 0, true});
    EXPECT_EQ(await(incomplete), "");
    EXPECT_EQ(e.requests.size(), 2);
}

TEST(MCPListener, BadLengthOversizeAndMalformedRequestsNeverReachTheHandler)
{
    MCPListener::Limits limits;
    limits.maxRequestBytes = 1000;
    EchoListener e(limits);
    ASSERT_TRUE(e.start());

    auto negative = exchange(e.port, {{"POST /mcp HTTP/1.1\r\nContent-Length: -5\r\n\r\nhello"}});
    EXPECT_EQ(await(negative), "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    auto declaredTooMuch = exchange(e.port, {{"POST /mcp HTTP/1.1\r\nContent-Length: 5000\r\n\r\n"}});
    EXPECT_EQ(await(declaredTooMuch), "");
    auto endlessHead = exchange(e.port, {{QByteArray(600, 'a'), QByteArray(600, 'a')}, 20});
    EXPECT_EQ(await(endlessHead), "");
    auto oneWord = exchange(e.port, {{"POST\r\n\r\n"}});
    EXPECT_EQ(await(oneWord), "");
    EXPECT_TRUE(e.requests.isEmpty());
}

TEST(MCPListener, SilentClientsAreClosedAndConnectionsAreBounded)
{
    MCPListener::Limits limits;
    limits.maxConnections = 2;
    limits.idleTimeoutMs = 300;
    EchoListener e(limits);
    ASSERT_TRUE(e.start());

    // Silent for longer than the idle time-out: closed without an answer.
    auto silent = exchange(e.port, {{"POST /mcp HTTP/1.1\r\n"}});
    EXPECT_EQ(await(silent), "");

    // Two connections waiting for their answers fill the endpoint; a third is told so at once.
    e.hold = true;
    auto first = exchange(e.port, {{kPost}});
    auto second = exchange(e.port, {{kPost}});
    ASSERT_TRUE(QTest::qWaitFor([&] { return e.held.size() == 2; }, 10000));
    auto third = exchange(e.port, {{kPost}});
    EXPECT_TRUE(await(third).startsWith("HTTP/1.1 503 Service Unavailable\r\n"));

    // Waiting for the main thread is not idleness: a late answer still arrives.
    QTest::qWait(500);
    // One answered late (and once only), one answer slot dropped unanswered, which closes its connection.
    e.held[0](MCPService::rawResponse(200, "OK", QByteArray("late"), std::nullopt, {}));
    e.held[0](MCPService::rawResponse(200, "OK", QByteArray("twice"), std::nullopt, {}));
    e.held.clear();
    QList<QByteArray> answers{await(first), await(second)};
    std::sort(answers.begin(), answers.end());
    EXPECT_EQ(answers[0], "");
    EXPECT_TRUE(answers[1].endsWith("\r\n\r\nlate")) << answers[1].constData();

    e.hold = false;
    auto after = exchange(e.port, {{kPost}});
    EXPECT_TRUE(await(after).endsWith("ok:hello"));
}

TEST(MCPListener, StopEndsAcceptingButAnswersWhatWasAccepted)
{
    EchoListener e;
    ASSERT_TRUE(e.start());
    e.hold = true;
    auto pending = exchange(e.port, {{kPost}});
    ASSERT_TRUE(QTest::qWaitFor([&] { return e.held.size() == 1; }, 10000));
    e.listener->stop();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const int fd = connectTo(e.port);
            if (fd >= 0) ::close(fd);
            return fd < 0;
        },
        5000));
    e.held[0](MCPService::rawResponse(200, "OK", QByteArray("still"), std::nullopt, {}));
    EXPECT_TRUE(await(pending).endsWith("still"));

    // Started again, it serves on the same port.
    e.hold = false;
    ASSERT_TRUE(e.start(e.port));
    auto again = exchange(e.port, {{kPost}});
    EXPECT_TRUE(await(again).endsWith("ok:hello"));
}

}  // namespace
