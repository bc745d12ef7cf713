#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>
#include <optional>

#include "platform/Result.h"

// Replaces a file whole, or leaves it as it was, and says which. QSaveFile alone is not enough: on a
// full disk its buffered bytes meet "no space" only while it commits, and Qt 6.4's commit() still
// reports success and puts the short file in place. So the bytes are flushed, counted and synced
// before the swap, and the folder is synced after it, so that a write reported done survives a power
// cut as well.
namespace DurableFile {

// Writes `bytes` to `path` through a temporary file beside it; `permissions`, when given, are set
// before the first byte is written. On failure the reason is returned ("… could not be written: No
// space left on device") and the file at `path` is untouched, unless only the folder's sync failed
// after the swap (a failing disk): then the new file is in place but may not survive a crash.
Status<QString> replace(const QString& path, const QByteArray& bytes,
                        std::optional<QFileDevice::Permissions> permissions = std::nullopt);

// Syncs the folder that holds `path`, so that a file renamed into it stays there after a crash. False
// when the folder cannot be opened or synced; a file system that cannot sync folders is no failure.
bool syncFolder(const QString& path);

}  // namespace DurableFile
