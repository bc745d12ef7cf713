#include "editor/blocks/PreviewFiles.h"

#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "model/NoteImage.h"
#include "platform/DurableFile.h"
#include "platform/Log.h"
#include "platform/PrivateFiles.h"

namespace {
QString extensionFor(const QString& utType)
{
    if (utType == QLatin1String("public.jpeg")) return QStringLiteral("jpeg");
    if (utType == QLatin1String("com.compuserve.gif")) return QStringLiteral("gif");
    return QStringLiteral("png");
}

bool sameBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() != bytes.size()) return false;
    return file.readAll() == bytes;
}
}  // namespace

PreviewFiles::PreviewFiles(const QString& directory) : m_directory(directory) {}

PreviewFiles::~PreviewFiles()
{
    removeAll();
}

QString PreviewFiles::defaultDirectory()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir()) return runtime + QStringLiteral("/tarnwick/previews");
    return QDir::tempPath() + QStringLiteral("/tarnwick-previews-%1").arg(::getuid());
}

QString PreviewFiles::fileName(const QUuid& pictureID, const QString& utType)
{
    return QStringLiteral("tarnwick-") + pictureID.toString(QUuid::WithoutBraces).toUpper() + u'.' +
           extensionFor(utType);
}

std::optional<QString> PreviewFiles::fileFor(const NoteImage& row, const QUuid& noteID)
{
    const auto bytes = row.data();
    if (!bytes || bytes->isEmpty()) return std::nullopt;
    const QString path = m_directory + u'/' + fileName(row.uuid(), row.utType());
    if (auto it = m_files.constFind(row.uuid()); it != m_files.constEnd()) {
        if (it->path == path && sameBytes(path, *bytes)) return path;
    }
    // A folder someone else made, or a link, is not ours to write into.
    const QFileInfo folder(m_directory);
    if (folder.exists() && (folder.isSymLink() || !folder.isDir() || folder.ownerId() != ::getuid())) {
        qCInfo(Log::store, "blocks: a picture could not be written for preview");
        return std::nullopt;
    }
    if (!PrivateFiles::makeFolder(m_directory)) {
        qCInfo(Log::store, "blocks: a picture could not be written for preview");
        return std::nullopt;
    }
    // A picture cut short by a full disk would preview broken.
    if (!DurableFile::replace(path, *bytes, QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        qCInfo(Log::store, "blocks: a picture could not be written for preview");
        return std::nullopt;
    }
    PrivateFiles::restrict(path);
    m_files.insert(row.uuid(), Entry{path, noteID});
    return path;
}

void PreviewFiles::removePicture(const QUuid& pictureID)
{
    if (auto it = m_files.find(pictureID); it != m_files.end()) {
        QFile::remove(it->path);
        m_files.erase(it);
    }
}

void PreviewFiles::removeNote(const QUuid& noteID)
{
    for (auto it = m_files.begin(); it != m_files.end();) {
        if (it->noteID == noteID) {
            QFile::remove(it->path);
            it = m_files.erase(it);
        } else {
            ++it;
        }
    }
}

void PreviewFiles::removeAll()
{
    for (const Entry& entry : std::as_const(m_files)) QFile::remove(entry.path);
    m_files.clear();
}

void PreviewFiles::sweepLeftovers()
{
    QDir dir(m_directory);
    if (!dir.exists()) return;
    for (const QFileInfo& info : dir.entryInfoList({QStringLiteral("tarnwick-*")}, QDir::Files | QDir::System))
        QFile::remove(info.absoluteFilePath());
}
