#include "platform/PeerCredentials.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QFile>
#include <QList>
#include <cstring>

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

std::optional<uid_t> peerUid(int fd)
{
    sockaddr_storage ours{}, theirs{};
    socklen_t oursSize = sizeof ours, theirsSize = sizeof theirs;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&ours), &oursSize) != 0) return std::nullopt;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&theirs), &theirsSize) != 0) return std::nullopt;
    const std::optional<Endpoint> local = fromSockaddr(ours), remote = fromSockaddr(theirs);
    if (!local || !remote) return std::nullopt;
    // The peer's socket sees the connection the other way round.
    for (const bool ipv6 : {false, true}) {
        QFile file(QString::fromLatin1(ipv6 ? "/proc/net/tcp6" : "/proc/net/tcp"));
        if (!file.open(QIODevice::ReadOnly)) continue;
        if (auto uid = findOwner(file.readAll(), ipv6, *remote, *local)) return uid;
    }
    return std::nullopt;
}

bool isOwnUser(int fd)
{
    const std::optional<uid_t> uid = peerUid(fd);
    return uid && *uid == ::geteuid();
}

}  // namespace PeerCredentials
