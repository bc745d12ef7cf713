#include "platform/PrivateFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace PrivateFiles {

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

bool createFile(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return false;
    const bool ok = ::fchmod(fd, 0600) == 0;
    ::close(fd);
    return ok;
}

}  // namespace PrivateFiles
