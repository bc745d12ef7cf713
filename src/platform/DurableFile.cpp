#include "platform/DurableFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <cstring>

namespace {
// Errors that say the file system keeps no separate record to sync, not that the data is at risk.
bool cannotSync(int error)
{
    return error == EINVAL || error == ENOTSUP || error == EBADF;
}

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}
}  // namespace

namespace DurableFile {

Status<QString> replace(const QString& path, const QByteArray& bytes,
                        std::optional<QFileDevice::Permissions> permissions)
{
    QSaveFile file(path);
    const auto failed = [&](const QString& reason) {
        file.cancelWriting();  // the temporary file goes with the QSaveFile
        return Status<QString>(QStringLiteral("%1 could not be written: %2").arg(path, reason));
    };
    if (!file.open(QIODevice::WriteOnly)) return failed(file.errorString());
    if (permissions && !file.setPermissions(*permissions)) return failed(QStringLiteral("it cannot be made private"));
    // The count and the flush are checked apart: the write may only have filled Qt's buffer, and a
    // full disk shows at the flush.
    if (file.write(bytes) != bytes.size() || !file.flush() || file.error() != QFileDevice::NoError)
        return failed(file.errorString());
    struct stat st {};
    if (::fstat(file.handle(), &st) != 0) return failed(systemError(errno));
    if (st.st_size != bytes.size()) return failed(QStringLiteral("only part of it reached the disk"));
    if (::fsync(file.handle()) != 0 && !cannotSync(errno)) return failed(systemError(errno));
    if (!file.commit()) return QStringLiteral("%1 could not be written: %2").arg(path, file.errorString());
    // Through a link the file it leads to was replaced: its folder holds the new entry.
    const QString written = QFileInfo(path).canonicalFilePath();
    if (!syncFolder(written.isEmpty() ? path : written))
        return QStringLiteral("%1 was written but its folder could not be synced: %2").arg(path, systemError(errno));
    return {};
}

bool syncFolder(const QString& path)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool synced = ::fsync(fd) == 0 || cannotSync(errno);
    const int error = errno;
    ::close(fd);
    errno = error;
    return synced;
}

}  // namespace DurableFile
