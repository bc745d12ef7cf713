#pragma once

#include <QByteArray>
#include <QStringList>
#include <QUrl>
#include <vector>

// The pictures of a drop, read within bounds: local regular files whose type by name is a picture
// (never a remote address), each within the per-file cap, and at most maxPictures or maxTotalBytes for
// the whole drop. Nothing is read past a cap; what was left out is named for the user.
class DropPictures {
public:
    static constexpr int maxPictures = 50;
    static constexpr qint64 maxTotalBytes = 256LL * 1024 * 1024;

    std::vector<QByteArray> images;
    QStringList skipped;  // "file: reason"

    // Whether a drag offering these URLs and formats may carry a picture: a local file named as a
    // picture, or picture data.
    static bool carriesPicture(const QList<QUrl>& urls, const QStringList& formats);
    // Whether a drag names files of this machine and carries no picture: a note body takes neither
    // the files nor their addresses, which a file manager offers as text beside them.
    static bool refusedOnBody(const QList<QUrl>& urls, const QStringList& formats);
    static bool isPictureName(const QString& path);

    static DropPictures readFiles(const QList<QUrl>& urls);
    // The same for files named on a clipboard, within the same caps; a file that is no picture by name
    // or contents is not skipped but counted in `notPictures`, so the paste can take the names as text.
    static DropPictures readPastedFiles(const QList<QUrl>& urls);
    // Picture data offered directly (an image/* format), within the same caps.
    void addData(const QByteArray& bytes, const QString& what);

    // One short notice for everything left out: the reason itself for one file, else how many were
    // left out and each reason once, with the first file it kept out. Empty when nothing was.
    static QString notice(const QStringList& skipped);

    int notPictures = 0;

private:
    // Reads one file within the caps; false when it is no picture at all (by name and contents).
    bool addFile(const QString& path, bool judgedByName);

    qint64 m_total = 0;
};
