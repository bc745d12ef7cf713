#include "platform/BoundedFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include <QFile>

namespace {

BoundedFile::Refused refused(BoundedFile::Failure failure, int error = 0)
{
    return {failure, error ? QString::fromLocal8Bit(strerror(error)) : QString()};
}

BoundedFile::Failure kindOf(const struct stat& st)
{
    return S_ISDIR(st.st_mode) ? BoundedFile::Failure::Folder : BoundedFile::Failure::NotRegular;
}

}  // namespace

std::variant<BoundedFile, BoundedFile::Refused> BoundedFile::open(const QString& path, qint64 cap)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (native.isEmpty() || ::lstat(native.constData(), &st) != 0) return refused(Failure::Missing);
    if (S_ISLNK(st.st_mode) && ::stat(native.constData(), &st) != 0) return refused(Failure::Missing);
    if (!S_ISREG(st.st_mode)) return refused(kindOf(st));
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return refused(errno == ENOENT ? Failure::Missing : Failure::Unreadable, errno);
    // The path may have been swapped between the look and the open: the descriptor is what counts.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return refused(kindOf(st));
    }
    return BoundedFile(fd, cap, st.st_size);
}

BoundedFile::BoundedFile(BoundedFile&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)),
      m_cap(other.m_cap),
      m_size(other.m_size),
      m_read(other.m_read),
      m_overflowed(other.m_overflowed)
{
}

BoundedFile& BoundedFile::operator=(BoundedFile&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
        m_cap = other.m_cap;
        m_size = other.m_size;
        m_read = other.m_read;
        m_overflowed = other.m_overflowed;
    }
    return *this;
}

BoundedFile::~BoundedFile()
{
    if (m_fd >= 0) ::close(m_fd);
}

QByteArray BoundedFile::readSome(qint64 max)
{
    QByteArray out;
    if (m_fd < 0) return out;
    // One byte past the cap is asked for so that a file grown since the check is noticed.
    const qint64 wanted = std::min(max, m_cap + 1 - m_read);
    if (wanted <= 0) return out;
    out.resize(wanted);
    qint64 got = 0;
    while (got < wanted) {
        const ssize_t n = ::read(m_fd, out.data() + got, size_t(wanted - got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += n;
    }
    out.truncate(got);
    m_read += got;
    if (m_read > m_cap) {
        m_overflowed = true;
        out.chop(m_read - m_cap);
        m_read = m_cap;
    }
    return out;
}

std::variant<QByteArray, BoundedFile::Refused> BoundedFile::read(const QString& path, qint64 cap, Overflow overflow)
{
    auto opened = open(path, cap);
    if (auto* r = std::get_if<Refused>(&opened)) return *r;
    BoundedFile& file = std::get<BoundedFile>(opened);
    if (overflow == Overflow::Refuse && file.size() > cap) return refused(Failure::TooLarge);
    const QByteArray bytes = file.readSome(cap + 1);
    if (overflow == Overflow::Refuse && file.overflowed()) return refused(Failure::TooLarge);
    return bytes;
}
