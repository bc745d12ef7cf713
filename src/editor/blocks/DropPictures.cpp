#include "editor/blocks/DropPictures.h"

#include <sys/stat.h>
#include <QFileInfo>
#include <QMimeDatabase>

#include "model/text/TextPictures.h"

bool DropPictures::isPictureName(const QString& path)
{
    static const QMimeDatabase db;
    return db.mimeTypeForFile(path, QMimeDatabase::MatchExtension).name().startsWith(QLatin1String("image/"));
}

bool DropPictures::carriesPicture(const QList<QUrl>& urls, const QStringList& formats)
{
    for (const QUrl& url : urls)
        if (url.isLocalFile() && isPictureName(url.toLocalFile())) return true;
    for (const QString& format : formats)
        if (format.startsWith(QLatin1String("image/"))) return true;
    return false;
}

DropPictures DropPictures::readFiles(const QList<QUrl>& urls)
{
    DropPictures result;
    for (const QUrl& url : urls) {
        if (!url.isLocalFile()) continue;  // remote pictures are never fetched
        const QString path = url.toLocalFile();
        const QString name = QFileInfo(path).fileName();
        if (!isPictureName(path)) {
            result.skipped << QStringLiteral("%1: it is not a picture").arg(name);
            continue;
        }
        if (int(result.images.size()) >= maxPictures) {
            result.skipped << QStringLiteral("%1: a drop takes at most %2 pictures").arg(name).arg(maxPictures);
            continue;
        }
        // The size as the path says it, for the budget; whether the file may be opened at all is
        // readPictureFile's to judge.
        struct stat st {};
        const qint64 size = ::stat(QFile::encodeName(path).constData(), &st) == 0 ? qint64(st.st_size) : 0;
        if (result.m_total + size > maxTotalBytes) {
            result.skipped << QStringLiteral("%1: a drop takes at most 256 MB").arg(name);
            continue;
        }
        const auto read = TextPictures::readPictureFile(path);
        if (const QByteArray* bytes = std::get_if<QByteArray>(&read)) {
            // The file may have grown since it was measured.
            if (result.m_total + bytes->size() > maxTotalBytes) {
                result.skipped << QStringLiteral("%1: a drop takes at most 256 MB").arg(name);
                continue;
            }
            result.m_total += bytes->size();
            result.images.push_back(*bytes);
        } else {
            result.skipped << QStringLiteral("%1: %2").arg(name, std::get<TextPictures::Skipped>(read).reason);
        }
    }
    return result;
}

void DropPictures::addData(const QByteArray& bytes, const QString& what)
{
    if (bytes.isEmpty()) return;
    if (bytes.size() > TextPictures::maximumBytes) {
        skipped << QStringLiteral("%1: it is larger than 64 MiB").arg(what);
        return;
    }
    if (int(images.size()) >= maxPictures || m_total + bytes.size() > maxTotalBytes) {
        skipped << QStringLiteral("%1: the drop is too large").arg(what);
        return;
    }
    m_total += bytes.size();
    images.push_back(bytes);
}
