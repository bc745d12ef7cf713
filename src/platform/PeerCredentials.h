#pragma once

#include <sys/types.h>
#include <QByteArray>
#include <array>
#include <optional>

// Who is at the other end of a loopback TCP connection. The kernel lists every TCP socket of this
// network namespace, with the uid that made it, in /proc/net/tcp and /proc/net/tcp6; the peer's socket
// is the one whose local end is our remote end and whose remote end is our local end.
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

// True only when the peer is found and runs as this process's own user.
bool isOwnUser(int fd);

// The uid in the table line whose local end is `local` and remote end `remote`. `table` is the text
// of /proc/net/tcp (ipv6 false) or /proc/net/tcp6 (ipv6 true).
std::optional<uid_t> findOwner(const QByteArray& table, bool ipv6, const Endpoint& local, const Endpoint& remote);

}  // namespace PeerCredentials
