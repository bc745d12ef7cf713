#pragma once

#include <sys/types.h>
#include <QByteArray>
#include <array>
#include <optional>

// Who is at the other end of a loopback TCP connection: the peer's socket is the one whose local end
// is our remote end and whose remote end is our local end, and the kernel knows the uid that made it.
// It is asked with one sock_diag netlink request for exactly that socket. Where netlink is refused
// (a sandbox without it), the tables /proc/net/tcp and /proc/net/tcp6 are read instead; they list
// every TCP socket of the network namespace, so that costs time in proportion to the sockets open.
namespace PeerCredentials {

// An address (IPv4 as ::ffff:a.b.c.d) and a port, as the kernel's tables hold them.
struct Endpoint {
    std::array<quint8, 16> address{};
    quint16 port = 0;
    bool operator==(const Endpoint&) const = default;
};

// The uid of the process that owns the peer socket of a connected TCP socket; none when it cannot
// be found (not TCP, the peer already gone, the tables unreadable).
std::optional<uid_t> peerUid(int fd);

// The two ways of finding it. netlinkPeerUid says Refused when netlink cannot be asked at all (then
// peerUid reads /proc, and says so once in the log); procPeerUid always reads the tables.
struct Lookup {
    enum class Kind { Found, NotFound, Refused } kind = Kind::NotFound;
    uid_t uid = 0;
    int error = 0;  // errno when refused
};
Lookup netlinkPeerUid(int fd);
std::optional<uid_t> procPeerUid(int fd);

// True only when the peer is found and runs as this process's own user.
bool isOwnUser(int fd);

// The uid in the table line whose local end is `local` and remote end `remote`. `table` is the text
// of /proc/net/tcp (ipv6 false) or /proc/net/tcp6 (ipv6 true).
std::optional<uid_t> findOwner(const QByteArray& table, bool ipv6, const Endpoint& local, const Endpoint& remote);

}  // namespace PeerCredentials
