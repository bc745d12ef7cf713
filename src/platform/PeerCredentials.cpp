#include "platform/PeerCredentials.h"

#include <arpa/inet.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#include <QFile>
#include <QList>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "platform/Log.h"

namespace PeerCredentials {
namespace {

std::optional<Endpoint> fromSockaddr(const sockaddr_storage& storage)
{
    Endpoint e;
    if (storage.ss_family == AF_INET) {
        const auto& in = reinterpret_cast<const sockaddr_in&>(storage);
        e.address[10] = e.address[11] = 0xff;
        std::memcpy(e.address.data() + 12, &in.sin_addr.s_addr, 4);
        e.port = ntohs(in.sin_port);
        return e;
    }
    if (storage.ss_family == AF_INET6) {
        const auto& in6 = reinterpret_cast<const sockaddr_in6&>(storage);
        std::memcpy(e.address.data(), &in6.sin6_addr, 16);
        e.port = ntohs(in6.sin6_port);
        return e;
    }
    return std::nullopt;
}

// "0100007F:1F90" (tcp) or 32 hex digits and a port (tcp6). The kernel prints each 32-bit word of the
// address as a number in this machine's byte order, so reading it back as one gives the bytes again.
std::optional<Endpoint> parseEndpoint(const QByteArray& text, bool ipv6)
{
    const qsizetype colon = text.indexOf(':');
    const int hexDigits = ipv6 ? 32 : 8;
    if (colon != hexDigits) return std::nullopt;
    Endpoint e;
    bool ok = false;
    quint32 words[4] = {0, 0, 0, 0};
    for (int i = 0; i < hexDigits / 8; ++i) {
        words[i] = text.mid(i * 8, 8).toUInt(&ok, 16);
        if (!ok) return std::nullopt;
    }
    if (ipv6) {
        std::memcpy(e.address.data(), words, 16);
    } else {
        e.address[10] = e.address[11] = 0xff;
        std::memcpy(e.address.data() + 12, words, 4);
    }
    const uint port = text.mid(colon + 1).toUInt(&ok, 16);
    if (!ok || port > 0xffff) return std::nullopt;
    e.port = quint16(port);
    return e;
}

}  // namespace

std::optional<uid_t> findOwner(const QByteArray& table, bool ipv6, const Endpoint& local, const Endpoint& remote)
{
    const QList<QByteArray> lines = table.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {  // the first line names the columns
        const QList<QByteArray> fields = lines[i].simplified().split(' ');
        if (fields.size() < 8) continue;
        if (parseEndpoint(fields[1], ipv6) != local || parseEndpoint(fields[2], ipv6) != remote) continue;
        bool ok = false;
        const uint uid = fields[7].toUInt(&ok);
        if (ok) return uid_t(uid);
    }
    return std::nullopt;
}

namespace {

struct Ends {
    Endpoint local, remote;
};

std::optional<Ends> endsOf(int fd)
{
    sockaddr_storage ours{}, theirs{};
    socklen_t oursSize = sizeof ours, theirsSize = sizeof theirs;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&ours), &oursSize) != 0) return std::nullopt;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&theirs), &theirsSize) != 0) return std::nullopt;
    const std::optional<Endpoint> local = fromSockaddr(ours), remote = fromSockaddr(theirs);
    if (!local || !remote) return std::nullopt;
    return Ends{*local, *remote};
}

bool isMapped(const Endpoint& e)
{
    static constexpr quint8 prefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    return std::memcmp(e.address.data(), prefix, sizeof prefix) == 0;
}

// The address as sock_diag holds it: IPv4 in the first word, IPv6 in all four.
void putAddress(__be32 (&out)[4], const Endpoint& e, bool ipv4)
{
    std::memset(out, 0, sizeof out);
    if (ipv4)
        std::memcpy(out, e.address.data() + 12, 4);
    else
        std::memcpy(out, e.address.data(), 16);
}

Lookup refused(int error)
{
    return {Lookup::Kind::Refused, 0, error};
}

// A sock_diag netlink socket, opened on first use and again after a failure.
class NetlinkSocket {
public:
    ~NetlinkSocket() { reset(); }
    int get() const { return m_fd; }
    void reset()
    {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
    }
    // Sends one request; on a socket that has gone bad, once more on a fresh one.
    bool send(const void* message, size_t size)
    {
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (m_fd < 0 && !open()) return false;
            sockaddr_nl kernel{};
            kernel.nl_family = AF_NETLINK;
            if (::sendto(m_fd, message, size, 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) == ssize_t(size))
                return true;
            const int error = errno;
            reset();
            errno = error;
        }
        return false;
    }

private:
    bool open()
    {
        m_fd = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
        if (m_fd < 0) return false;
        // The kernel answers at once; the time-out only guards against a netlink that never does.
        const timeval limit{1, 0};
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        return true;
    }

    int m_fd = -1;
};

}  // namespace

Lookup netlinkPeerUid(int fd)
{
    const std::optional<Ends> ends = endsOf(fd);
    if (!ends) return {Lookup::Kind::NotFound};
    // A connection between IPv4 ends (an IPv6 socket with mapped addresses included) is found by the
    // IPv4 lookup; the kernel matches mapped sockets there too.
    const bool ipv4 = isMapped(ends->local) && isMapped(ends->remote);

    struct {
        nlmsghdr header;
        inet_diag_req_v2 request;
    } message{};
    message.header.nlmsg_len = sizeof message;
    message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    message.header.nlmsg_flags = NLM_F_REQUEST;  // one socket by its exact ends, not a dump
    message.request.sdiag_family = ipv4 ? AF_INET : AF_INET6;
    message.request.sdiag_protocol = IPPROTO_TCP;
    message.request.idiag_states = ~0u;
    // The peer's socket: its local end is our remote end.
    inet_diag_sockid& id = message.request.id;
    id.idiag_sport = htons(ends->remote.port);
    id.idiag_dport = htons(ends->local.port);
    putAddress(id.idiag_src, ends->remote, ipv4);
    putAddress(id.idiag_dst, ends->local, ipv4);
    id.idiag_cookie[0] = id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;

    // One netlink socket per thread, kept: the listener asks once per connection.
    thread_local NetlinkSocket link;
    thread_local quint32 sequence = 0;
    message.header.nlmsg_seq = ++sequence;
    if (!link.send(&message, sizeof message)) return refused(errno);

    alignas(nlmsghdr) char buffer[8192];
    for (;;) {
        const ssize_t n = ::recv(link.get(), buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : EPROTO;
            link.reset();
            return refused(error);
        }
        int left = int(n);
        // NLMSG_OK spelled out: the macro compares the unsigned length with the signed count.
        auto fits = [&left](const nlmsghdr* h) {
            return left >= int(sizeof(nlmsghdr)) && h->nlmsg_len >= sizeof(nlmsghdr) && h->nlmsg_len <= unsigned(left);
        };
        for (auto* h = reinterpret_cast<nlmsghdr*>(buffer); fits(h); h = NLMSG_NEXT(h, left)) {
            if (h->nlmsg_seq != message.header.nlmsg_seq) continue;
            if (h->nlmsg_type == NLMSG_ERROR) {
                const auto* error = static_cast<const nlmsgerr*>(NLMSG_DATA(h));
                if (h->nlmsg_len < NLMSG_LENGTH(sizeof(nlmsgerr))) return refused(EPROTO);
                // No such socket (the peer has gone): an answer, not a refusal.
                if (error->error == -ENOENT) return {Lookup::Kind::NotFound};
                return refused(-error->error);
            }
            if (h->nlmsg_type == NLMSG_DONE) return {Lookup::Kind::NotFound};
            if (h->nlmsg_type != SOCK_DIAG_BY_FAMILY || h->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg))) continue;
            const auto* found = static_cast<const inet_diag_msg*>(NLMSG_DATA(h));
            // Only the connected socket with exactly these ends counts: a listener that happens to
            // hold the port would answer for a peer that has gone.
            if (found->idiag_state == TCP_LISTEN || found->id.idiag_sport != id.idiag_sport ||
                found->id.idiag_dport != id.idiag_dport)
                return {Lookup::Kind::NotFound};
            return {Lookup::Kind::Found, uid_t(found->idiag_uid)};
        }
    }
}

std::optional<uid_t> procPeerUid(int fd)
{
    const std::optional<Ends> ends = endsOf(fd);
    if (!ends) return std::nullopt;
    // The peer's socket sees the connection the other way round.
    for (const bool ipv6 : {false, true}) {
        QFile file(QString::fromLatin1(ipv6 ? "/proc/net/tcp6" : "/proc/net/tcp"));
        if (!file.open(QIODevice::ReadOnly)) continue;
        if (auto uid = findOwner(file.readAll(), ipv6, ends->remote, ends->local)) return uid;
    }
    return std::nullopt;
}

std::optional<uid_t> peerUid(int fd)
{
    const Lookup lookup = netlinkPeerUid(fd);
    if (lookup.kind == Lookup::Kind::Found) return lookup.uid;
    if (lookup.kind == Lookup::Kind::NotFound) return std::nullopt;
    static std::atomic_bool told = false;
    if (!told.exchange(true))
        qCInfo(Log::app, "Socket diagnostics over netlink are not available (%s); reading /proc/net/tcp instead",
               strerror(lookup.error));
    return procPeerUid(fd);
}

bool isOwnUser(int fd)
{
    const std::optional<uid_t> uid = peerUid(fd);
    return uid && *uid == ::geteuid();
}

}  // namespace PeerCredentials
