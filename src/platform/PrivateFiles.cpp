#include "platform/PrivateFiles.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdlib>

namespace PrivateFiles {

QByteArray realPath(const QByteArray& path)
{
    char* real = ::realpath(path.constData(), nullptr);
    if (!real) return {};
    QByteArray result(real);
    std::free(real);
    return result;
}

std::optional<QByteArray> resolvedPath(const QByteArray& path)
{
    if (QByteArray real = realPath(path); !real.isEmpty()) return real;
    QByteArray at = path;
    for (int hops = 0; hops <= 40; ++hops) {  // as the kernel gives up (ELOOP)
        const qsizetype slash = at.lastIndexOf('/');
        const QByteArray name = at.mid(slash + 1);
        if (name.isEmpty() || name == "." || name == "..") {
            errno = EISDIR;
            return std::nullopt;
        }
        QByteArray folder = realPath(slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : at.left(slash));
        if (folder.isEmpty()) return std::nullopt;
        if (!folder.endsWith('/')) folder += '/';
        at = folder + name;
        struct stat st {};
        if (::lstat(at.constData(), &st) != 0 || !S_ISLNK(st.st_mode)) return at;
        QByteArray link(PATH_MAX, '\0');
        const ssize_t n = ::readlink(at.constData(), link.data(), size_t(link.size()));
        if (n <= 0 || n >= link.size()) {
            errno = n < 0 ? errno : ENAMETOOLONG;
            return std::nullopt;
        }
        link.truncate(n);
        at = link.startsWith('/') ? link : folder + link;
    }
    errno = ELOOP;
    return std::nullopt;
}

bool makeFolder(const QString& path)
{
    if (!QDir().mkpath(path)) return false;
    // Changed only when it differs: a chmod is an event to whoever watches the folder (our own settings
    // watcher among them), even when it changes nothing.
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::stat(name.constData(), &st) == 0 && (st.st_mode & 07777) == 0700) return true;
    return ::chmod(name.constData(), 0700) == 0;
}

void restrict(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0) return;
    if (S_ISDIR(st.st_mode))
        ::chmod(name.constData(), 0700);
    else if (S_ISREG(st.st_mode))
        ::chmod(name.constData(), 0600);
}

void restrictTree(const QString& path)
{
    restrict(path);
    const QFileInfo info(path);
    if (!info.isDir() || info.isSymLink()) return;
    const QDir dir(path);
    for (const QString& entry : dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
        restrictTree(dir.filePath(entry));
}

bool restrictFile(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::stat(name.constData(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    return (st.st_mode & 07777) == 0600 || ::chmod(name.constData(), 0600) == 0;
}

bool createFile(const QString& path, QString* made)
{
    if (made) made->clear();
    const QByteArray name = QFile::encodeName(path);
    // Exclusive: an existing entry, a link of the user's included, is never replaced or truncated.
    int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    QString created = path;
    if (fd < 0 && errno == EEXIST) {
        struct stat st {};
        const bool linkToNothing = ::lstat(name.constData(), &st) == 0 && S_ISLNK(st.st_mode) &&
                                   ::stat(name.constData(), &st) != 0 && errno == ENOENT;
        if (!linkToNothing) return restrictFile(path);
        // The link's target is made where the link says, when its folder is there; the link stays.
        const std::optional<QByteArray> target = resolvedPath(name);
        if (!target) return false;
        created = QFile::decodeName(*target);
        fd = ::open(target->constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    }
    if (fd < 0) return false;
    const bool ok = ::fchmod(fd, 0600) == 0;
    ::close(fd);
    if (made) *made = created;
    return ok;
}

}  // namespace PrivateFiles
