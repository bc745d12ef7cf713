#include "editor/DropPictures.h"

#include <sys/stat.h>
#include <QFileInfo>
#include <QMimeDatabase>
#include <algorithm>

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

bool DropPictures::refusedOnBody(const QList<QUrl>& urls, const QStringList& formats)
{
    const bool namesFiles = std::any_of(urls.cbegin(), urls.cend(), [](const QUrl& url) { return url.isLocalFile(); });
    return namesFiles && !carriesPicture(urls, formats);
}

DropPictures DropPictures::readFiles(const QList<QUrl>& urls)
{
    DropPictures result;
    for (const QUrl& url : urls) {
        if (!url.isLocalFile()) continue;  // remote pictures are never fetched
        const QString path = url.toLocalFile();
        if (!isPictureName(path)) {
            result.skipped << QStringLiteral("%1: it is not a picture").arg(QFileInfo(path).fileName());
            continue;
        }
        result.addFile(path, true);
    }
    return result;
}

DropPictures DropPictures::readPastedFiles(const QList<QUrl>& urls)
{
    DropPictures result;
    for (const QUrl& url : urls) {
        if (!url.isLocalFile()) continue;
        if (!result.addFile(url.toLocalFile(), isPictureName(url.toLocalFile()))) ++result.notPictures;
    }
    return result;
}

bool DropPictures::addFile(const QString& path, bool judgedByName)
{
    const QString name = QFileInfo(path).fileName();
    // A file named as a picture is left out at the caps before anything of it is read.
    if (judgedByName && int(images.size()) >= maxPictures) {
        skipped << QStringLiteral("%1: at most %2 pictures are added at once").arg(name).arg(maxPictures);
        return true;
    }
    // The size as the path says it, for the budget; whether the file may be opened at all is
    // readPictureFile's to judge.
    struct stat st {};
    const qint64 size = ::stat(QFile::encodeName(path).constData(), &st) == 0 ? qint64(st.st_size) : 0;
    if (judgedByName && m_total + size > maxTotalBytes) {
        skipped << QStringLiteral("%1: at most 256 MiB of pictures are added at once").arg(name);
        return true;
    }
    const auto read = TextPictures::readPictureFile(path);
    if (const QByteArray* bytes = std::get_if<QByteArray>(&read)) {
        if (int(images.size()) >= maxPictures) {
            skipped << QStringLiteral("%1: at most %2 pictures are added at once").arg(name).arg(maxPictures);
        } else if (m_total + bytes->size() > maxTotalBytes) {
            // The file may have grown since it was measured.
            skipped << QStringLiteral("%1: at most 256 MiB of pictures are added at once").arg(name);
        } else {
            m_total += bytes->size();
            images.push_back(*bytes);
        }
        return true;
    }
    const auto& why = std::get<TextPictures::Skipped>(read);
    if (why.notPicture && !judgedByName) return false;
    skipped << QStringLiteral("%1: %2").arg(name, why.reason);
    return true;
}

QString DropPictures::notice(const QStringList& skipped)
{
    if (skipped.isEmpty()) return {};
    if (skipped.size() == 1) return skipped.first();
    // The names of the first few, and why the first was left out.
    constexpr int named = 3;
    QStringList names;
    for (int i = 0; i < std::min<int>(named, skipped.size()); ++i)
        names << skipped[i].section(QStringLiteral(": "), 0, 0);
    QString list = names.join(QStringLiteral(", "));
    if (skipped.size() > named) list += QStringLiteral(" and %1 more").arg(skipped.size() - named);
    // Each reason once, with the first file it left out: none of them goes unexplained.
    QStringList reasons;
    QStringList seen;
    for (const QString& entry : skipped) {
        const QString reason = entry.section(QStringLiteral(": "), 1);
        if (seen.contains(reason)) continue;
        seen << reason;
        reasons << entry;
    }
    return QStringLiteral("%1 files were not added: %2. %3")
        .arg(skipped.size())
        .arg(list, reasons.join(QStringLiteral(". ")));
}

void DropPictures::addData(const QByteArray& bytes, const QString& what)
{
    if (bytes.isEmpty()) return;
    if (bytes.size() > TextPictures::maximumBytes) {
        skipped << QStringLiteral("%1: it is larger than 64 MiB").arg(what);
        return;
    }
    if (int(images.size()) >= maxPictures || m_total + bytes.size() > maxTotalBytes) {
        skipped << QStringLiteral("%1: at most %2 pictures or 256 MiB are added at once").arg(what).arg(maxPictures);
        return;
    }
    if (const auto why = TextPictures::refusal(bytes)) {
        skipped << QStringLiteral("%1: %2").arg(what, *why);
        return;
    }
    m_total += bytes.size();
    images.push_back(bytes);
}
