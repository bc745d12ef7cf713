#pragma once

#include <QByteArray>
#include <QString>
#include <variant>

// Reads a file named by a path someone else may control (a desktop entry, an icon, a pasted or
// dropped file) without ever waiting on it: the path is looked at with lstat (a link is followed
// with stat, which opens nothing), opened with O_NONBLOCK so a pipe or device swapped in since
// cannot hold the open, checked again on the opened descriptor, and read at most to a cap. A named
// pipe, socket, device or /proc file is never read.
class BoundedFile {
public:
    enum class Failure { Missing, Folder, NotRegular, TooLarge, Unreadable };
    struct Refused {
        Failure failure;
        QString error;  // strerror text for Unreadable, else empty
    };
    // What to do with a file larger than the cap: refuse it, or take its first `cap` bytes.
    enum class Overflow { Refuse, Truncate };

    // The whole file, at most `cap` bytes.
    static std::variant<QByteArray, Refused> read(const QString& path, qint64 cap,
                                                  Overflow overflow = Overflow::Refuse);

    // For callers that look at the head before deciding to read the rest.
    static std::variant<BoundedFile, Refused> open(const QString& path, qint64 cap);
    BoundedFile(BoundedFile&& other) noexcept;
    BoundedFile& operator=(BoundedFile&& other) noexcept;
    BoundedFile(const BoundedFile&) = delete;
    BoundedFile& operator=(const BoundedFile&) = delete;
    ~BoundedFile();

    // Up to `max` more bytes, never past the cap; fewer at the end of the file. Ask for one byte more
    // than is wanted to learn whether the file goes on.
    QByteArray readSome(qint64 max);
    // True once more than the cap was found while reading (the file grew after it was checked).
    bool overflowed() const { return m_overflowed; }
    qint64 size() const { return m_size; }

private:
    BoundedFile(int fd, qint64 cap, qint64 size) : m_fd(fd), m_cap(cap), m_size(size) {}
    int m_fd = -1;
    qint64 m_cap = 0;
    qint64 m_size = 0;
    qint64 m_read = 0;
    bool m_overflowed = false;
};
