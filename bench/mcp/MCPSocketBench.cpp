// The endpoint through a real socket, as a client sees it: the same-user check, a ping round trip on a
// live session beside the same round trip against a bare loopback echo server, list_notes, and a
// burst of clients. Each runs first with no other sockets, then with 15,000 loopback sockets in
// TIME_WAIT (what a minute of steady requests leaves behind), so the cost of the peer lookup shows.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <QUuid>
#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "mcp/HTTPResponse.h"
#include "mcp/MCPApprover.h"
#include "mcp/MCPService.h"
#include "mcp/MCPTokenStore.h"
#include "mcp/MCPToolHost.h"
#include "platform/PeerCredentials.h"
#include "platform/Settings.h"

#include "BenchMain.h"

namespace {

int connectTo(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) return fd;
    ::close(fd);
    return -1;
}

int listenOnFreePort(quint16& port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t size = sizeof addr;
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::listen(fd, 128);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &size);
    port = ntohs(addr.sin_port);
    return fd;
}

// One request per connection: send it, read until the server closes.
QByteArray exchange(quint16 port, const QByteArray& request)
{
    const int fd = connectTo(port);
    if (fd < 0) return {};
    ::send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL);
    QByteArray out;
    char buf[16384];
    for (ssize_t n; (n = ::recv(fd, buf, sizeof buf, 0)) > 0;) out.append(buf, n);
    ::close(fd);
    return out;
}

// A bare loopback server: reads a request's head and its Content-Length bytes, answers with fixed
// bytes and closes, as the endpoint does. The floor under any HTTP server on this machine.
class EchoServer {
public:
    EchoServer()
    {
        m_fd = listenOnFreePort(m_port);
        m_thread = std::thread([this] {
            for (;;) {
                const int c = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
                if (c < 0) return;
                QByteArray in;
                char buf[16384];
                for (ssize_t n; (n = ::recv(c, buf, sizeof buf, 0)) > 0;) {
                    in.append(buf, n);
                    const qsizetype end = in.indexOf("\r\n\r\n");
                    if (end < 0) continue;
                    const qsizetype at = in.toLower().indexOf("content-length:");
                    const qsizetype length =
                        at < 0 ? 0 : in.mid(at + 15, in.indexOf('\r', at) - at - 15).trimmed().toLongLong();
                    if (in.size() >= end + 4 + length) break;
                }
                static const QByteArray answer =
                    rawResponse(200, "OK", QByteArray(R"({"jsonrpc":"2.0","id":1,"result":{}})"), std::nullopt, {});
                ::send(c, answer.constData(), size_t(answer.size()), MSG_NOSIGNAL);
                ::shutdown(c, SHUT_WR);
                while (::recv(c, buf, sizeof buf, 0) > 0) {
                }
                ::close(c);
            }
        });
    }
    ~EchoServer()
    {
        ::shutdown(m_fd, SHUT_RDWR);
        ::close(m_fd);
        m_thread.join();
    }
    quint16 port() const { return m_port; }

private:
    int m_fd = -1;
    quint16 m_port = 0;
    std::thread m_thread;
};

struct BenchTools : MCPToolHost {
    QList<MCPNoteRecord> notes;
    BenchTools()
    {
        for (int i = 0; i < 200; ++i) {
            MCPNoteRecord n{QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(),
                            QStringLiteral("Note %1").arg(i), QStringLiteral("Note %1").arg(i),
                            QStringLiteral("Body of note %1 with a few words in it.").arg(i)};
            n.createdAt = n.updatedAt = QDateTime::fromSecsSinceEpoch(1700000000 + i, Qt::UTC);
            notes.append(n);
        }
    }
    QList<MCPNoteRecord> search(const QString&, int limit) override { return notes.mid(0, limit); }
    QList<MCPNoteRecord> allActive(int limit) override { return notes.mid(0, limit); }
    QList<MCPNoteRecord> pinned(int) override { return {}; }
    std::optional<MCPNoteRecord> note(const QUuid&) override { return std::nullopt; }
    Result<QString, WriteFailure> create(const QString&, const QString&) override { return QString(); }
};

struct AllowAll : MCPApprover {
    void request(const QString&, const QString&, std::function<void(Answer)> done) override { done(Answer::allowed); }
};

struct TokenInMemory : MCPTokenStore {
    std::optional<QByteArray> stored;
    ReadResult read() override { return stored; }
    Status<QString> write(const QByteArray& token) override
    {
        stored = token;
        return {};
    }
};

// The real service and listener, answering on a thread of their own (standing in for the main
// thread of the application) so that the benchmark's thread can be the client.
class LiveEndpoint : public QThread {
public:
    LiveEndpoint()
    {
        start();
        m_ready.get_future().wait();
    }
    ~LiveEndpoint() override
    {
        quit();
        wait();
    }
    quint16 port() const { return m_port; }
    QByteArray post(const QByteArray& json) const
    {
        return "POST /mcp/" + m_token +
               " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
               "Mcp-Session-Id: " +
               m_session + "\r\nContent-Length: " + QByteArray::number(json.size()) + "\r\n\r\n" + json;
    }

protected:
    void run() override
    {
        BenchTools tools;
        AllowAll approver;
        TokenInMemory tokens;
        Settings settings(std::make_unique<MemorySettingsBackend>());
        MCPService::Options options;
        quint16 free = 0;
        ::close(listenOnFreePort(free));
        options.preferredPort = free;
        MCPService service(tools, approver, tokens, settings, options);
        service.loadToken();
        QObject::connect(&service, &MCPService::isRunningChanged, [&](bool running) {
            if (!running) return;
            m_port = quint16(service.port());
            m_token = service.token().toLatin1();
            m_session = service.openSession(QStringLiteral("bench")).toLatin1();
            m_ready.set_value();
        });
        service.start();
        exec();
    }

private:
    std::promise<void> m_ready;
    quint16 m_port = 0;
    QByteArray m_token, m_session;
};

// Loopback sockets left in TIME_WAIT: the client closes first, so the wait is on its side.
void leaveTimeWaitSockets(int count)
{
    static int made = 0;
    if (made >= count) return;
    quint16 port = 0;
    const int server = listenOnFreePort(port);
    std::thread acceptor([server, n = count - made] {
        char c;
        for (int i = 0; i < n; ++i) {
            const int fd = ::accept4(server, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) return;
            while (::recv(fd, &c, 1, 0) > 0) {
            }
            ::close(fd);
        }
    });
    for (; made < count; ++made) {
        const int fd = connectTo(port);
        if (fd < 0) break;
        ::close(fd);
    }
    acceptor.join();
    ::close(server);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
}

const QByteArray kPing = R"({"jsonrpc":"2.0","id":1,"method":"ping"})";
const QByteArray kList =
    R"({"jsonrpc":"2.0","id":2,"method":"tools/call","params":{"name":"list_notes","arguments":{"limit":50}}})";

void BM_SameUserCheck(benchmark::State& state)
{
    leaveTimeWaitSockets(int(state.range(0)));
    quint16 port = 0;
    const int server = listenOnFreePort(port);
    const int client = connectTo(port);
    const int accepted = ::accept4(server, nullptr, nullptr, SOCK_CLOEXEC);
    const bool tables = state.range(1) != 0;
    for (auto _ : state) {
        if (tables)
            benchmark::DoNotOptimize(PeerCredentials::procPeerUid(accepted));
        else
            benchmark::DoNotOptimize(PeerCredentials::isOwnUser(accepted));
    }
    if (!PeerCredentials::isOwnUser(accepted)) state.SkipWithError("our own connection was not recognised");
    for (int fd : {accepted, client, server}) ::close(fd);
}

void BM_EchoRoundTrip(benchmark::State& state)
{
    leaveTimeWaitSockets(int(state.range(0)));
    EchoServer echo;
    const QByteArray request =
        "POST /mcp HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: " + QByteArray::number(kPing.size()) + "\r\n\r\n" +
        kPing;
    for (auto _ : state)
        if (!exchange(echo.port(), request).startsWith("HTTP/1.1 200")) state.SkipWithError("no answer");
    state.SetItemsProcessed(state.iterations());
}

void BM_PingRoundTrip(benchmark::State& state)
{
    leaveTimeWaitSockets(int(state.range(0)));
    LiveEndpoint endpoint;
    const QByteArray request = endpoint.post(kPing);
    for (auto _ : state)
        if (!exchange(endpoint.port(), request).startsWith("HTTP/1.1 200")) state.SkipWithError("no answer");
    state.SetItemsProcessed(state.iterations());
}

// The two round trips above taken in turn, so that both meet the same load on a shared machine: run
// one after the other, a change in the load between them shows in their ratio.
void BM_PingOverEcho(benchmark::State& state)
{
    leaveTimeWaitSockets(int(state.range(0)));
    EchoServer echo;
    LiveEndpoint endpoint;
    const QByteArray toEcho =
        "POST /mcp HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: " + QByteArray::number(kPing.size()) + "\r\n\r\n" +
        kPing;
    const QByteArray toEndpoint = endpoint.post(kPing);
    using Clock = std::chrono::steady_clock;
    Clock::duration echoTime{}, pingTime{};
    for (auto _ : state) {
        const auto start = Clock::now();
        const bool echoed = exchange(echo.port(), toEcho).startsWith("HTTP/1.1 200");
        const auto between = Clock::now();
        const bool pinged = exchange(endpoint.port(), toEndpoint).startsWith("HTTP/1.1 200");
        echoTime += between - start;
        pingTime += Clock::now() - between;
        if (!echoed || !pinged) state.SkipWithError("no answer");
    }
    const double n = double(std::max<qint64>(1, state.iterations()));
    state.counters["echo_us"] = std::chrono::duration<double, std::micro>(echoTime).count() / n;
    state.counters["ping_us"] = std::chrono::duration<double, std::micro>(pingTime).count() / n;
    state.counters["ping_over_echo"] = double(pingTime.count()) / double(std::max<Clock::rep>(1, echoTime.count()));
}

void BM_ListNotes(benchmark::State& state)
{
    leaveTimeWaitSockets(int(state.range(0)));
    LiveEndpoint endpoint;
    const QByteArray request = endpoint.post(kList);
    for (auto _ : state)
        if (!exchange(endpoint.port(), request).contains("Note 1")) state.SkipWithError("no list");
}

// A ping's round trip while 8 other clients keep sending 4 MB bodies, beside the idle round trip taken
// in the same run: ping_under_load is the ratio (the target is at most 5). Large bodies must be read
// and parsed where they do not hold up other clients' answers.
void BM_PingUnderLargeBodies(benchmark::State& state)
{
    LiveEndpoint endpoint;
    const QByteArray ping = endpoint.post(kPing);
    const QByteArray large = endpoint.post(R"({"jsonrpc":"2.0","id":3,"method":"ping","params":{"pad":")" +
                                           QByteArray(4 * 1024 * 1024, 'x') + R"("}})");
    using Clock = std::chrono::steady_clock;
    auto roundTrip = [&] {
        const auto start = Clock::now();
        if (!exchange(endpoint.port(), ping).startsWith("HTTP/1.1 200")) state.SkipWithError("no answer");
        return Clock::now() - start;
    };
    Clock::duration idle{};
    constexpr int idleRounds = 50;
    for (int i = 0; i < idleRounds; ++i) idle += roundTrip();
    std::atomic_bool loading = true;
    std::atomic_int largeAnswered = 0;
    std::vector<std::thread> senders;
    for (int i = 0; i < 8; ++i)
        senders.emplace_back([&] {
            while (loading) largeAnswered += exchange(endpoint.port(), large).startsWith("HTTP/1.1 200");
        });
    Clock::duration loaded{};
    for (auto _ : state) loaded += roundTrip();
    loading = false;
    for (auto& sender : senders) sender.join();
    const double idleUs = std::chrono::duration<double, std::micro>(idle).count() / idleRounds;
    const double loadedUs =
        std::chrono::duration<double, std::micro>(loaded).count() / double(std::max<qint64>(1, state.iterations()));
    state.counters["idle_ping_us"] = idleUs;
    state.counters["loaded_ping_us"] = loadedUs;
    state.counters["ping_under_load"] = loadedUs / std::max(idleUs, 1.0);
    state.counters["large_answered"] = largeAnswered.load();
}

// 32 clients at once, 20 requests each: every one must be answered.
void BM_ThirtyTwoClients(benchmark::State& state)
{
    leaveTimeWaitSockets(int(state.range(0)));
    LiveEndpoint endpoint;
    const QByteArray request = endpoint.post(kPing);
    int unanswered = 0;
    for (auto _ : state) {
        std::atomic_int answered = 0;
        std::vector<std::thread> clients;
        for (int i = 0; i < 32; ++i)
            clients.emplace_back([&] {
                for (int k = 0; k < 20; ++k) answered += exchange(endpoint.port(), request).startsWith("HTTP/1.1 200");
            });
        for (auto& c : clients) c.join();
        unanswered += 32 * 20 - answered;
    }
    state.counters["unanswered"] = unanswered;
    state.SetItemsProcessed(state.iterations() * 32 * 20);
}

// Without other sockets first: TIME_WAIT sockets stay for a minute once made. Round trips are timed
// on the wall clock: the client's thread mostly waits.
BENCHMARK(BM_SameUserCheck)->Args({0, 0})->Args({0, 1})->ArgNames({"timewait", "tables"});
BENCHMARK(BM_EchoRoundTrip)->Arg(0)->ArgName("timewait")->UseRealTime();
BENCHMARK(BM_PingRoundTrip)->Arg(0)->ArgName("timewait")->UseRealTime();
BENCHMARK(BM_PingOverEcho)->Arg(0)->ArgName("timewait")->UseRealTime();
BENCHMARK(BM_ListNotes)->Arg(0)->ArgName("timewait")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PingUnderLargeBodies)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(400);
BENCHMARK(BM_ThirtyTwoClients)
    ->Arg(0)
    ->ArgName("timewait")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();
BENCHMARK(BM_SameUserCheck)->Args({15000, 0})->Args({15000, 1})->ArgNames({"timewait", "tables"});
BENCHMARK(BM_EchoRoundTrip)->Arg(15000)->ArgName("timewait")->UseRealTime();
BENCHMARK(BM_PingRoundTrip)->Arg(15000)->ArgName("timewait")->UseRealTime();
BENCHMARK(BM_PingOverEcho)->Arg(15000)->ArgName("timewait")->UseRealTime();
BENCHMARK(BM_ListNotes)->Arg(15000)->ArgName("timewait")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ThirtyTwoClients)
    ->Arg(15000)
    ->ArgName("timewait")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    return runSpecifiedBenchmarks(argc, argv);
}
